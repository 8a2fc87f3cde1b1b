// JPEG frames decoded off the interface thread: a pass only hands the frame
// over, the picture shown is the camera's own (4:2:0 and 4:2:2, at 1:1 and
// fitted to the program's view), and every frame read is shown.
#include "FakeUsbWorkers.h"
#include "ShownPicture.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"
#include "camera/SDLBackground.h"
#include "camera/SDLBackgroundDecoder.h"
#include "camera/VideoCrop.h"
#include "camera/UVCCamera.h"
#include "platform/SimUsbCamera.h"
#include "platform/ThreadPriority.h"
#include "platform/YuvPack.h"

#include <QFile>
#include <QSettings>

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <QtTest>

#include <opencv2/imgproc.hpp>

class TstVideoDecodeOffThread : public QObject {
    Q_OBJECT
private slots:
    void shownPictureIsTheCameras_data();
    void shownPictureIsTheCameras();
    void decoderNeverPreemptsTheInterface();
    void aHeldPictureIsNeverWrittenOver();
    void aFrameRefusedMemoryIsDroppedNotTheProgram_data();
    void aFrameRefusedMemoryIsDroppedNotTheProgram();
    void aSteadyStreamMapsNothingNew_data();
    void aSteadyStreamMapsNothingNew();
};

void TstVideoDecodeOffThread::shownPictureIsTheCameras_data() {
    QTest::addColumn<QString>("spec");
    QTest::addColumn<QSize>("canvas");
    QTest::newRow("4:2:0 1:1") << "1:fps=0" << QSize(1920, 1080);
    QTest::newRow("4:2:2 1:1") << "1:fps=0:jpeg=422" << QSize(1920, 1080);
    QTest::newRow("4:2:0 fitted") << "1:fps=0" << QSize(1326, 745);
    QTest::newRow("4:2:2 fitted") << "1:fps=0:jpeg=422" << QSize(1326, 745);
}

