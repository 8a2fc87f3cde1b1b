// The recorder, checked by reading its files back with ffprobe and ffmpeg.

#include "camera/ThreadVideo.h"

#include "FrameSynth.h"
#include "tests/support/TestTools.h"
#include "MediaProbe.h"
#include "tests/support/TestEnv.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStorageInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utility>
#include <thread>
#include <unistd.h>

namespace {

// FFmpeg ids the drivers pass.
constexpr int kMjpeg = 7, kRaw = 13;
constexpr int kNV12 = 23, kYuvj420 = 12, kYUYV = 1, kBGR = 3;

// A few distinct frames, cycled, so that the encoder sees motion.
std::vector<std::vector<uint8_t>> makeFrames(int w, int h, int count, int kind) {
    std::vector<std::vector<uint8_t>> frames;
    for (int t = 0; t < count; ++t) {
        const QImage img = FrameSynth::specimen(w, h, t * 7);
        switch (kind) {
        case kNV12: frames.push_back(FrameSynth::toNV12(img)); break;
        case kYUYV: frames.push_back(FrameSynth::toYUYV(img)); break;
        case kBGR: frames.push_back(FrameSynth::toBGR(img)); break;
        default: frames.push_back(FrameSynth::toJpeg(img)); break;
        }
    }
    return frames;
}

// Pushes n frames without ever dropping one, stamped as a camera of
// `cameraFps` would deliver them; returns how many were queued.
int pushAll(ThreadVideo& rec, const std::vector<std::vector<uint8_t>>& frames, int n, double cameraFps = 60) {
    int queued = 0;
    for (int i = 0; i < n; ++i) {
        EXPECT_TRUE(rec.waitForSpace(60000));
        const auto& f = frames[size_t(i) % frames.size()];
        const int64_t at = 100000 + int64_t(i * 1000.0 / cameraFps);
        queued += rec.pushFrame(f.data(), int(f.size()), 0, 0, at) ? 1 : 0;
    }
    return queued;
}

void stopAndWait(ThreadVideo& rec) {
    rec.stopRecord();
    ASSERT_TRUE(rec.wait(120000));
    EXPECT_EQ(rec.state(), ThreadVideo::StateFinished);
}

// The first frame of a file as RGB24 rows, decoded by ffmpeg.
QByteArray firstFrameRgb(const QString& path) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24",
                       "-"});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// Compares the middle of each colour bar of a decoded frame with its colour.
void expectBars(const QByteArray& rgb, int w, int h, int tolerance) {
    ASSERT_EQ(rgb.size(), w * h * 3);
    ::expectBars(reinterpret_cast<const uint8_t*>(rgb.constData()), w, h, FrameSynth::barColours(), tolerance);
}

} // namespace

TEST(ThreadVideo, KeepsEveryThirdOfNinetyFullHdNV12Frames) {
    TestEnv env;
    const QString path = env.file("keep3.mp4");
    const auto frames = makeFrames(1920, 1080, 4, kNV12);
    ThreadVideo rec;
    bool endedByItself = false;
    QObject::connect(&rec, &ThreadVideo::endedByItself, [&] { endedByItself = true; });
    ASSERT_TRUE(rec.startRecord(path, 1920, 1080, kRaw, kNV12, 20, 1920, 1080, 3)) << rec.lastError().toStdString();
    EXPECT_EQ(rec.state(), ThreadVideo::StateRecording);
    EXPECT_EQ(pushAll(rec, frames, 90), 30);
    stopAndWait(rec);
    EXPECT_EQ(rec.framesOffered(), 90);
    EXPECT_EQ(rec.droppedFrames(), 0);
    EXPECT_EQ(rec.framesEncoded(), 30);
    EXPECT_EQ(rec.framesOnDisk(), 30);
    EXPECT_FALSE(endedByItself); // stopped by its caller

    const ProbeResult r = probeVideo(path);
    ASSERT_TRUE(r.ok) << r.errors.toStdString();
    EXPECT_EQ(r.codec, "h264");
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.frames, 30);
    // 30 frames at 20 per second: the last frame keeps its duration.
    EXPECT_NEAR(r.duration, 1.5, 0.01);
    EXPECT_EQ(decodeErrors(path), "");
}

TEST(ThreadVideo, RecordingsPlayAtRealSpeedWhateverTheCameraRate) {
    // Ten seconds from a camera of 30 and of 60 frames per second, every
    // third frame kept, nominal 20 per second: both files last ten seconds.
    TestEnv env;
    const auto frames = makeFrames(320, 180, 4, kNV12);
    for (const int cameraFps : {30, 60}) {
        const QString path = env.file(QString("speed%1.mp4").arg(cameraFps));
        ThreadVideo rec;
        ASSERT_TRUE(rec.startRecord(path, 320, 180, kRaw, kNV12, 20, 320, 180, 3));
        pushAll(rec, frames, 10 * cameraFps, cameraFps);
        stopAndWait(rec);
        const ProbeResult r = probeVideo(path);
        ASSERT_TRUE(r.ok) << r.errors.toStdString();
        EXPECT_NEAR(r.duration, 10.0, 0.3) << cameraFps << " fps camera";
    }
}

namespace {
// Presentation times (seconds) of a file's packets, in file order, read by ffprobe.
std::vector<double> packetTimes(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time", "-of",
                        "csv=p=0", path});
    p.waitForFinished(60000);
    std::vector<double> times;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            times.push_back(line.trimmed().toDouble());
    std::sort(times.begin(), times.end());
    return times;
}
} // namespace

