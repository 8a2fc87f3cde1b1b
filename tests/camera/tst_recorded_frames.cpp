// Which camera frames a recording keeps: with keep-every-n, frames 0, n,
// 2n... in their order, read back from the file by ffmpeg. Each frame is one
// colour of its own, so a recorder that kept the wrong ones shows.
#include "FrameSynth.h"
#include "MediaProbe.h"
#include "camera/ThreadVideo.h"
#include "tests/support/TestEnv.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

constexpr int W = 320, H = 240;
constexpr int kRaw = 13, kNV12 = 23; // the FFmpeg ids the drivers pass

QColor frameColour(int k) {
    static const QColor colours[] = {QColor(220, 30, 30),  QColor(30, 200, 40),  QColor(30, 40, 220),
                                     QColor(230, 220, 40), QColor(200, 40, 200), QColor(40, 210, 210),
                                     QColor(240, 240, 240), QColor(20, 20, 20),  QColor(240, 130, 20)};
    return colours[k % 9];
}

// Every frame of a file as RGB24, decoded by ffmpeg without dropping or
// repeating any.
QList<QByteArray> framesOf(const QString& path) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-f", "rawvideo",
                       "-pix_fmt", "rgb24", "-"});
    p.waitForFinished(60000);
    const QByteArray all = p.readAllStandardOutput();
    QList<QByteArray> frames;
    const int size = W * H * 3;
    for (int at = 0; at + size <= all.size(); at += size)
        frames << all.mid(at, size);
    return frames;
}

struct Case {
    const char* name;
    int keepEvery;
    int fileFps;
    std::vector<int> kept;
};

} // namespace

TEST(RecordedFrames, KeepEveryNRecordsFramesZeroNTwoN) {
    const Case cases[] = {{"every third", 3, 20, {0, 3, 6}},
                          {"every second", 2, 15, {0, 2, 4, 6, 8}},
                          {"every one", 1, 20, {0, 1, 2, 3, 4, 5, 6, 7, 8}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEnv env;
        const QString path = env.file("kept.mp4");
        ThreadVideo rec;
        ASSERT_TRUE(rec.startRecord(path, W, H, kRaw, kNV12, c.fileFps, W, H, c.keepEvery));
        // The camera runs keepEvery times the file's rate: the kept frames
        // fall on the file's ticks.
        const double cameraFps = double(c.fileFps) * c.keepEvery;
        for (int k = 0; k < 9; ++k) {
            QImage img(W, H, QImage::Format_RGB888);
            img.fill(frameColour(k));
            const auto nv12 = FrameSynth::toNV12(img);
            ASSERT_TRUE(rec.waitForSpace(60000));
            rec.pushFrame(nv12.data(), int(nv12.size()), W, H, 100000 + int64_t(k * 1000.0 / cameraFps));
        }
        rec.stopRecord();
        ASSERT_TRUE(rec.wait(120000));
        const QList<QByteArray> frames = framesOf(path);
        ASSERT_EQ(size_t(frames.size()), c.kept.size());
        for (size_t j = 0; j < c.kept.size(); ++j) {
            const auto* p = reinterpret_cast<const uint8_t*>(frames[int(j)].constData()) + (H / 2 * W + W / 2) * 3;
            const QColor want = frameColour(c.kept[j]);
            EXPECT_NEAR(p[0], want.red(), 12) << "file frame " << j << " should be camera frame " << c.kept[j];
            EXPECT_NEAR(p[1], want.green(), 12) << "file frame " << j;
            EXPECT_NEAR(p[2], want.blue(), 12) << "file frame " << j;
        }
    }
}
