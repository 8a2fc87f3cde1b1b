// Pictures read before the first paint load no image-format plugin; once the
// plugins are given back every format reads again.
#include "app/LatePlugins.h"
#include "platform/YuvPack.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>

namespace {

// Whether any image-format plugin is mapped into this process.
bool imagePluginLoaded() {
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly))
        return true;
    return maps.readAll().contains("/imageformats/");
}

QImage pattern() {
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, 128));
    return image;
}

} // namespace

class TstLatePlugins : public QObject {
    Q_OBJECT
private slots:
    void pngReadsWhileHeldEveryFormatAfter();
};

void TstLatePlugins::pngReadsWhileHeldEveryFormatAfter() {
    QVERIFY2(!imagePluginLoaded(), "an image plugin was loaded before the test began");
    QTemporaryDir dir;
    const QString png = dir.filePath("start.png");
    const QString jpg = dir.filePath("photo.jpg");
    // The JPEG is written by libjpeg-turbo, not by Qt.
    cv::Mat bgr(48, 64, CV_8UC3, cv::Scalar(40, 160, 220));
    const QByteArray jpeg = YuvPack::bgrToJpeg(bgr, 90, false);
    QVERIFY(!jpeg.isEmpty());
    QFile out(jpg);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(jpeg);
    out.close();

    LatePlugins::holdBack();
    QVERIFY(LatePlugins::held());
    QVERIFY(pattern().save(png));
    // Read the way the window reads its pictures: by name, format found by Qt.
    const QImage read(png);
    QCOMPARE(read.convertToFormat(QImage::Format_RGB32), pattern());
    QVERIFY(!QIcon(png).pixmap(QSize(16, 16)).isNull());
    QVERIFY2(!imagePluginLoaded(), "reading a PNG loaded an image plugin");

    LatePlugins::giveBack();
    QVERIFY(!LatePlugins::held());
    LatePlugins::giveBack(); // once is enough
    const QImage photo(jpg);
    QVERIFY2(!photo.isNull(), "a JPEG does not read after the plugins were given back");
    QCOMPARE(photo.size(), QSize(64, 48));
    const QRgb centre = photo.pixel(32, 24);
    QVERIFY(qAbs(qRed(centre) - 220) <= 3 && qAbs(qGreen(centre) - 160) <= 3 && qAbs(qBlue(centre) - 40) <= 3);
    QVERIFY(QImageReader::supportedImageFormats().contains("jpeg"));
    QVERIFY(imagePluginLoaded());
}

QTEST_MAIN(TstLatePlugins)
#include "tst_late_plugins.moc"