TEST(ThreadVideo, KeepsOneFrameATickByCaptureTime) {
    // Frames stamped as cameras of various rates deliver them (with a jitter
    // of up to jitterMs either way, or when negative a late read by up to
    // that much now and then): the file holds one picture each tick of its
    // one rate (the stated camera rate, at most the file's; the file's where
    // none is stated) from the first frame to the last, states that rate,
    // and holds every frame of a camera at or below it.
    TestEnv env;
    const auto frames = makeFrames(320, 180, 3, kNV12);
    struct Case {
        const char* name;
        double cameraFps;
        int jitterMs, fileFps, keep, count;
        int expectFrames; // pictures from the camera (-1: some are left out)
        // A reader slower than its camera: the steps between the frames it
        // took (ms), in place of the camera's own; cameraFps is then the
        // rate the camera's driver states.
        std::vector<int> stepsMs = {};
    };
    // Six of a 15/s camera's ticks steadily (a slower camera, as far as
    // the recorder can tell), then four and five in turn: a capture thread
    // taking what it can of a camera at its stated rate.
    std::vector<int> steadyThenUneven(10, 400);
    for (int i = 0; i < 20; ++i)
        steadyThenUneven.insert(steadyThenUneven.end(), {267, 333});
    // A network camera's first two frames handed over late.
    std::vector<int> lateStart(40, 100);
    lateStart[0] = 530;
    lateStart[1] = 566;
    const Case cases[] = {
        {"30 fps camera, 10 fps file", 30, 0, 10, 1, 120, -1},
        {"30 fps camera, 20 fps file", 30, 0, 20, 1, 120, -1},
        {"60 fps camera, 15 fps file", 60, 0, 15, 1, 240, -1},
        {"25 fps camera with jitter, 20 fps file", 25, 8, 20, 1, 100, -1},
        {"20 fps camera with jitter, 20 fps file", 20, 15, 20, 1, 80, 80},
        // Read by an interface loop that is late now and then (negative
        // jitter: only late, by up to 40 ms, 0.6 of a tick).
        // A frame more than half a tick late takes the next tick.
        {"15 fps camera read late now and then, 15 fps file", 15, -40, 15, 1, 90, -1},
        {"30 fps camera read late now and then keeping every second, 15 fps file", 30, -40, 15, 2, 180, -1},
        {"5 fps camera, 10 fps file", 5, 0, 10, 1, 20, 20},
        {"60 fps camera keeping every third, 20 fps file", 60, 0, 20, 3, 240, 80},
        {"10 fps camera handed over with a jitter of 12 %, 10 fps file", 10, 12, 10, 1, 100, 100},
        {"10 fps camera whose first two frames came 530 and 566 ms apart, 10 fps file", 10, 0, 10, 1, 41, 41,
         lateStart},
        {"15 fps camera read every 400 ms, then every 267 and 333 ms in turn, 15 fps file", 15, 0, 15, 1,
         int(steadyThenUneven.size()) + 1, int(steadyThenUneven.size()) + 1, steadyThenUneven},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCatcher log;
        const QString path = env.file("tick.mp4");
        QFile::remove(path); // a recording is a new file only
        ThreadVideo rec;
        const bool read = !c.stepsMs.empty();
        ASSERT_TRUE(rec.startRecord(path, 320, 180, kRaw, kNV12, c.fileFps, 320, 180, c.keep,
                                    read ? c.cameraFps : 0));
        std::vector<double> offered;
        uint32_t noise = 12345;
        double readAt = 0;
        for (int i = 0; i < c.count; ++i) {
            ASSERT_TRUE(rec.waitForSpace(60000));
            noise = noise * 1103515245u + 12345u;
            const int spread = std::abs(c.jitterMs);
            int jitter = spread ? int((noise >> 16) % uint32_t(2 * spread + 1)) - spread : 0;
            if (c.jitterMs < 0)
                jitter = (noise >> 8) % 4 == 0 ? std::abs(jitter) : 0; // a late read now and then
            if (read && i > 0)
                readAt += c.stepsMs[size_t(i - 1)] / 1000.0;
            const double at = read ? readAt : i / c.cameraFps + (i ? jitter / 1000.0 : 0);
            const auto& f = frames[size_t(i) % frames.size()];
            if (rec.pushFrame(f.data(), int(f.size()), 0, 0, 500000 + int64_t(std::llround(at * 1000))))
                offered.push_back(at);
        }
        stopAndWait(rec);
        EXPECT_EQ(rec.droppedFrames(), 0);
        const double rate = read ? std::min<double>(c.fileFps, c.cameraFps / c.keep) : c.fileFps;
        const int ticks = int(std::lround((offered.back() - offered.front()) * rate)) + 1;
        const ProbeResult r = probeVideo(path);
        ASSERT_TRUE(r.ok) << r.errors.toStdString();
        EXPECT_NEAR(r.frames, ticks, 1);
        const RecordingEnd end = recordingEnd(log.lines().filter(path));
        const QStringList faults = constantRateFaults(path, rate, end);
        EXPECT_TRUE(faults.isEmpty()) << faults.join("; ").toStdString();
        EXPECT_EQ(end.pictures + end.leftOut, int(offered.size()));
        if (c.expectFrames >= 0) {
            EXPECT_EQ(end.pictures, c.expectFrames);
        }
        // One picture a tick.
        const std::vector<double> times = packetTimes(path);
        ASSERT_EQ(int(times.size()), r.frames);
        for (size_t i = 0; i < times.size(); ++i)
            EXPECT_NEAR(times[i] - times[0], i / rate, 0.002) << "picture " << i;
    }
}

