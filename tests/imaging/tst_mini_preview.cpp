#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "camera/VideoFeeds.h"
#include "imaging/FrameFormMINI.h"
#include "tests/support/TestEnv.h"

#include <QBuffer>
#include <QPointer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

// The live mini preview against a USB camera whose ring the test fills.
class TestMiniPreview : public QObject {
    Q_OBJECT
private slots:
    // The hub keeps its picture history in the working folder: a folder of
    // the test's own.
    void initTestCase() { env = std::make_unique<TestEnv>(); }
    void cleanupTestCase() { env.reset(); }
    void decodesEveryFormat_data();
    void decodesEveryFormat();
    void followsAResolutionChange();
    void stopDuringADecode();
    void networkCameraGetsNothing();

private:
    std::unique_ptr<TestEnv> env;
};

namespace {

// A USB camera reduced to its raw frame ring.
class RingCamera : public BaseCamera, public UsbVideoFeed {
public:
    int format = 22;
    int index = 0;
    QVector<QByteArray> frames{3};
    QVector<QSize> sizes{3};
    int pixelFormat() const override { return format; }
    bool hasCapture() const override { return true; }
    int ringSize() const override { return 3; }
    int ringIndex() const override { return index; }
    bool feedPlaying() const override { return true; }
    int feedPixelFormat() const override { return format; }
    bool readFrameInto(int) override { return false; }
    bool ringFrame(int i, const uint8_t*& data, int& bytes, int& width, int& height) const override {
        if (frames[i].isEmpty())
            return false;
        data = reinterpret_cast<const uint8_t*>(frames[i].constData());
        bytes = frames[i].size();
        width = sizes[i].width();
        height = sizes[i].height();
        return true;
    }
    void frameStep() override {}
    // The newest frame is the one before the ring index: index 0 puts it last.
    void newest(const QByteArray& frame, QSize size) {
        index = 0;
        frames[2] = frame;
        sizes[2] = size;
    }
};

// One colour as a raw frame of the format; Y, U, V limited range.
QByteArray rawFrame(int format, QSize s, int y, int u, int v) {
    const int w = s.width(), h = s.height();
    if (format == 22) { // NV12
        QByteArray f(w * h, char(y));
        for (int i = 0; i < w * h / 4; ++i)
            f.append(char(u)).append(char(v));
        return f;
    }
    if (format == 6) { // YUYV
        QByteArray f;
        for (int i = 0; i < w * h / 2; ++i)
            f.append(char(y)).append(char(u)).append(char(y)).append(char(v));
        return f;
    }
    // MJPG: a JPEG of the colour the BT.601 equations give.
    QImage img(s, QImage::Format_RGB888);
    const double c = 1.164 * (y - 16);
    img.fill(QColor(std::clamp(int(c + 1.596 * (v - 128)), 0, 255),
                    std::clamp(int(c - 0.813 * (v - 128) - 0.391 * (u - 128)), 0, 255),
                    std::clamp(int(c + 2.018 * (u - 128)), 0, 255)));
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPG", 95);
    return b.data();
}

QColor expected(int y, int u, int v) {
    const double c = 1.164 * (y - 16);
    return QColor(std::clamp(int(std::lround(c + 1.596 * (v - 128))), 0, 255),
                  std::clamp(int(std::lround(c - 0.813 * (v - 128) - 0.391 * (u - 128))), 0, 255),
                  std::clamp(int(std::lround(c + 2.018 * (u - 128))), 0, 255));
}

struct Current {
    explicit Current(BaseCamera* c) { MessagePassing::instance()->setCurCamera(c); }
    ~Current() { MessagePassing::instance()->setCurCamera(nullptr); }
};

} // namespace

void TestMiniPreview::decodesEveryFormat_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("NV12") << 22;
    QTest::newRow("YUYV") << 6;
    QTest::newRow("MJPG") << 15;
}

void TestMiniPreview::decodesEveryFormat() {
    QFETCH(int, format);
    RingCamera cam;
    cam.format = format;
    Current current(&cam);
    const int y = 110, u = 90, v = 170;
    cam.newest(rawFrame(format, QSize(64, 48), y, u, v), QSize(64, 48));
    cam.frames[0] = rawFrame(format, QSize(64, 48), 235, 128, 128); // an older frame: white
    cam.sizes[0] = QSize(64, 48);
    auto* mini = new FrameFormMINI();
    mini->resize(32, 18);
    QTRY_VERIFY(!mini->picture().isNull());
    const QImage p = mini->picture();
    QCOMPARE(p.size(), QSize(64, 48));
    const QColor got = p.pixelColor(30, 20), want = expected(y, u, v);
    QVERIFY2(std::abs(got.red() - want.red()) <= 6 && std::abs(got.green() - want.green()) <= 6 &&
                 std::abs(got.blue() - want.blue()) <= 6,
             qPrintable(QString("%1 against %2").arg(got.name(), want.name())));
    QPointer<FrameFormMINI> guard(mini);
    mini->stopRenew();
    QTRY_VERIFY(guard.isNull());
}

void TestMiniPreview::followsAResolutionChange() {
    RingCamera cam;
    Current current(&cam);
    cam.newest(rawFrame(22, QSize(64, 48), 100, 128, 128), QSize(64, 48));
    FrameFormMINI mini;
    QTRY_COMPARE(mini.picture().size(), QSize(64, 48));
    cam.newest(rawFrame(22, QSize(96, 64), 200, 128, 128), QSize(96, 64));
    QTRY_COMPARE(mini.picture().size(), QSize(96, 64));
    QVERIFY(qGray(mini.picture().pixel(50, 30)) > 190);
}

void TestMiniPreview::stopDuringADecode() {
    RingCamera cam;
    cam.format = 15;
    Current current(&cam);
    cam.newest(rawFrame(15, QSize(3840, 2160), 120, 100, 150), QSize(3840, 2160));
    auto* mini = new FrameFormMINI();
    QPointer<FrameFormMINI> guard(mini);
    mini->renewData();
    QVERIFY(mini->renewing());
    QSignalSpy repaints(mini, SIGNAL(renewDataFinishSIGNAL()));
    mini->stopRenew();
    QVERIFY(!guard.isNull()); // lives until its decode has ended
    QTRY_VERIFY(guard.isNull());
    QCOMPARE(repaints.count(), 0);
}

void TestMiniPreview::networkCameraGetsNothing() {
    BaseCamera cam; // no raw ring
    Current current(&cam);
    FrameFormMINI mini;
    mini.renewData();
    QVERIFY(!mini.renewing());
    QTest::qWait(200);
    QVERIFY(mini.picture().isNull());
}

QTEST_MAIN(TestMiniPreview)
#include "tst_mini_preview.moc"
