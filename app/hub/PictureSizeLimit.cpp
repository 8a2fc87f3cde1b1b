#include "app/hub/PictureSizeLimit.h"

#include "app/hub/MessagePassing.h"
#include "export/xlsx/ImageSizeReaders.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

quint32 le(const QByteArray& b, int at, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | uchar(b[at + i]);
    return v;
}

// The first image of an icon (or cursor) file, as the icon decoder makes it:
// a PNG inside decodes at its own header's size, whatever the directory
// says; a bitmap at the directory's size, where 0 means the bitmap header's.
QSize firstIconSize(QFile& file) {
    if (!file.seek(0))
        return QSize();
    const QByteArray dir = file.read(22);
    if (dir.size() < 22 || le(dir, 4, 2) == 0)
        return QSize();
    const quint32 offset = le(dir, 18, 4);
    if (!file.seek(offset))
        return QSize();
    const QByteArray image = file.read(40);
    if (image.startsWith("\x89PNG\r\n\x1a\n")) {
        if (image.size() < 24 || image.mid(12, 4) != "IHDR")
            return QSize();
        const quint32 w = quint32(uchar(image[16])) << 24 | uchar(image[17]) << 16 | uchar(image[18]) << 8 | uchar(image[19]);
        const quint32 h = quint32(uchar(image[20])) << 24 | uchar(image[21]) << 16 | uchar(image[22]) << 8 | uchar(image[23]);
        return w > 0 && h > 0 && w <= 0x7fffffff && h <= 0x7fffffff ? QSize(int(w), int(h)) : QSize();
    }
    if (image.size() < 12)
        return QSize();
    const int w = uchar(dir[6]) ? uchar(dir[6]) : qAbs(qint32(le(image, 4, 4)));
    const int h = uchar(dir[7]) ? uchar(dir[7]) : qAbs(qint32(le(image, 8, 4))) / 2;
    return w > 0 && h > 0 ? QSize(w, h) : QSize();
}

// Formats whose header states the size their decoder makes. Containers
// (icon sets, animations) and drawings (SVG) may decode to another size than
// they state, or have none.
bool statesDecodedSize(const QByteArray& format) {
    static const QList<QByteArray> formats{"jpeg", "jpg", "png", "bmp", "gif", "tiff", "tif", "ppm", "pgm", "pbm",
                                           "xbm", "xpm", "tga", "wbmp", "webp"};
    return formats.contains(format.toLower());
}

} // namespace

namespace {
// headerSize of a file open for reading, named by its path.
QSize sizeOf(QFile& file) {
    // The loaders (QImage::load, QImageReader::read) choose their decoder the
    // same way: by the name's suffix when the content fits, else by content.
    QImageReader reader(&file);
    const QByteArray format = reader.format().toLower();
    if (format == "ico" || format == "cur")
        return firstIconSize(file);
    if (!statesDecodedSize(format))
        return QSize();
    // The decoder's own reading of its header, without decoding...
    QSize size = reader.size();
    // ...and the workbook's readers where they know the format: the larger
    // one counts.
    const int copy = ::dup(file.handle());
    if (std::FILE* f = copy >= 0 ? ::fdopen(copy, "rb") : nullptr) {
        std::rewind(f);
        SimpleXlsx::ImageSizeReader own = nullptr;
        if (format == "jpeg" || format == "jpg")
            own = SimpleXlsx::ReadJpegSize;
        else if (format == "png")
            own = SimpleXlsx::ReadPngSize;
        else if (format == "gif")
            own = SimpleXlsx::ReadGifSize;
        else if (format == "tiff" || format == "tif")
            own = SimpleXlsx::ReadTiffSize;
        uint32_t w = 0, h = 0;
        if (own && own(f, w, h) && (!size.isValid() || qint64(w) * h > qint64(size.width()) * size.height()))
            size = QSize(int(w), int(h));
        std::fclose(f);
    } else if (copy >= 0) {
        ::close(copy);
    }
    return size.isValid() && !size.isEmpty() ? size : QSize();
}
} // namespace