TEST(ThreadVideo, RecordsEveryInputFormatWithItsColours) {
    TestEnv env;
    const QImage bars = FrameSynth::colourBars(320, 240);
    struct Case {
        const char* name;
        int codec, pixfmt;
        std::vector<uint8_t> frame;
        int outW, outH;
    };
    const Case cases[] = {
        {"nv12", kRaw, kNV12, FrameSynth::toNV12(bars), 320, 240},
        {"yuyv", kRaw, kYUYV, FrameSynth::toYUYV(bars), 320, 240},
        {"bgr", kRaw, kBGR, FrameSynth::toBGR(bars), 320, 240},
        {"mjpeg420", kMjpeg, kYuvj420, FrameSynth::toJpeg(bars, 95, false), 320, 240},
        {"mjpeg422", kMjpeg, kYuvj420, FrameSynth::toJpeg(bars, 95, true), 320, 240},
        {"scaled", kRaw, kNV12, FrameSynth::toNV12(bars), 160, 120},
        // A camera whose JPEG frames are smaller than announced.
        {"mjpegsmall", kMjpeg, kYuvj420, FrameSynth::toJpeg(FrameSynth::colourBars(160, 120), 95), 320, 240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = env.file(QString("%1.mp4").arg(c.name));
        ThreadVideo rec;
        ASSERT_TRUE(rec.startRecord(path, 320, 240, c.codec, c.pixfmt, 10, c.outW, c.outH, 1));
        EXPECT_EQ(pushAll(rec, {c.frame}, 12, 10), 12); // a camera at the file's rate
        stopAndWait(rec);
        const ProbeResult r = probeVideo(path);
        ASSERT_TRUE(r.ok) << r.errors.toStdString();
        EXPECT_EQ(r.width, c.outW);
        EXPECT_EQ(r.height, c.outH);
        EXPECT_EQ(r.frames, 12);
        EXPECT_NEAR(r.duration, 1.2, 0.01);
        expectBars(firstFrameRgb(path), c.outW, c.outH, 14);
    }
}

TEST(ThreadVideo, RefusesBadSettingsAndLeavesNoFile) {
    TestEnv env;
    struct Case {
        const char* file;
        int keep, outW, fps;
        const char* link = nullptr; // a dangling link at the name, to this file
    };
    const Case cases[] = {
        {"linked.mp4", 1, 320, 20, "made.mp4"}, // a new file only, never through a link
        {"keep0.mp4", 0, 320, 20},              // keep-every 0 would divide by zero
        {"odd.mp4", 1, 321, 20},                // 4:2:0 needs an even size
        {"nofps.mp4", 1, 320, 0},
        {"missing/folder.mp4", 1, 320, 20},     // folder does not exist
        {"picture.jpg", 1, 320, 20},            // not a video container
        {"unknown.zzz", 1, 320, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (c.link) {
            ASSERT_TRUE(QFile::link(env.file(c.link), env.file(c.file)));
        }
        ThreadVideo rec;
        EXPECT_FALSE(rec.startRecord(env.file(c.file), 320, 240, kRaw, kNV12, c.fps, c.outW, 240, c.keep));
        EXPECT_FALSE(rec.lastError().isEmpty());
        EXPECT_EQ(rec.state(), ThreadVideo::StateFinished);
        EXPECT_FALSE(rec.isRunning());
        EXPECT_FALSE(QFile::exists(env.file(c.file)));
        EXPECT_FALSE(c.link && QFileInfo::exists(env.file(c.link)));
        const auto f = FrameSynth::toNV12(FrameSynth::colourBars(320, 240));
        EXPECT_FALSE(rec.pushFrame(f.data(), int(f.size())));
    }
    EXPECT_EQ(QDir(env.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 0);

    // A second start on the same recorder is refused and leaves the first alone.
    ThreadVideo rec;
    ASSERT_TRUE(rec.startRecord(env.file("first.mp4"), 320, 240, kRaw, kNV12, 10, 320, 240, 1));
    EXPECT_FALSE(rec.startRecord(env.file("second.mp4"), 320, 240, kRaw, kNV12, 10, 320, 240, 1));
    EXPECT_FALSE(QFile::exists(env.file("second.mp4")));
    EXPECT_EQ(pushAll(rec, makeFrames(320, 240, 1, kNV12), 3, 10), 3);
    stopAndWait(rec);
    EXPECT_EQ(probeVideo(env.file("first.mp4")).frames, 3);
}

// A recording gets what the folder's default ACL, or else the umask, gives
// a file made there, as getfacl reads it of one touch made.
TEST(ThreadVideo, ANewRecordingGetsWhatItsFolderGives) {
    for (const auto& row : {std::make_pair("", 002), std::make_pair("u:nobody:rw,g::r,o::-", 022)}) {
        SCOPED_TRACE(row.first);
        TestEnv env;
        const QString given = *row.first ? setDefaultAcl(env.path(), row.first) : QString();
        if (given.startsWith("unsupported"))
            GTEST_SKIP() << given.toStdString();
        const mode_t old = ::umask(mode_t(row.second));
        const QString touched = runProgram("touch", {env.file("touched")});
        ThreadVideo rec;
        const bool started = rec.startRecord(env.file("rec.mp4"), 320, 240, kRaw, kNV12, 10, 320, 240, 1);
        ::umask(old);
        ASSERT_TRUE(started && touched.isEmpty() && given.isEmpty()) << (touched + given).toStdString();
        EXPECT_EQ(pushAll(rec, makeFrames(320, 240, 1, kNV12), 3, 10), 3);
        stopAndWait(rec);
        EXPECT_EQ(aclOf(env.file("rec.mp4")), aclOf(env.file("touched")));
    }
}

TEST(ThreadVideo, StopBeforeAnyFrameLeavesNoBrokenFile) {
    TestEnv env;
    const QString path = env.file("empty.mp4");
    ThreadVideo rec;
    ASSERT_TRUE(rec.startRecord(path, 320, 240, kRaw, kNV12, 20, 320, 240, 3));
    stopAndWait(rec);
    EXPECT_EQ(rec.framesEncoded(), 0);
    // A file without a single frame is not a video any player opens.
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(rec.lastError().isEmpty());
    // Stop on a recorder that never started, and twice, is harmless.
    ThreadVideo idle;
    idle.stopRecord();
    idle.stopRecord();
    EXPECT_EQ(idle.state(), ThreadVideo::StateFinished);
}

TEST(ThreadVideo, SkipsFramesThatDoNotDecodeAndGoesOn) {
    TestEnv env;
    const QString path = env.file("bad.mp4");
    ThreadVideo rec;
    ASSERT_TRUE(rec.startRecord(path, 320, 240, kMjpeg, kYuvj420, 10, 320, 240, 1));
    const auto good = FrameSynth::toJpeg(FrameSynth::colourBars(320, 240));
    std::vector<uint8_t> garbage(5000, 0x5a);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(rec.waitForSpace(60000));
        const auto& f = (i % 2) ? garbage : good;
        EXPECT_TRUE(rec.pushFrame(f.data(), int(f.size())));
    }
    stopAndWait(rec);
    EXPECT_EQ(rec.badFrames(), 5);
    EXPECT_EQ(probeVideo(path).frames, 5);

    // A raw frame too short for its size is refused at the door.
    ThreadVideo raw;
    ASSERT_TRUE(raw.startRecord(env.file("short.mp4"), 320, 240, kRaw, kNV12, 10, 320, 240, 1));
    const auto nv12 = FrameSynth::toNV12(FrameSynth::colourBars(320, 240));
    EXPECT_FALSE(raw.pushFrame(nv12.data(), int(nv12.size()) - 1));
    EXPECT_EQ(raw.badFrames(), 1);
    // A frame of another size than announced is scaled to the output.
    const auto big = FrameSynth::toNV12(FrameSynth::colourBars(640, 480));
    EXPECT_TRUE(raw.pushFrame(big.data(), int(big.size()), 640, 480));
    stopAndWait(raw);
    const ProbeResult r = probeVideo(env.file("short.mp4"));
    EXPECT_EQ(r.frames, 1);
    EXPECT_EQ(r.width, 320);
}

TEST(ThreadVideo, FullQueueDropsAndCountsFrames) {
    TestEnv env;
    const QString path = env.file("drops.mp4");
    const auto frames = makeFrames(640, 360, 3, kNV12);
    ThreadVideo rec;
    rec.setQueueCapacity(2);
    ASSERT_TRUE(rec.startRecord(path, 640, 360, kRaw, kNV12, 20, 640, 360, 1));
    EXPECT_EQ(rec.queueCapacity(), 2);
    // Offered far faster than any encoder: the queue never grows past 2. A
    // camera of 5 frames a second: three repeats before each picture.
    LogCatcher log;
    int queued = 0;
    for (int i = 0; i < 200; ++i) {
        const auto& f = frames[size_t(i) % frames.size()];
        queued += rec.pushFrame(f.data(), int(f.size()), 0, 0, 100000 + 200 * i) ? 1 : 0;
        EXPECT_LE(rec.pendingFrames(), 3);
    }
    stopAndWait(rec);
    EXPECT_GT(rec.droppedFrames(), 0);
    EXPECT_EQ(queued + rec.droppedFrames(), 200);
    // Each tick holds a picture, the repeats the encoder had no time for too.
    const RecordingEnd end = recordingEnd(log.lines().filter(path));
    EXPECT_EQ(end.pictures, queued);
    EXPECT_EQ(end.ticks, 4 * 199 + 1);
    EXPECT_EQ(probeVideo(path).frames, end.ticks);
    EXPECT_EQ(decodeErrors(path), "");
}

TEST(ThreadVideo, TwoSecondsOfFramesAtOnceAllWaitForTheEncoder) {
    // A network camera's full-HD frames of two seconds at 20 a second, come
    // at once (a busy machine held the recorder back): none is dropped.
    TestEnv env;
    const QString path = env.file("burst.mp4");
    const auto frames = makeFrames(1920, 1080, 4, kBGR);
    ThreadVideo rec;
    ASSERT_TRUE(rec.startRecord(path, 1920, 1080, kRaw, kBGR, 20, 1920, 1080, 1));
    for (int i = 0; i < 40; ++i)
        rec.pushFrame(frames[size_t(i) % 4].data(), int(frames[0].size()), 0, 0, 100000 + 50 * i);
    stopAndWait(rec);
    EXPECT_EQ(rec.droppedFrames(), 0);
}

TEST(ThreadVideo, DeletingTheRecorderEncodesItsWholeBacklog) {
    // Thirty pictures of 4096 x 3072 wait when the recorder is deleted, more
    // than one core encodes in a few seconds (the recorder's threads are
    // started on one, as on a busy machine): every one reaches the file, and
    // the end line tells what the file holds.
    TestEnv env;
    const OnOneCore pin;
    ASSERT_TRUE(pin.ok());
    const QString path = env.file("backlog.mp4");
    // Noise: the costliest picture to encode.
    std::vector<std::vector<uint8_t>> frames(3, std::vector<uint8_t>(4096 * 3072 * 3 / 2));
    std::mt19937 noise(7);
    for (auto& f : frames)
        for (auto& v : f)
            v = uint8_t(noise());
    LogCatcher log;
    {
        ThreadVideo rec;
        rec.setQueueCapacity(30);
        ASSERT_TRUE(rec.startRecord(path, 4096, 3072, kRaw, kNV12, 10, 4096, 3072, 1));
        EXPECT_EQ(pushAll(rec, frames, 30, 10), 30);
    }
    const RecordingEnd end = recordingEnd(log.lines().filter(path));
    EXPECT_EQ(end.pictures, 30);
    EXPECT_EQ(end.dropped, 0);
    EXPECT_EQ(probeVideo(path).frames, end.ticks);
}

TEST(ThreadVideo, HoldsTheConstantBitRate) {
    // Four seconds of a 720p camera at the file's rate: the file carries 12
    // Mbit/s, as a constant rate does whatever the picture costs.
    TestEnv env;
    const QString path = env.file("cbr.mp4");
    ThreadVideo rec;
    ASSERT_TRUE(rec.startRecord(path, 1280, 720, kRaw, kNV12, 10, 1280, 720, 1));
    pushAll(rec, makeFrames(1280, 720, 4, kNV12), 40, 10);
    stopAndWait(rec);
    const double rate = videoBitsPerSecond(path);
    EXPECT_NEAR(rate, 12e6, 12e6 * 0.1) << "bits per second";
    EXPECT_EQ(decodeErrors(path), "");
}

TEST(ThreadVideo, AStillSpecimenKeepsItsDetailAtTheConstantBitRate) {
    // Ten seconds of a still full-HD specimen at 10 frames a second: at least
    // 54.5 dB PSNR against the picture sent (ffmpeg's figure over all planes).
    TestEnv env;
    const auto still = makeFrames(1920, 1080, 1, kNV12);
    QFile raw(env.file("still.nv12"));
    ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
    raw.write(reinterpret_cast<const char*>(still[0].data()), qint64(still[0].size()));
    raw.close();
    ThreadVideo rec;
    ASSERT_TRUE(rec.startRecord(env.file("still.mp4"), 1920, 1080, kRaw, kNV12, 10, 1920, 1080, 1, 10));
    pushAll(rec, still, 100, 10);
    stopAndWait(rec);
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-i", env.file("still.mp4"), "-f", "rawvideo", "-pix_fmt", "nv12", "-s",
                       "1920x1080", "-stream_loop", "-1", "-i", raw.fileName(), "-lavfi",
                       "[0:v]format=yuv420p[a];[1:v]format=yuv420p[b];[a][b]psnr=shortest=1", "-f", "null", "-"});
    ASSERT_TRUE(p.waitForFinished(120000) && p.exitCode() == 0);
    const QString said = QString::fromUtf8(p.readAllStandardError());
    const int at = said.lastIndexOf("average:");
    ASSERT_GE(at, 0) << said.toStdString();
    EXPECT_GE(said.mid(at + 8).section(' ', 0, 0).toDouble(), 54.5);
}

