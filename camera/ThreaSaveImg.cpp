#include "camera/ThreaSaveImg.h"

#include "app/hub/FlatFieldGain.h"
#include "app/hub/MessagePassing.h"
#include "camera/SnapshotFiles.h"
#include "platform/MemoryRefusal.h"
#include "platform/SnapshotRecords.h"

#include <QFile>
#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <cstring>
#include <vector>

ThreaSaveImg::ThreaSaveImg(QObject* parent) : QThread(parent) {}

ThreaSaveImg::~ThreaSaveImg() {
    wait();
    qDeleteAll(m_pool);
}

void ThreaSaveImg::setParams(QString path, int mode, bool saveDirect, bool timeStamp, QColor colour, int position,
                             int sizeIndex, QString className, bool supportsFastMode) {
    m_busy = true;
    m_path = path;
    m_mode = mode;
    m_saveDirect = saveDirect;
    m_timeStamp = timeStamp;
    m_colour = colour;
    m_position = position;
    m_sizeIndex = sizeIndex;
    m_className = className;
    m_fastMode = supportsFastMode;
    m_imgType = MessagePassing::instance()->imgType;
}

void ThreaSaveImg::setFocusStackConsumer(FocusStackConsumer consumer) { m_consumer = std::move(consumer); }

QImage* ThreaSaveImg::imageBuffer(int width, int height, int channels) {
    const qint64 key = qint64(width) * channels;
    const QImage::Format format = channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    QImage*& image = m_pool[key];
    if (!image || image->width() != width || image->height() != height || image->format() != format) {
        delete image;
        image = new QImage(width, height, format);
    }
    m_current = image;
    return image;
}

void ThreaSaveImg::setFrame(const uint8_t* data, int width, int height, int channels) {
    QImage* image = imageBuffer(width, height, channels);
    const size_t row = size_t(width) * channels;
    // bits() detaches the pool image from copies an earlier job handed on.
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    for (int y = 0; y < height; ++y)
        std::memcpy(bits + y * stride, data + y * row, row);
}

void ThreaSaveImg::release() { m_busy = false; }

void ThreaSaveImg::releasePool() {
    qDeleteAll(m_pool);
    m_pool.clear();
    m_current = nullptr;
}

void ThreaSaveImg::refused() {
    if (m_mode == 3)
        MessagePassing::instance()->pinJieImage(QImage()); // stitching stops with its message
    else if (m_mode == 7 && m_consumer)
        m_consumer(nullptr, 0, 0); // focus stacking likewise
    else // a picture the user asked for; the flat field's reference takes the next frame
        SnapshotFiles::reportUnsaved(m_path, m_mode, SnapshotFiles::refusedReason());
    m_busy = false;
}

void ThreaSaveImg::drawTimeStamp(QImage& image, const QString& text, const QColor& colour, int position) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font("FZLanTingHeiS-R-GB");
    font.setPixelSize(30);
    painter.setFont(font);
    painter.setPen(colour);
    const QFontMetrics metrics(font);
    const int tw = metrics.horizontalAdvance(text), th = metrics.height();
    const int w = image.width(), h = image.height();
    int x, y;
    switch (position) {
    case 0: x = 10; y = 10; break;
    case 1: x = 10; y = h - 10 - th; break;
    case 2: x = w - 10 - tw; y = 10; break;
    default: x = w - 10 - tw; y = h - 10 - th; break;
    }
    painter.drawText(QRect(x, y, tw, th), text);
}

QSize ThreaSaveImg::rescaledSize(const QSize& size, int sizeIndex, const QString& className) {
    static const QStringList fourK = {"UVCCamera_Corvo", "UVCCamera_Pellam", "UVCCamera_Quillet", "UVCCamera_Tirsa",
                                      "UVCCamera_Ambrel"};
    if (!fourK.contains(className))
        return size;
    switch (sizeIndex) {
    case 0: return size.width() == 1920 ? size : QSize(1920, 1080);
    case 1: return size.width() == 3840 ? size : QSize(3840, 2160);
    case 2: return QSize(7680, 4320);
    default: return size;
    }
}

void ThreaSaveImg::run() {
    const QImage image = m_current ? *m_current : QImage();
    if (image.isNull()) {
        refused(); // the system refused the frame's picture
        return;
    }
    MessagePassing* hub = MessagePassing::instance();
    switch (m_mode) {
    case 2:
    case 8:
    case 9: {
        // A temporary file for the hub's still-image road, which loads and
        // deletes it.
        const QString file = m_path + ".jpg";
        QString error;
        if (SnapshotFiles::writeImage(image, file, "JPG", 100, &error)) {
            hub->snapImage(m_path, m_mode);
        } else {
            SnapshotFiles::reportSaveError(file, error);
            if (m_mode != 2)
                hub->removeIconCamera(); // the screenshot or save ends unsaved
        }
        break;
    }
    case 3: {
        if (image.width() == 3840 || image.height() == 2160)
            break;
        // An empty picture when the system refuses the copy or the flat
        // field's buffers: the run stops with its message.
        QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        if (hub->hasYinYing && !rgb.isNull() && !MemoryRefusal::within([&] {
                FlatFieldGain::apply(&rgb, hub->yinYingMat); // frames of another size pass unchanged
            }))
            rgb = QImage();
        hub->pinJieImage(rgb);
        break;
    }
    case 4: {
        QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        if (m_fastMode && rgb.width() != 1920)
            rgb = rgb.scaled(1920, 1080, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        hub->pinJieYinYingImage(rgb);
        break;
    }
    case 5:
        break;
    case 6:
        hub->jingShenImage(image.convertToFormat(QImage::Format_RGB888));
        break;
    case 7: {
        if (!m_consumer)
            break;
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        const int w = rgb.width(), h = rgb.height();
        if (rgb.bytesPerLine() == w * 3) {
            m_consumer(rgb.constBits(), w, h);
        } else {
            std::vector<uint8_t> packed(size_t(w) * h * 3);
            for (int y = 0; y < h; ++y)
                std::memcpy(packed.data() + size_t(y) * w * 3, rgb.constScanLine(y), size_t(w) * 3);
            m_consumer(packed.data(), w, h);
        }
        break;
    }
    default:
        runDefault(image);
        break;
    }
    m_busy = false;
}

void ThreaSaveImg::runDefault(QImage image) {
    image = image.convertToFormat(QImage::Format_RGB888);
    if (m_timeStamp)
        drawTimeStamp(image, QDateTime::currentDateTime().toString("yyyy/MM/dd hh:mm:ss"), m_colour, m_position);
    const QSize size = rescaledSize(image.size(), m_sizeIndex, m_className);
    if (size != image.size())
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDotsPerMeterX(12401);
    image.setDotsPerMeterY(12401);
    const QString file = m_path + QString(".%1").arg(m_imgType);
    const bool direct = m_mode == 10 || ((m_mode == 0 || m_mode == 1) && m_saveDirect);
    if (direct)
        saveDirect(image, file);
    else if (m_mode == 0 || m_mode == 1)
        MessagePassing::instance()->saveImageByFileDialog(image, file, false, true);
}

void ThreaSaveImg::saveDirect(const QImage& image, const QString& file) {
    // Queued series (mode 10) keep the snapshot icon; single snapshots clear it.
    SnapshotFiles::saveNewPicture(image, file, m_imgType.toUtf8(), m_mode != 10);
}
