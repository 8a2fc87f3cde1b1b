// A picture whose colour changes from row to row (or from column to column),
// in every raw format and JPEG sampling the cameras send, shown by the video
// window (made on the decoder's thread, at 1:1, zoomed in and reduced to a
// half and a quarter) and decoded by the snapshot decoder: every row (column)
// keeps its own colour. Column-wise test pictures cannot tell a chroma row
// taken from the wrong picture row; row-wise ones cannot tell a reduced
// picture's luma and chroma taken from different columns.
#include "FrameSynth.h"
#include "camera/BaseCamera.h"
#include "camera/SDLBackground.h"
#include "camera/ThreadAVPacket.h"
#include "camera/VideoFeeds.h"

#include <QtTest>

#include <turbojpeg.h>

namespace {

constexpr int W = 640, H = 480, Band = 16;

// A camera that sends one frame, again and again.
class PictureFeed : public UsbVideoFeed {
public:
    PictureFeed(std::vector<uint8_t> frame, int format) : m_frame(std::move(frame)), m_format(format) {}
    bool hasCapture() const override { return true; }
    int ringSize() const override { return 3; }
    int ringIndex() const override { return m_index; }
    bool feedPlaying() const override { return true; }
    int feedPixelFormat() const override { return m_format; }
    bool readFrameInto(int) override { return true; }
    bool ringFrame(int, const uint8_t*& data, int& bytes, int& width, int& height) const override {
        data = m_frame.data();
        bytes = int(m_frame.size());
        width = W;
        height = H;
        return true;
    }
    void frameStep() override { m_index = (m_index + 1) % 3; }

private:
    std::vector<uint8_t> m_frame;
    int m_format;
    int m_index = 0;
};

std::vector<uint8_t> frameIn(const QString& format, const QImage& picture) {
    if (format == "NV12")
        return FrameSynth::toNV12(picture);
    if (format == "YUYV")
        return FrameSynth::toYUYV(picture);
    const int sampling = format == "MJPG 4:2:0"   ? TJSAMP_420
                         : format == "MJPG 4:2:2" ? TJSAMP_422
                         : format == "MJPG 4:4:4" ? TJSAMP_444
                                                  : TJSAMP_440;
    return FrameSynth::toJpegSampled(picture, 95, sampling);
}

int pixelFormatOf(const QString& format) {
    return format == "NV12" ? PixFmtNV12 : format == "YUYV" ? PixFmtYUYV : PixFmtMJPG;
}

// The same bands standing upright: a picture whose colour changes from
// column to column.
QImage columnBands(int width, int height, int band) {
    const QImage rows = FrameSynth::rowBands(height, width, band);
    QImage img(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixelColor(x, y, rows.pixelColor(y, x));
    return img;
}

// Rows of `shown` (RGB, `rowOf` giving the picture row each shows, of
// `rows` picture rows `columns` wide) whose colour is not their band's, away
// from band edges. Empty when all match.
QStringList wrongRows(const std::function<QColor(int x, int y)>& shown, QRect area,
                      const std::function<double(int)>& rowOf, const std::function<double(int)>& columnOf,
                      int rows = H, int columns = W) {
    QStringList wrong;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        const double fy = rowOf(y);
        const int inBand = int(fy) % Band;
        if (fy < 0 || fy >= rows || inBand < 3 || inBand > Band - 4)
            continue;
        const QColor truth = FrameSynth::rowColours()[(int(fy) / Band) % FrameSynth::rowColours().size()];
        for (int x = area.left() + area.width() / 8; x < area.right(); x += area.width() / 4) {
            if (columnOf(x) < 0 || columnOf(x) >= columns)
                continue;
            const QColor c = shown(x, y);
            const int d = std::max({std::abs(c.red() - truth.red()), std::abs(c.green() - truth.green()),
                                    std::abs(c.blue() - truth.blue())});
            if (d > 40) {
                wrong << QString("row %1 (picture row %2) at x %3: %4 not %5")
                             .arg(y)
                             .arg(fy)
                             .arg(x)
                             .arg(c.name(), truth.name());
                break;
            }
        }
    }
    return wrong;
}

} // namespace

class TstFrameRowsShown : public QObject {
    Q_OBJECT
private slots:
    void videoWindowShowsEachRowsColour_data();
    void videoWindowShowsEachRowsColour();
    void snapshotDecoderKeepsEachRowsColour_data();
    void snapshotDecoderKeepsEachRowsColour();
};