TEST(ThreadVideo, CameraFramesKeptEveryNthCarryTheConstantBitRate) {
    // The USB models' settings: a file of 20 ticks a second fed every third
    // NV12 or every second YUYV frame of a 30 fps camera, so 10 or 15 frames
    // a second; cameras that change their rate halfway (a longer exposure, or
    // a shorter one) away from the rate they were said to send, that stall or
    // are paused, and held rates below five a second that are not whole.
    // The file holds the driver's stated rate over keep-every (at most its
    // own) from start to end, one picture a tick: it states that rate, a
    // plain conversion keeps every frame, a plain decode reads it without a
    // word, each steady second carries 12 Mbit/s (12 Mbit for each second
    // of pictures it holds at a rate that is not whole), stalls and pauses
    // included, no picture carries a gap's bits, key frames come where
    // groups of that rate come nearest 50 frames, and the end of the
    // recording accounts for every tick and every frame sent.
    struct Case {
        const char* name;
        int pixFmt;
        int fileFps;
        int keepEvery;
        double toldFps;             // what the driver says the camera sends
        double fpsBefore, fpsAfter; // what it sends in the first and second half
        double stallAt, stallFor;   // seconds: no frame comes for stallFor from stallAt
        double seconds;
        std::vector<double> keys;   // when key frames come (seconds)
        // Seconds after the last frame before halfway that the first one
        // after it comes (0: on the camera's steps): a camera that starts
        // its frames over at a new exposure.
        double restartAfter = 0;
        // The driver says it missed a frame before the first frame from
        // this second on (-1: none): the recorder measures the camera's
        // rate over again from that frame.
        double missedAt = -1;
        // A second gap of stallFor from this second (-1: none).
        double stallAgainAt = -1;
    };
    const Case cases[] = {
        {"nv12", kNV12, 20, 3, 30, 30, 30, 0, 0, 8, {0, 5}},
        {"yuyv", kYUYV, 20, 2, 30, 30, 30, 0, 0, 8, {0, 3, 6}},
        {"told 30 fps, the camera drops from 30 to 15 halfway", kNV12, 30, 1, 30, 30, 15, 0, 0, 8, {0, 2, 4, 6}},
        {"told 2.5 fps, the camera rises to 10 halfway", kNV12, 10, 1, 2.5, 2.5, 10, 0, 0, 16, {0}},
        {"told 7.5 fps, the camera rises to 30 halfway", kNV12, 15, 1, 7.5, 7.5, 30, 0, 0, 8, {0, 7}},
        {"told 30 fps, the camera slows to 10 halfway", kNV12, 30, 1, 30, 30, 10, 0, 0, 4, {0, 2}},
        {"a 2 s stall", kNV12, 20, 2, 30, 30, 30, 3.01, 2, 8, {0, 3, 6}},
        {"a 3 s pause", kNV12, 20, 2, 30, 30, 30, 3.01, 3, 9, {0, 3, 6}},
        {"a 5 s stall", kNV12, 20, 2, 30, 30, 30, 1.01, 5, 7, {0, 3, 6}},
        {"two 1 s pauses", kNV12, 20, 2, 30, 30, 30, 1.01, 1, 6, {0, 3}, 0, -1, 3.51},
        {"a 2 s stall before the last frame", kNV12, 15, 1, 15, 15, 15, 5.9, 2.05, 8.01, {0, 3, 6}},
        {"7 fps keeping every second: 3.5 a second", kNV12, 20, 2, 7, 7, 7, 0, 0, 8, {0}},
        {"7 fps keeping every third: 2.33 a second", kNV12, 20, 3, 7, 7, 7, 0, 0, 8, {0}},
        // Its first frame after the restart shares a tick with the one before.
        {"told 15 fps, halving its rate and starting over 30 ms after a frame halfway", kNV12, 15, 1, 15, 15, 7.5, 0, 0,
         8, {0, 3, 6}, 0.030, 3.9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEnv env;
        LogCatcher log;
        const QString path = env.file("kept.mp4");
        ThreadVideo rec;
        ASSERT_TRUE(
            rec.startRecord(path, 1920, 1080, kRaw, c.pixFmt, c.fileFps, 1920, 1080, c.keepEvery, c.toldFps))
            << rec.lastError().toStdString();
        const auto frames = makeFrames(1920, 1080, 4, c.pixFmt);
        int sent = 0, kept = 0;
        double at = 0, firstKept = -1, lastKept = 0, fps = c.fpsBefore, lastAt = 0;
        bool restarted = false, missed = false;
        for (; at < c.seconds - 1e-9; at += 1.0 / fps) {
            fps = at < c.seconds / 2.0 ? c.fpsBefore : c.fpsAfter;
            if (c.restartAfter > 0 && !restarted && at >= c.seconds / 2.0) {
                restarted = true;
                at = lastAt + c.restartAfter;
            }
            lastAt = at;
            if (c.missedAt >= 0 && at >= c.missedAt && !missed) {
                missed = true;
                rec.countFramesMissed(1);
                ++sent; // the camera sent it
            }
            if ((at >= c.stallAt && at < c.stallAt + c.stallFor) ||
                (c.stallAgainAt >= 0 && at >= c.stallAgainAt && at < c.stallAgainAt + c.stallFor))
                continue; // the camera sends nothing
            ASSERT_TRUE(rec.waitForSpace(60000));
            const auto& f = frames[size_t(sent++) % frames.size()];
            if (rec.pushFrame(f.data(), int(f.size()), 0, 0, 100000 + std::llround(at * 1000))) {
                ++kept;
                lastKept = at;
                if (firstKept < 0)
                    firstKept = at;
            }
        }
        stopAndWait(rec);
        const ProbeResult r = probeVideo(path);
        ASSERT_TRUE(r.ok) << r.errors.toStdString();
        const double rate = std::min<double>(c.fileFps, c.toldFps / c.keepEvery);
        EXPECT_NEAR(r.frames, std::lround((lastKept - firstKept) * rate) + 1, 1) << "one picture a tick";
        const RecordingEnd end = recordingEnd(log.lines().filter(path));
        const QStringList faults = constantRateFaults(path, rate, end);
        EXPECT_TRUE(faults.isEmpty()) << faults.join("; ").toStdString();
        const bool whole = rate >= 5 && rate == std::round(rate);
        const QVector<double> bits = videoBitsEachSecond(path);
        for (int s = 1; s < bits.size() && whole; ++s)
            EXPECT_LE(bits[s], 13.2e6) << "second " << s;
        {
            // No picture before a gap carries its bits: none but a key frame is
            // three times its share of 12 Mbit/s.
            QProcess p;
            p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size,flags", "-of",
                                "csv=p=0", path});
            ASSERT_TRUE(p.waitForFinished(60000));
            std::vector<int> plain;
            for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
                if (line.contains(',') && !line.split(',')[1].contains('K'))
                    plain.push_back(line.split(',')[0].toInt());
            ASSERT_FALSE(plain.empty());
            for (size_t i = 0; i < plain.size(); ++i)
                EXPECT_LT(plain[i], 3 * 12e6 / 8 / rate) << "picture " << i;
        }
        // Each key frame is the first frame at or after its time.
        const QVector<double> keys = keyFrameTimes(path);
        EXPECT_EQ(keys.size(), int(c.keys.size())) << "key frames at " << QStringList([&] {
            QStringList t;
            for (const double k : keys)
                t << QString::number(k);
            return t;
        }()).join(" ").toStdString();
        for (int k = 0; k < std::min<int>(keys.size(), int(c.keys.size())); ++k)
            EXPECT_NEAR(keys[k], c.keys[size_t(k)] + 0.5 / rate, 0.5 / rate + 0.002) << "key frame " << k;
        EXPECT_EQ(end.pictures + end.leftOut, kept);
        EXPECT_EQ(end.sent(), sent) << "the end counts add up to the frames sent";
    }
}