void TstVideoDecodeOffThread::shownPictureIsTheCameras() {
    QFETCH(QString, spec);
    QFETCH(QSize, canvas);
    SimVideoRig rig(spec, canvas);
    SDLBackground& window = rig.window;
    auto sim = rig.sim;
    QVERIFY(sim);
    {
        UVCCamera cam;
        QVERIFY(cam.open(0, PixFmtMJPG));
        cam.startLive();
        window.move(QPoint(0, 0)); // the picture fills the canvas, as the fitted view does
        window.resize(canvas);
        // The pass that reads a frame does not show it: the decoder does.
        window.renderFrame();
        QCOMPARE(window.uploadCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT((window.renderFrame(), window.uploadCount() > 0), 20000);
        const QRect at = window.lastCrop().target.toRect();
        QVERIFY2(at.width() >= canvas.width() - 1, qPrintable(QString("%1x%2").arg(at.width()).arg(at.height())));
        // Reference: the camera's picture before its JPEG coding, scaled by area.
        const double mean = shownPictureError(window, sim->currentPicture());
        QVERIFY2(mean < 3 * 6.0, qPrintable(QString::number(mean)));
        // Every frame read is shown: each pass shows the picture finished
        // since the last one and hands the next frame over.
        const int shownBefore = window.uploadCount();
        for (int i = 0; i < 10; ++i) {
            QTRY_VERIFY_WITH_TIMEOUT(window.waitDecoded(50), 20000);
            window.renderFrame();
        }
        QCOMPARE(window.uploadCount(), shownBefore + 10);
    }
}

// The decoder is woken by the interface thread once a frame; were it an
// ordinary thread, the kernel would let it take the waking thread's core at
// once and the pass would wait, runnable, for the whole decode. It runs as
// background work instead, and the interface thread stays as it was.
void TstVideoDecodeOffThread::decoderNeverPreemptsTheInterface() {
    SDLBackgroundDecoder decoder;
    std::atomic<int> background{-1};
    decoder.setOnFinished([&] { background = ThreadPriority::isBackground() ? 1 : 0; });
    const cv::Mat bgr(48, 64, CV_8UC3, cv::Scalar(40, 120, 200));
    const QSize frame(64, 48);
    const VideoCrop crop = computeVideoCrop(frame, QRectF(0, 0, 64, 48), frame);
    decoder.submit(YuvPack::bgrToJpeg(bgr, 85, false), frame, crop, QRect(0, 0, 64, 48), 1);
    QTRY_VERIFY(decoder.waitFinished(50));
    QCOMPARE(background.load(), 1);
    QVERIFY(!ThreadPriority::isBackground());
}

// The decoder writes its next picture into the memory of the last one once
// the interface thread has let that go. As in the program, the interface
// thread hands the next frame over, reads the last picture while that frame
// is decoded and then lets it go, with no lock taken between its reads and
// the decoder's next write: under ThreadSanitizer a reuse decided on a
// holder count read without ordering is a reported race. A picture still
// held keeps its pixels while the next one is decoded.
void TstVideoDecodeOffThread::aHeldPictureIsNeverWrittenOver() {
    SDLBackgroundDecoder decoder;
    const QSize frame(2592, 1944);
    const VideoCrop crop = computeVideoCrop(frame, QRectF(QPointF(0, 0), QSizeF(frame)), frame);
    const QRect at(QPoint(0, 0), frame);
    // Noise (a long decode) beside a band of one colour at the left edge.
    const int band = 32;
    const cv::Scalar colours[2] = {cv::Scalar(30, 60, 200), cv::Scalar(220, 180, 20)};
    QByteArray jpegs[2];
    for (int i = 0; i < 2; ++i) {
        cv::Mat bgr(frame.height(), frame.width(), CV_8UC3);
        cv::randu(bgr, 0, 256);
        bgr.colRange(0, band).setTo(colours[i]);
        jpegs[i] = YuvPack::bgrToJpeg(bgr, 90, false);
    }
    // The band as the frame of the picture's tag has it (a flat JPEG block
    // decodes to within a step or two of its colour).
    auto holds = [&](const SDLBackgroundDecoder::Picture& p) {
        const cv::Scalar& c = colours[p.tag % 2];
        if (p.image.size() != frame)
            return false;
        for (int y = 0; y < p.image.height(); ++y) {
            const uchar* row = p.image.constScanLine(y);
            for (int x = 0; x < band * 4; x += 4)
                for (int k = 0; k < 3; ++k)
                    if (std::abs(row[x + k] - int(c[k])) > 3)
                        return false;
        }
        return true;
    };
    auto next = [&](SDLBackgroundDecoder::Picture& p) {
        const QDeadlineTimer deadline(60000);
        while (!decoder.waitFinished(50) && !deadline.hasExpired()) {
        }
        return decoder.take(p);
    };
    SDLBackgroundDecoder::Picture held;
    decoder.submit(jpegs[0], frame, crop, at, 0);
    QVERIFY(next(held));
    for (int tag = 1; tag <= 12; ++tag) {
        decoder.submit(jpegs[tag % 2], frame, crop, at, tag);
        QVERIFY2(holds(held), qPrintable(QString("picture %1").arg(held.tag)));
        const bool keep = tag % 4 == 0; // held through the next decode
        if (!keep)
            held = SDLBackgroundDecoder::Picture();
        SDLBackgroundDecoder::Picture made;
        QVERIFY(next(made));
        QCOMPARE(made.tag, tag);
        QVERIFY2(holds(made), qPrintable(QString("picture %1").arg(tag)));
        if (keep)
            QVERIFY2(holds(held), qPrintable(QString("picture %1 after %2").arg(held.tag).arg(tag)));
        held = std::move(made);
    }
}

// A plain 4K frame: JPEG (15) or NV12 (22).
static QByteArray plainFourK(int format) {
    const cv::Mat bgr(2160, 3840, CV_8UC3, cv::Scalar(40, 90, 160));
    return format == 15 ? YuvPack::bgrToJpeg(bgr, 90, false) : QByteArray(3840 * 2160 * 3 / 2, char(100));
}

// A 4K frame the system refuses the picture's memory for (the program near
// an address-space limit, a focus-stacking run beside the live video) is
// dropped as a damaged frame is: no picture, and the program goes on. Each
// row runs in a child process of this test under the limit.
void TstVideoDecodeOffThread::aFrameRefusedMemoryIsDroppedNotTheProgram_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("NV12") << 22;
    QTest::newRow("MJPG") << 15;
}