void TstFrameRowsShown::videoWindowShowsEachRowsColour_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("columns"); // bands from column to column
    QTest::addColumn<QRect>("dest");   // where the picture lies on a 640 x 480 canvas
    const QList<QPair<QString, QRect>> views{{"1:1", QRect(0, 0, W, H)},
                                             {"zoomed in", QRect(-W / 2, -H / 2, 2 * W, 2 * H)},
                                             {"zoomed in off centre", QRect(-W, -H / 4, 3 * W, 3 * H)},
                                             {"reduced", QRect(0, 0, W / 2, H / 2)},
                                             {"reduced to a quarter", QRect(0, 0, W / 4, H / 4)}};
    for (const QString& format : {"NV12", "YUYV", "MJPG 4:2:0", "MJPG 4:2:2", "MJPG 4:4:4", "MJPG 4:4:0"})
        for (const bool columns : {false, true})
            for (const auto& view : views)
                QTest::newRow(qPrintable(QString("%1 %2 %3").arg(format, columns ? "columns" : "rows", view.first)))
                    << format << columns << view.second;
}

// The window as the program builds it: frames made into pictures on the
// decoder's thread.
void TstFrameRowsShown::videoWindowShowsEachRowsColour() {
    QFETCH(QString, format);
    QFETCH(bool, columns);
    QFETCH(QRect, dest);
    const QImage picture = columns ? columnBands(W, H, Band) : FrameSynth::rowBands(W, H, Band);
    PictureFeed feed(frameIn(format, picture), pixelFormatOf(format));
    SDLBackground window;
    window.setCanvasSize(QSize(W, H));
    window.show();
    window.attachUsbCamera(&feed, W, H);
    window.move(dest.topLeft());
    window.resize(dest.size());
    window.renderFrame();
    QVERIFY(window.waitDecoded(30000)); // the decoder tells when it is done: no guess at a time
    window.renderFrame();
    QCOMPARE(window.uploadCount(), 1);
    const QImage canvas = window.canvas().copy();
    const QRect area = dest.intersected(canvas.rect());
    const auto rowOf = [&](int y) { return (y - dest.y()) * double(H) / dest.height(); };
    const auto columnOf = [&](int x) { return (x - dest.x()) * double(W) / dest.width(); };
    const QStringList wrong =
        columns ? wrongRows([&](int x, int y) { return canvas.pixelColor(y, x); },
                            QRect(area.y(), area.x(), area.height(), area.width()), columnOf, rowOf,
                            W, H)
                : wrongRows([&](int x, int y) { return canvas.pixelColor(x, y); }, area, rowOf, columnOf);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 3).join("; ")));
    window.detach(&feed);
}

void TstFrameRowsShown::snapshotDecoderKeepsEachRowsColour_data() {
    QTest::addColumn<QString>("format");
    for (const char* format : {"NV12", "YUYV", "MJPG 4:2:0", "MJPG 4:2:2", "MJPG 4:4:4", "MJPG 4:4:0"})
        QTest::newRow(format) << QString(format);
}

void TstFrameRowsShown::snapshotDecoderKeepsEachRowsColour() {
    QFETCH(QString, format);
    const std::vector<uint8_t> frame = frameIn(format, FrameSynth::rowBands(W, H, Band));
    ThreadAVPacket decoder;
    QVERIFY(decoder.initDecoder(W, H, pixelFormatOf(format)));
    std::vector<uint8_t> rgb;
    QVERIFY(decoder.pushPacket(frame.data(), int(frame.size()), [&](const uint8_t* p, int w, int h, bool& used) {
        rgb.assign(p, p + size_t(w) * h * 3);
        used = true;
    }));
    QVERIFY(decoder.wait(30000));
    QCOMPARE(rgb.size(), size_t(W) * H * 3);
    const QStringList wrong = wrongRows(
        [&](int x, int y) {
            const uint8_t* p = rgb.data() + (size_t(y) * W + x) * 3;
            return QColor(p[0], p[1], p[2]);
        },
        QRect(0, 0, W, H), [](int y) { return double(y); }, [](int x) { return double(x); });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 3).join("; ")));
}

QTEST_MAIN(TstFrameRowsShown)
#include "tst_frame_rows_shown.moc"