TEST(ThreadVideo, LastPictureLastsUntilTheStopWhenTheEncoderIsBehind) {
    // A camera at the file's rate, offered faster than the encoder takes the
    // frames: once one is dropped for a full queue the recording stops. The
    // file lasts until that last frame's tick is over, as the recording did.
    TestEnv env;
    LogCatcher log;
    const QString path = env.file("behind.mp4");
    const auto frames = makeFrames(1280, 720, 3, kNV12);
    ThreadVideo rec;
    rec.setQueueCapacity(2);
    ASSERT_TRUE(rec.startRecord(path, 1280, 720, kRaw, kNV12, 10, 1280, 720, 1));
    const int64_t t0 = 100000;
    EXPECT_TRUE(rec.pushFrame(frames[0].data(), int(frames[0].size()), 0, 0, t0));
    // On the tick of the first: the newer of the two holds it.
    EXPECT_TRUE(rec.pushFrame(frames[1].data(), int(frames[1].size()), 0, 0, t0 + 10));
    int last = 0;
    for (int i = 1; i < 2000 && rec.droppedFrames() == 0; ++i) {
        const auto& f = frames[size_t(i) % frames.size()];
        rec.pushFrame(f.data(), int(f.size()), 0, 0, t0 + 100 * i);
        last = i;
    }
    ASSERT_GT(rec.droppedFrames(), 0) << "the encoder never fell behind";
    stopAndWait(rec);
    const ProbeResult r = probeVideo(path);
    ASSERT_TRUE(r.ok) << r.errors.toStdString();
    EXPECT_NEAR(r.duration, (last + 1) * 0.1, 0.01) << "last frame offered at tick " << last;
    // The end of the recording says what was left out.
    const QString said = log.lines().filter(path).join("\n");
    EXPECT_TRUE(said.contains(QString("%1 dropped").arg(rec.droppedFrames()))) << said.toStdString();
    EXPECT_TRUE(said.contains(QString("%1 left out").arg(rec.framesOverRate()))) << said.toStdString();
    EXPECT_EQ(rec.framesOverRate(), 1);
}