void TstVideoDecodeOffThread::aFrameRefusedMemoryIsDroppedNotTheProgram() {
    QFETCH(int, format);
    if (const char* why = addressLimitUntestable())
        QSKIP(why);
    if (!qEnvironmentVariableIsSet("VIDEO_DECODE_REFUSED")) {
        const QString failed = runRowInChildUnderLimit("VIDEO_DECODE_REFUSED", "refused");
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        return;
    }
    const QSize frame(3840, 2160);
    const QByteArray data = plainFourK(format);
    const VideoCrop crop = computeVideoCrop(frame, QRectF(QPointF(0, 0), QSizeF(frame)), frame);
    SDLBackgroundDecoder decoder;
    // Room for the job's bookkeeping, none for a 4K picture (33 MB).
    QVERIFY(limitAddressSpace(4 << 20));
    decoder.submit(data, data.size(), format, frame, crop, QRect(QPoint(0, 0), frame), 1);
    QVERIFY(!decoder.waitFinished(60000));
    SDLBackgroundDecoder::Picture none;
    QVERIFY(!decoder.take(none));
    std::fprintf(stderr, "refused\n");
}

// Minor page faults of this process's thread `tid` so far (/proc).
static long threadMinorFaults(long tid) {
    QFile f(QString("/proc/self/task/%1/stat").arg(tid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(7).toLong(); // field 10, minflt
}

// A 4K stream fitted to the program's view, the last picture held while
// the next is made, as the interface thread does: once the first pictures
// are made, the decoder writes into memory it already has, even with the C
// library told to map every block of 2 MB or more afresh (a 1265 x 712
// picture is 3.6 MB, 880 pages).
void TstVideoDecodeOffThread::aSteadyStreamMapsNothingNew_data() {
    aFrameRefusedMemoryIsDroppedNotTheProgram_data(); // the same formats
}

void TstVideoDecodeOffThread::aSteadyStreamMapsNothingNew() {
    QFETCH(int, format);
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("built with AddressSanitizer, whose allocator holds freed blocks back before it hands them out again: "
          "the pages it faults in are its own");
#endif
    mallopt(M_MMAP_THRESHOLD, 2 << 20);
    const QSize frame(3840, 2160);
    const QByteArray data = plainFourK(format);
    const VideoCrop crop = computeVideoCrop(frame, QRectF(0, 0, 1265, 711), QSize(1265, 712));
    const QRect at(QPoint(0, 0), crop.target.toRect().size());
    SDLBackgroundDecoder decoder;
    std::atomic<long> tid{0};
    decoder.setOnFinished([&] { tid = long(gettid()); });
    SDLBackgroundDecoder::Picture shown, made;
    long before = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 6)
            before = threadMinorFaults(tid);
        decoder.submit(data, data.size(), format, frame, crop, at, i);
        QVERIFY(decoder.waitFinished(60000) && decoder.take(made));
        shown = std::move(made);
    }
    const long faults = threadMinorFaults(tid) - before;
    QVERIFY2(before >= 0 && faults < 100, qPrintable(QString("%1 page faults in 10 pictures").arg(faults)));
}

QTEST_MAIN(TstVideoDecodeOffThread)
#include "tst_video_decode_off_thread.moc"