QSize PictureSizeLimit::headerSize(const QString& path) {
    QFile file;
    return RegularFile::open(file, path) ? sizeOf(file) : QSize();
}

QImage PictureSizeLimit::readThumbnail(const QString& path) {
    QFile file;
    if (!RegularFile::open(file, path)) {
        if (RegularFile::isSpecial(path))
            qWarning("Thumbnail %s refused: the name is not an ordinary file", qPrintable(path));
        return QImage();
    }
    const QSize size = sizeOf(file);
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxThumbnailPixels ||
        !fits(size, machineMemory())) {
        qWarning("Thumbnail %s refused: not a thumbnail of this program", qPrintable(path));
        return QImage();
    }
    if (!file.seek(0))
        return QImage();
    return QImageReader(&file).read();
}

bool PictureSizeLimit::fits(QSize size, qint64 memoryBytes) {
    const qint64 pixels = qint64(size.width()) * qint64(size.height());
    if (pixels > kMaxPixels)
        return false;
    return memoryBytes <= 0 || pixels * kBytesPerPixel <= memoryBytes / 4;
}

qint64 PictureSizeLimit::machineMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
}

bool PictureSizeLimit::mayDecode(const QString& path) {
    const QSize size = headerSize(path);
    return size.isValid() && fits(size, machineMemory());
}

QString PictureSizeLimit::refusalText(int language, const QString& path, QSize size) {
    const QString w = QString::number(size.width()), h = QString::number(size.height());
    switch (language) {
    case 1:
        return QString("The picture is too large to open (%1 x %2 pixels):\n%3").arg(w, h, path);
    case 2:
        return QString("圖片太大，無法打開（%1 x %2 像素）：\n%3").arg(w, h, path);
    default:
        return QString("图片太大，无法打开（%1 x %2 像素）：\n%3").arg(w, h, path);
    }
}

QString PictureSizeLimit::unreadableText(int language, const QString& path) {
    switch (language) {
    case 1:
        return QString("The picture cannot be opened:\n%1").arg(path);
    case 2:
        return QString("圖片無法打開：\n%1").arg(path);
    default:
        return QString("图片无法打开：\n%1").arg(path);
    }
}

namespace {
// The program's "Error" box, in the hub's language (always 0..2).
void showErrorBox(const QString& text) {
    QMessageBox::information(nullptr, "Error", text, QMessageBox::Ok);
}
} // namespace

void PictureSizeLimit::showUnreadable(const QString& path) {
    qWarning("Picture %s refused: it cannot be read", qPrintable(path));
    showErrorBox(unreadableText(MessagePassing::instance()->language(), path));
}

namespace {
// allowOpen, with the file it looked at left open in file.
bool openChecked(QFile& file, const QString& path) {
    if (!RegularFile::open(file, path) && errno == ENODEV) {
        qWarning("Picture %s refused: the name is not an ordinary file", qPrintable(path));
        showErrorBox(RegularFile::notRegularText(MessagePassing::instance()->language(), path));
        return false;
    }
    const QSize size = file.isOpen() ? sizeOf(file) : QSize();
    if (!size.isValid()) {
        PictureSizeLimit::showUnreadable(path);
        return false;
    }
    if (PictureSizeLimit::fits(size, PictureSizeLimit::machineMemory()))
        return true;
    qWarning("Picture %s (%d x %d) refused: too large to hold", qPrintable(path), size.width(),
             size.height());
    showErrorBox(PictureSizeLimit::refusalText(MessagePassing::instance()->language(), path, size));
    return false;
}
} // namespace

bool PictureSizeLimit::allowOpen(const QString& path) {
    QFile file;
    return openChecked(file, path);
}

QImage PictureSizeLimit::openPicture(const QString& path) {
    QFile file;
    if (!openChecked(file, path))
        return QImage();
    const QImage picture = file.seek(0) ? QImageReader(&file).read() : QImage();
    if (picture.isNull())
        showUnreadable(path);
    return picture;
}