TEST(ThreadVideo, StopRacingFramesStillFinishesTheFile) {
    TestEnv env;
    const auto frames = makeFrames(320, 240, 2, kNV12);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const QString path = env.file(QString("race%1.mp4").arg(round));
        ThreadVideo rec;
        ASSERT_TRUE(rec.startRecord(path, 320, 240, kRaw, kNV12, 20, 320, 240, 1));
        std::atomic<int> queued{0};
        std::atomic<bool> started{false};
        std::thread pusher([&] {
            for (int i = 0; i < 2000 && rec.state() == ThreadVideo::StateRecording; ++i) {
                const auto& f = frames[size_t(i) % frames.size()];
                if (rec.pushFrame(f.data(), int(f.size())))
                    ++queued;
                if (i == round)
                    started = true;
            }
            started = true;
        });
        while (!started)
            std::this_thread::yield();
        rec.stopRecord();
        pusher.join();
        ASSERT_TRUE(rec.wait(120000));
        EXPECT_EQ(rec.state(), ThreadVideo::StateFinished);
        EXPECT_EQ(rec.framesEncoded(), queued.load());
        const ProbeResult r = probeVideo(path);
        if (queued > 0) {
            ASSERT_TRUE(r.ok) << r.errors.toStdString();
            EXPECT_EQ(r.frames, queued.load());
            EXPECT_EQ(decodeErrors(path), "");
        }
    }
}

TEST(ThreadVideo, DestroyingWhileRecordingFinishesTheFile) {
    TestEnv env;
    const QString path = env.file("destroyed.mp4");
    {
        ThreadVideo rec;
        ASSERT_TRUE(rec.startRecord(path, 320, 240, kRaw, kNV12, 20, 320, 240, 1));
        pushAll(rec, makeFrames(320, 240, 2, kNV12), 25, 20);
    }
    const ProbeResult r = probeVideo(path);
    ASSERT_TRUE(r.ok) << r.errors.toStdString();
    EXPECT_EQ(r.frames, 25);
    EXPECT_EQ(decodeErrors(path), "");
}

TEST(ThreadVideo, DiskSpaceRule) {
    const qint64 MiB = 1024 * 1024;
    EXPECT_FALSE(isFreeSpaceEnough(100 * MiB));
    EXPECT_FALSE(isFreeSpaceEnough(101 * MiB - 1));
    EXPECT_TRUE(isFreeSpaceEnough(101 * MiB));
    EXPECT_FALSE(isFreeSpaceEnough(0));
    EXPECT_FALSE(isDiskSpaceEnough("/no/such/volume/here/video.mp4"));
    TestEnv env;
    QStorageInfo here(env.path());
    EXPECT_EQ(isDiskSpaceEnough(env.file("video.mp4")), isFreeSpaceEnough(here.bytesAvailable()));
}

// ---- cut-short recordings, in a child process -------------------------------

// Run only as the child of the tests below (the environment says what to do).
// "kill": records until two fragments are on disk, reports the count and
// waits to be killed. "full": records under a small file-size limit until
// writing fails, then reports how the recorder ended.
TEST(RecorderChild, DISABLED_Run) {
    const QByteArray mode = qgetenv("SEVRIN_RECORDER_CHILD");
    const QString path = QString::fromUtf8(qgetenv("SEVRIN_RECORDER_FILE"));
    if (mode.isEmpty() || path.isEmpty())
        GTEST_SKIP();
    if (mode == "full") {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = rlim_t(qgetenv("SEVRIN_RECORDER_LIMIT").toLongLong());
        struct rlimit rl = {limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
    }
    const bool fullHd = mode == "livefullhd" || mode == "refused";
    const int w = fullHd ? 1920 : 640, h = fullHd ? 1080 : 360;
    const auto frames = makeFrames(w, h, 4, kNV12);
    ThreadVideo rec;
    std::atomic<bool> endedByItself{false};
    QObject::connect(&rec, &ThreadVideo::endedByItself, [&] { endedByItself = true; });
    if (mode == "refused")
        rec.setQueueCapacity(1000);
    ASSERT_TRUE(rec.startRecord(path, w, h, kRaw, kNV12, 20, w, h, 1));
    std::printf("STARTED\n");
    std::fflush(stdout);
    if (mode == "refused") {
        // Two seconds encoded first, so that the encoder holds what it works
        // with; then a queue allowed more than the system gives: 300 frames
        // at once with room for about 64.
        for (int i = 0; i < 340; ++i) {
            if (i == 40) {
                while (rec.pendingFrames() > 0)
                    QThread::msleep(5);
                ASSERT_TRUE(limitAddressSpace(200ull << 20));
            }
            if (i < 40)
                rec.waitForSpace(60000);
            rec.pushFrame(frames[size_t(i) % 4].data(), int(frames[0].size()), 0, 0, 100000 + 50 * i);
        }
        rec.stopRecord();
    }
    if (mode == "live" || mode == "livefullhd") {
        // A camera at 20 frames per second on its own clock, until killed:
        // each frame carries the time it was due, and one this loop comes
        // too late for is replaced by the newest (as a driver drops a frame
        // no buffer was free for), so the recorder gets a camera's frames
        // however fast the machine runs this loop. Each frame offered is
        // reported, with what the recorder has on disk, what still waits
        // for the encoder and what it dropped while the encoder was behind.
        const int64_t start = ThreadVideo::monotonicMs();
        for (int64_t due = 0, offered = 0;; ++due) {
            const int64_t now = ThreadVideo::monotonicMs();
            if (now < start + due * 50)
                QThread::msleep(unsigned(start + due * 50 - now));
            else
                due = (now - start) / 50;
            const auto& f = frames[size_t(offered) % frames.size()];
            rec.pushFrame(f.data(), int(f.size()), 0, 0, start + due * 50);
            ++offered;
            std::printf("OFFERED %lld\nSTATE %lld %lld %d %d\n", static_cast<long long>(offered),
                        static_cast<long long>(offered), static_cast<long long>(rec.framesOnDisk()),
                        rec.pendingFrames(), rec.droppedFrames());
            std::fflush(stdout);
        }
    }
    int pushed = 0;
    while (pushed < 2000 && rec.state() == ThreadVideo::StateRecording) {
        if (mode == "kill" && rec.framesOnDisk() >= 40)
            break;
        if (!rec.waitForSpace(60000))
            break;
        const auto& f = frames[size_t(pushed) % frames.size()];
        rec.pushFrame(f.data(), int(f.size()));
        ++pushed;
    }
    if (mode == "kill") {
        // Let the encoder take what it was given; only the recording thread
        // writes, and it then waits for more, so nothing reaches the file
        // between the report and the kill.
        while (rec.pendingFrames() > 0)
            QThread::msleep(5);
        std::printf("ONDISK %lld\n", static_cast<long long>(rec.framesOnDisk()));
        std::fflush(stdout);
        for (;;)
            pause();
    }
    rec.wait();
    std::printf("FINISHED ok=%d ondisk=%lld byitself=%d error=%s\n", rec.lastError().isEmpty() ? 1 : 0,
                static_cast<long long>(rec.framesOnDisk()), endedByItself.load() ? 1 : 0, qPrintable(rec.lastError()));
    std::fflush(stdout);
}

namespace {

QProcess* startChild(const QString& mode, const QString& path, qint64 limit = 0) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SEVRIN_RECORDER_CHILD", mode);
    env.insert("SEVRIN_RECORDER_FILE", path);
    env.insert("SEVRIN_RECORDER_LIMIT", QString::number(limit));
    p->setProcessEnvironment(env);
    p->start(QFile::symLinkTarget("/proc/self/exe"),
             {"--gtest_filter=RecorderChild.DISABLED_Run", "--gtest_also_run_disabled_tests"});
    return p;
}

// The rest of the child's first complete output line that contains `key`.
QString childValue(QProcess* p, const QString& key, int timeoutMs) {
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const bool running = p->state() != QProcess::NotRunning;
        out += p->readAllStandardOutput();
        const int end = out.lastIndexOf('\n');
        for (const QByteArray& raw : out.left(end < 0 ? 0 : end).split('\n')) {
            const QString line = QString::fromUtf8(raw);
            const int at = line.indexOf(key);
            if (at >= 0)
                return line.mid(at + key.size());
        }
        if (!running || deadline.hasExpired())
            return QString();
        p->waitForReadyRead(100);
    }
}

} // namespace

TEST(ThreadVideo, KilledRecordingStaysPlayableToItsLastFragment) {
    TestEnv env;
    const QString path = env.file("killed.mp4");
    std::unique_ptr<QProcess> child(startChild("kill", path));
    const QString onDisk = childValue(child.get(), "ONDISK ", 120000);
    ASSERT_FALSE(onDisk.isEmpty()) << child->readAllStandardError().toStdString();
    child->kill(); // SIGKILL: no trailer, no flush, no destructor
    child->waitForFinished(10000);
    EXPECT_EQ(child->exitStatus(), QProcess::CrashExit);

    const int frames = onDisk.trimmed().toInt();
    EXPECT_GE(frames, 40);
    const ProbeResult r = probeVideo(path);
    ASSERT_TRUE(r.ok) << r.errors.toStdString();
    EXPECT_EQ(r.codec, "h264");
    EXPECT_EQ(r.width, 640);
    EXPECT_EQ(r.frames, frames);
    EXPECT_EQ(decodeErrors(completeFragmentsCopy(path, path + ".whole.mp4")), "");
}

namespace {

// What a live recording child last reported: frames offered, frames on
// disk, frames still waiting for the encoder, frames dropped while it was
// behind ("STATE" lines).
struct LiveState {
    qint64 offered = 0, onDisk = 0, pending = 0, dropped = 0;
    QByteArray partial;
    void read(QProcess* child, int waitMs) {
        child->waitForReadyRead(waitMs);
        partial += child->readAllStandardOutput();
        const int end = partial.lastIndexOf('\n');
        for (const QByteArray& line : partial.left(end + 1).split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() == 5 && f[0] == "STATE") {
                offered = f[1].toLongLong();
                onDisk = f[2].toLongLong();
                pending = f[3].toLongLong();
                dropped = f[4].toLongLong();
            }
        }
        partial = partial.mid(end + 1);
    }
};

} // namespace

TEST(ThreadVideo, KillUnderLoadLosesAboutASecondAtMost) {
    // Every core this test may run on busy, a live 20 fps recording killed
    // five seconds in (later if the machine let it offer fewer than two
    // seconds of frames by then): the file plays and holds every frame the
    // recorder had on disk, and of what was offered it lacks at most about
    // the last second and what still waited for the encoder (a machine this
    // busy encodes slower than the camera sends).
    std::vector<std::unique_ptr<QProcess>> load;
    for (int i = 0; i < std::max(2, usableCores()); ++i) {
        load.push_back(std::make_unique<QProcess>());
        load.back()->start("sh", {"-c", "while :; do :; done"});
    }
    TestEnv env;
    const QString path = env.file("killedlive.mp4");
    std::unique_ptr<QProcess> child(startChild("live", path));
    LiveState state;
    QDeadlineTimer fiveSeconds(5000);
    QDeadlineTimer patience(120000);
    while (!patience.hasExpired() && (!fiveSeconds.hasExpired() || state.offered < 40))
        state.read(child.get(), 50);
    child->kill();
    child->waitForFinished(10000);
    for (auto& l : load)
        l->kill();
    for (auto& l : load)
        l->waitForFinished(5000);
    ASSERT_GT(state.offered, 10); // a loaded machine offers fewer than 100
    const ProbeResult r = probeVideo(path);
    ASSERT_TRUE(r.ok) << r.errors.toStdString();
    EXPECT_GE(r.frames, state.onDisk);
    // 20 frames a second, plus slack. Frames dropped while the encoder was
    // behind were lost before the kill, and said so.
    EXPECT_GE(qMax(qint64(r.frames), state.onDisk) + state.pending + state.dropped, state.offered - 24)
        << "offered " << state.offered << ", in the file " << r.frames << ", pending " << state.pending
        << ", dropped " << state.dropped;
    EXPECT_EQ(decodeErrors(completeFragmentsCopy(path, path + ".whole.mp4")), "");
}

TEST(ThreadVideo, KilledFullHdRecordingLosesAtMostASecond) {
    // A full-HD recording of a 20 fps camera killed one and three seconds
    // after it started (later, if no fragment had reached the disk by then):
    // the file plays and holds every frame the recorder had on disk, and of
    // the frames offered, those neither on disk nor still waiting for the
    // encoder (a busy machine encodes slower than the camera sends) are at
    // most the last second's and those in the encoder's hands: fragments go
    // to the disk as they are made (a recorder that kept them back for more
    // than two seconds fails).
    for (const double killAfter : {1.0, 3.0}) {
        SCOPED_TRACE(killAfter);
        TestEnv env;
        const QString path = env.file("killedfullhd.mp4");
        std::unique_ptr<QProcess> child(startChild("livefullhd", path));
        ASSERT_FALSE(childValue(child.get(), "STARTED", 120000).isNull()) << child->readAllStandardError().toStdString();
        QElapsedTimer since;
        since.start();
        LiveState state;
        while ((since.nsecsElapsed() < qint64(killAfter * 1e9) || state.onDisk == 0) && since.elapsed() < 120000)
            state.read(child.get(), 20);
        const qint64 offered = state.offered, onDisk = state.onDisk, pending = state.pending,
                     dropped = state.dropped;
        child->kill();
        child->waitForFinished(10000);
        ASSERT_GT(onDisk, 0) << "no fragment on disk after " << since.elapsed() << " ms";
        const ProbeResult r = probeVideo(path);
        ASSERT_TRUE(r.ok) << r.errors.toStdString();
        EXPECT_GE(r.frames, onDisk);
        // Slack: a second of frames, and as many again that the encoder's
        // threads are working on (handed over, not yet a fragment). Frames
        // dropped while the encoder was behind were lost before the kill.
        EXPECT_GE(onDisk + pending + dropped, offered - 40)
            << "offered " << offered << ", on disk " << onDisk << ", pending " << pending << ", dropped " << dropped;
        EXPECT_EQ(decodeErrors(completeFragmentsCopy(path, path + ".whole.mp4")), "");
    }
}

TEST(ThreadVideo, FramesTheSystemHasNoMemoryForAreDroppedAndTold) {
    if (const char* why = addressLimitUntestable())
        GTEST_SKIP() << why;
    TestEnv env;
    const QString path = env.file("refused.mp4");
    std::unique_ptr<QProcess> child(startChild("refused", path));
    const QString report = childValue(child.get(), "FINISHED ", 120000);
    ASSERT_TRUE(child->waitForFinished(60000));
    const QString told = child->readAllStandardError();
    ASSERT_TRUE(report.startsWith("ok=1")) << report.toStdString() << told.toStdString();
    EXPECT_TRUE(told.contains("no memory for more frames waiting")) << told.toStdString();
    EXPECT_EQ(probeVideo(path).frames, report.section("ondisk=", 1).section(' ', 0, 0).toInt());
}

TEST(ThreadVideo, FullDiskBeforeTheFirstFragmentLeavesNoFile) {
    TestEnv env;
    const QString path = env.file("fullearly.mp4");
    std::unique_ptr<QProcess> child(startChild("full", path, 4096));
    const QString report = childValue(child.get(), "FINISHED ", 120000);
    ASSERT_FALSE(report.isEmpty()) << child->readAllStandardError().toStdString();
    child->waitForFinished(60000);
    EXPECT_TRUE(report.startsWith("ok=0")) << report.toStdString();
    EXPECT_FALSE(QFile::exists(path)); // a header alone plays nowhere
}

TEST(ThreadVideo, FullDiskEndsTheRecordingWithAPlayableFile) {
    TestEnv env;
    const QString path = env.file("full.mp4");
    const qint64 limit = 3 * 1024 * 1024;
    std::unique_ptr<QProcess> child(startChild("full", path, limit));
    const QString report = childValue(child.get(), "FINISHED ", 120000);
    ASSERT_FALSE(report.isEmpty()) << child->readAllStandardError().toStdString();
    child->waitForFinished(60000);
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(report.startsWith("ok=0")) << report.toStdString();
    EXPECT_TRUE(report.contains("writing")) << report.toStdString();
    EXPECT_TRUE(report.contains("byitself=1")) << report.toStdString(); // whoever shows it running is told
    const int frames = report.section("ondisk=", 1).section(' ', 0, 0).toInt();
    EXPECT_GT(frames, 0);
    EXPECT_LE(QFileInfo(path).size(), limit);
    const ProbeResult r = probeVideo(path);
    ASSERT_TRUE(r.ok) << r.errors.toStdString();
    EXPECT_EQ(r.frames, frames);
    EXPECT_EQ(decodeErrors(path), "");
    // The end of the recording counts the frames the file holds.
    const QStringList said = QString::fromUtf8(child->readAllStandardError()).split('\n');
    const RecordingEnd end = recordingEnd(said);
    ASSERT_TRUE(end.ok) << said.join("\n").toStdString();
    EXPECT_EQ(end.ticks, r.frames);
}
