// The simulated USB camera: configuration, frames in every format and size,
// the register and selector bank, visible effects of the controls, pacing
// and timeouts, plug control, the stage and the focus.
#include "platform/SimSpecimen.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"
#include "platform/YuvPack.h"
#include "tests/support/CvAllocationLog.h"
#include "tests/support/TestTools.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <turbojpeg.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

struct Frame {
    std::vector<uint8_t> data;
    int bytes = 0, width = 0, height = 0;
};

std::shared_ptr<SimUsbCamera> makeSim(int code, const QString& options = "fps=0") {
    SimUsbBus::instance()->configure(QString("%1:%2").arg(code).arg(options));
    return SimUsbBus::instance()->cameras().value(0);
}

// A simulated camera opened through a capture handle, at `size` when given.
struct OpenSim {
    std::shared_ptr<SimUsbCamera> sim;
    SimCaptureDevice dev;
    bool opened;
    explicit OpenSim(int code, const QString& options = "fps=0", QSize size = QSize())
        : sim(makeSim(code, options)), dev(sim), opened(dev.open(0)) {
        if (!size.isEmpty()) {
            dev.set(3, size.width());
            dev.set(4, size.height());
        }
    }
};

bool read(SimCaptureDevice& dev, Frame& f, size_t capacity = 4096 * 3072 * 2) {
    f.data.resize(capacity);
    return dev.readRaw(f.data.data(), capacity, f.bytes, f.width, f.height);
}

// The frame decoded to BGR (independent decoders: OpenCV for raw, imdecode for JPEG).
cv::Mat decode(const Frame& f, int format) {
    cv::Mat bgr;
    if (format == 22) {
        cv::Mat yuv(f.height * 3 / 2, f.width, CV_8UC1, const_cast<uint8_t*>(f.data.data()));
        cv::cvtColor(yuv, bgr, cv::COLOR_YUV2BGR_NV12);
    } else if (format == 6) {
        cv::Mat yuv(f.height, f.width, CV_8UC2, const_cast<uint8_t*>(f.data.data()));
        cv::cvtColor(yuv, bgr, cv::COLOR_YUV2BGR_YUYV);
    } else {
        bgr = cv::imdecode(cv::Mat(1, f.bytes, CV_8UC1, const_cast<uint8_t*>(f.data.data())), cv::IMREAD_COLOR);
    }
    return bgr;
}

cv::Scalar meanOf(const cv::Mat& bgr) { return cv::mean(bgr(cv::Rect(0, 0, bgr.cols, bgr.rows * 9 / 10))); }

double sharpness(const cv::Mat& bgr, const cv::Rect& r) {
    cv::Mat grey, lap;
    cv::cvtColor(bgr(r), grey, cv::COLOR_BGR2GRAY);
    cv::Laplacian(grey, lap, CV_64F);
    cv::Scalar m, s;
    cv::meanStdDev(lap, m, s);
    return s[0] * s[0];
}

void writeReg(SimCaptureDevice& dev, int r, int v) { dev.set(11, r * 256 + v); }
int readReg(SimCaptureDevice& dev, int r) {
    dev.set(11, r * 256 + 0xFF);
    return int(dev.get(11)) & 0xFF;
}

class SimCamera : public ::testing::Test {
protected:
    void TearDown() override { SimUsbBus::instance()->configure(QString()); }
};

} // namespace

TEST_F(SimCamera, EnvironmentListIsParsedWithOptions) {
    SimUsbBus::instance()->configure("3:fw=20:fps=12.5, 13 ,99,6:jpeg=422:id=7:timeout=40,14:fail=open");
    const auto cams = SimUsbBus::instance()->cameras();
    ASSERT_EQ(cams.size(), 4); // 99 is no camera code
    EXPECT_EQ(cams[0]->model().code, 3);
    EXPECT_EQ(cams[0]->options().firmware, 20);
    EXPECT_DOUBLE_EQ(cams[0]->options().fps, 12.5);
    EXPECT_EQ(cams[1]->name(), "Simulated Ambrel (vid_fea9&pid_5680)");
    EXPECT_TRUE(cams[2]->options().jpeg422);
    EXPECT_EQ(cams[2]->options().identification, 7);
    EXPECT_EQ(cams[2]->options().timeoutMs, 40);
    EXPECT_TRUE(cams[3]->options().failOpen);
    SimCaptureDevice failing(cams[3]);
    EXPECT_FALSE(failing.open(0));
}

TEST_F(SimCamera, FramesComeInEveryFormatAtEverySizeOfTheModels) {
    OpenSim rig(14);
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    sim->setMovingMark(false);
    for (const QSize size : {QSize(1920, 1080), QSize(2480, 2048), QSize(640, 360)}) {
        dev.set(3, size.width());
        dev.set(4, size.height());
        for (int format : {22, 6, 15}) {
            ASSERT_TRUE(dev.selectPixelFormat(format));
            Frame f;
            ASSERT_TRUE(read(dev, f));
            EXPECT_EQ(f.width, size.width());
            EXPECT_EQ(f.height, size.height());
            if (format == 22) {
                EXPECT_EQ(f.bytes, size.width() * size.height() * 3 / 2);
            } else if (format == 6) {
                EXPECT_EQ(f.bytes, size.width() * size.height() * 2);
            }
            const cv::Mat bgr = decode(f, format);
            ASSERT_EQ(bgr.cols, size.width());
            ASSERT_EQ(bgr.rows, size.height());
            // Every format shows the same picture.
            const cv::Mat truth = sim->currentPicture();
            cv::Mat diff;
            cv::absdiff(bgr, truth, diff);
            EXPECT_LT(cv::mean(diff)[1], 6.0) << format;
        }
    }
    // Four 4K raw frames held at once, let go, then a smaller size: every 4K
    // buffer goes (the four frames and their packing alone are 62 MB; 35 MB
    // went when the unused frame buffers stayed).
    dev.set(3, 3840);
    dev.set(4, 2160);
    dev.selectPixelFormat(22);
    Frame f;
    {
        std::vector<QByteArray> held(4);
        for (QByteArray& raw : held)
            ASSERT_TRUE(sim->takeFrame(raw, f.data.max_size(), f.bytes, f.width, f.height));
    }
    [[maybe_unused]] const size_t at4k = mallinfo2().uordblks + mallinfo2().hblkhd;
    dev.set(3, 640);
    dev.set(4, 360);
    ASSERT_TRUE(read(dev, f));
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // (A sanitizer's allocator keeps no C library counts.)
    EXPECT_GT(double(at4k) - double(mallinfo2().uordblks + mallinfo2().hblkhd), 80e6);
#endif
}

TEST_F(SimCamera, JpegChromaSubsamplingFollowsTheOption) {
    for (const bool chroma422 : {false, true}) {
        OpenSim rig(5, chroma422 ? "fps=0:jpeg=422" : "fps=0", QSize(640, 480));
        ASSERT_TRUE(rig.opened);
        auto sim = rig.sim;
        SimCaptureDevice& dev = rig.dev;
        dev.selectPixelFormat(15);
        Frame f;
        ASSERT_TRUE(read(dev, f));
        tjhandle tj = tjInitDecompress();
        int w = 0, h = 0, ss = -1, cs = -1;
        ASSERT_EQ(tjDecompressHeader3(tj, f.data.data(), f.bytes, &w, &h, &ss, &cs), 0);
        tjDestroy(tj);
        EXPECT_EQ(ss, chroma422 ? TJSAMP_422 : TJSAMP_420);
    }
}

TEST_F(SimCamera, RegisterReadAnswersTheLastRequestAndWritesStay) {
    OpenSim rig(3, "fps=0:fw=255");
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    EXPECT_EQ(readReg(dev, 0xFE), 100);
    EXPECT_EQ(readReg(dev, 0xFC), 255);
    EXPECT_EQ(readReg(dev, 0x09), 1); // auto exposure on at power-up
    writeReg(dev, 0x00, 42);
    EXPECT_EQ(readReg(dev, 0x00), 42);
    // The answer is the last request's, however many gets follow.
    dev.set(11, 0x05FF);
    EXPECT_EQ(int(dev.get(11)), 0x0500 + 114);
    EXPECT_EQ(int(dev.get(11)), 0x0500 + 114);
    // Selectors: 12-bit values.
    dev.set(32, 0x1000 + 4000);
    dev.set(32, 0x1FFF);
    EXPECT_EQ(int(dev.get(32)) & 0xFFF, 4000);
    EXPECT_EQ(sim->selector(1), 4000);
    // Commands: one-shot white balance restores neutral gains, reset restores the bank.
    dev.set(11, 0x0801);
    EXPECT_EQ(sim->selector(1), 358);
    writeReg(dev, 0x02, 7);
    dev.set(11, 0xF901);
    EXPECT_EQ(readReg(dev, 0x02), 90);
    EXPECT_EQ(readReg(dev, 0x00), 0);
}

TEST_F(SimCamera, TrafficLogHoldsEverySetAndGetInOrder) {
    OpenSim rig(14);
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    sim->clearTraffic();
    dev.set(11, 0x0701);
    dev.set(11, 0x07FF);
    dev.get(11);
    dev.set(33, -1);
    const QVector<SimTraffic> expected{{SimTraffic::Set, 11, 0x0701},
                                       {SimTraffic::Set, 11, 0x07FF},
                                       {SimTraffic::Get, 11, 0x0701},
                                       {SimTraffic::Set, 33, -1}};
    EXPECT_EQ(sim->traffic(), expected);
}

TEST_F(SimCamera, ControlsShowInThePicture) {
    OpenSim rig(14, "fps=0", QSize(640, 360));
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    sim->setMovingMark(false);
    const cv::Mat normal = sim->currentPicture();
    const cv::Scalar base = meanOf(normal);

    writeReg(dev, 0x00, 40); // gain doubles the brightness
    const cv::Scalar gained = meanOf(sim->currentPicture());
    EXPECT_GT(gained[1], base[1] * 1.3);
    writeReg(dev, 0x00, 0);

    writeReg(dev, 0x09, 0); // manual exposure, half the normal time
    dev.set(12, 16630 / 2);
    EXPECT_LT(meanOf(sim->currentPicture())[1], base[1] * 0.7);
    writeReg(dev, 0x09, 1);

    dev.set(32, 0x0000 + 1200); // red gain
    const cv::Scalar reddish = meanOf(sim->currentPicture());
    EXPECT_GT(reddish[2], base[2] * 1.3);
    EXPECT_NEAR(reddish[0], base[0], 2.0);
    dev.set(11, 0x0801);

    writeReg(dev, 0x06, 1); // black and white
    cv::Mat mono = sim->currentPicture(), channels[3];
    cv::split(mono, channels);
    EXPECT_EQ(cv::norm(channels[0], channels[2], cv::NORM_INF), 0.0);
    writeReg(dev, 0x06, 0);

    writeReg(dev, 0x07, 1); // mirror
    cv::Mat expected;
    cv::flip(normal, expected, 1);
    EXPECT_EQ(cv::norm(sim->currentPicture(), expected, cv::NORM_INF), 0.0);
    writeReg(dev, 0x07, 2); // flip
    cv::flip(normal, expected, 0);
    EXPECT_EQ(cv::norm(sim->currentPicture(), expected, cv::NORM_INF), 0.0);
}

TEST_F(SimCamera, InvertedMirrorModelShowsTheRightWayRoundWithBothBitsSet) {
    OpenSim rig(5, "fps=0", QSize(320, 240));
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    EXPECT_EQ(readReg(dev, 0x07), 3);
    const cv::Mat upright = sim->currentPicture();
    writeReg(dev, 0x07, 2); // bit 0 cleared: mirrored
    cv::Mat expected;
    cv::flip(upright, expected, 1);
    EXPECT_EQ(cv::norm(sim->currentPicture(), expected, cv::NORM_INF), 0.0);
}

TEST_F(SimCamera, ReadsArePacedAtTheFrameRate) {
    SleepClock::FakeTime clock;
    OpenSim rig(14, "fps=25", QSize(320, 240));
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    Frame f;
    ASSERT_TRUE(read(dev, f));
    const uint64_t t0 = clock.now();
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(read(dev, f));
    EXPECT_EQ(clock.now() - t0, 400u);
    // A reader that falls behind gets the newest frame at once.
    clock.advance(1000);
    const int slept = clock.sleepCount();
    ASSERT_TRUE(read(dev, f));
    EXPECT_EQ(clock.sleepCount(), slept);
}

TEST_F(SimCamera, StalledCameraTimesOut) {
    SleepClock::FakeTime clock;
    OpenSim rig(14, "fps=30:timeout=250");
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    sim->setStalled(true);
    Frame f;
    EXPECT_FALSE(read(dev, f));
    EXPECT_EQ(clock.sleptMs(), 250u);
    sim->setStalled(false);
    EXPECT_TRUE(read(dev, f));
}

TEST_F(SimCamera, APictureTheSystemRefusesMemoryForFailsTheReadAsATimeOutDoes) {
    // A 4K picture is drawn into some 25 MB; under an address-space limit
    // that leaves 8 MB the read fails, and the program reading it lives on.
    if (const char* why = addressLimitUntestable())
        GTEST_SKIP() << why;
    // A fresh process: a forked one would draw into the heap earlier tests
    // freed but kept mapped, which the limit leaves it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            OpenSim rig(14, "fps=0", QSize(3840, 2160));
            Frame f;
            f.data.resize(3840 * 2160 * 2);
            if (!rig.opened || !limitAddressSpace(8ull << 20))
                std::_Exit(2);
            const bool read = rig.dev.readRaw(f.data.data(), f.data.size(), f.bytes, f.width, f.height);
            std::fprintf(stderr, read ? "read\n" : "refused\n");
            std::_Exit(read ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "refused");
}

TEST_F(SimCamera, UnpluggedCameraFailsUntilPluggedBackWithItsDefaults) {
    OpenSim rig(14, "fps=0", QSize(320, 240));
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    writeReg(dev, 0x00, 30);
    ASSERT_TRUE(SimUsbBus::instance()->unplug(sim->name()));
    EXPECT_FALSE(SimUsbBus::instance()->unplug(sim->name()));
    Frame f;
    EXPECT_FALSE(read(dev, f));
    EXPECT_FALSE(dev.set(3, 640));
    SimCaptureDevice other(sim);
    EXPECT_FALSE(other.open(0));
    ASSERT_TRUE(SimUsbBus::instance()->plug(sim->name()));
    EXPECT_TRUE(read(dev, f));
    EXPECT_EQ(f.width, 320);
    EXPECT_EQ(readReg(dev, 0x00), 0); // power came back: defaults
}

TEST_F(SimCamera, WrongSizeFaultGivesFramesTheVideoWindowRejects) {
    OpenSim rig(14, "fps=0", QSize(320, 240));
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    sim->setWrongSizeFrames(true);
    Frame f;
    dev.selectPixelFormat(22);
    ASSERT_TRUE(read(dev, f));
    EXPECT_EQ(f.bytes, 320 * 240 * 3 / 2 - 320);
    dev.selectPixelFormat(15);
    ASSERT_TRUE(read(dev, f));
    EXPECT_EQ(decode(f, 15).cols, 160);
}

TEST_F(SimCamera, ASweepingCameraDrawsItsPicturesOffTheReadersThread) {
    // Every frame of a focus sweep is a new picture. Drawn inside the read, a
    // 4K picture would hold the reader (the interface thread) for a frame
    // time and more on busy cores; only the very first, with nothing drawn
    // ahead yet, may be.
    // Nor are the pictures made anew: drawn into the buffers of the ones
    // before, they leave the program's resident memory steady.
    CvAllocationLog log;
    OpenSim rig(4, "fps=0:tilt=0.005:sweep=0.5");
    ASSERT_TRUE(rig.opened);
    rig.sim->setMovingMark(false);
    std::set<std::string> pictures;
    Frame f;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    int made = 0;
    while (pictures.size() < 8 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(read(rig.dev, f));
        ASSERT_EQ(f.width, 3840);
        pictures.insert(std::string(reinterpret_cast<const char*>(f.data.data()), size_t(f.bytes)));
        if (pictures.size() == 4 && !made)
            made = log.made(cv::Size(3840, 2160), CV_8UC3);
    }
    ASSERT_EQ(pictures.size(), 8u) << "the sweep changes the picture";
    EXPECT_EQ(rig.sim->readerRenders(), 1);
    EXPECT_EQ(log.made(cv::Size(3840, 2160), CV_8UC3), made) << "4K pictures made after the fourth picture";
}

TEST_F(SimCamera, ADrawingAskedToStopEndsWithoutAPicture) {
    // A camera closing (the program ending) stops the picture it draws
    // ahead: it would be dropped, and it would hold a core meanwhile.
    SimSpecimen::View v;
    v.size = QSize(1280, 720);
    v.unitsPerPixel = 3.0;
    v.tilt = 0.005;
    v.focus = 10.0;
    const cv::Mat whole = SimSpecimen::render(v);
    int asked = 0;
    EXPECT_EQ(cv::norm(SimSpecimen::render(v, [&] { return ++asked < 0; }), whole, cv::NORM_INF), 0.0);
    const int pieces = asked;
    EXPECT_GE(pieces, 4);
    for (int stopAt = 1; stopAt <= pieces; ++stopAt) {
        int n = 0;
        EXPECT_TRUE(SimSpecimen::render(v, [&] { return ++n >= stopAt; }).empty()) << stopAt;
        EXPECT_EQ(n, stopAt) << "nothing is asked, nor drawn, after the stop";
    }
}

TEST_F(SimCamera, ADrawingThatKeepsItsScratchGivesThePictureDrawnAfresh) {
    // A sweep's drawing keeps the sharp specimen and the blurred bands of
    // the picture before. Each row draws with the Scratch the rows above
    // left, after a drawing of its view at a focus 5 further stopped at its
    // `stopAt`th ask (0: none), and must give the picture a drawing from
    // nothing gives.
    struct Row {
        const char* change;
        double focus, tilt, upp;
        QPointF offset;
        int stopAt;
    } const rows[] = {
        {"first", 9.6, 0.005, 3, {0, 0}, 0}, // blur level 4 at both edges: blurred as a whole
        {"focus", 8.0, 0.005, 3, {0, 0}, 0}, // the left bands keep level 4, now blurred as a part
        {"stage", 8.0, 0.005, 3, {150, -90}, 0},
        {"tilt", 8.0, -0.005, 3, {150, -90}, 0},
        {"flat", 4.0, 0.0, 3, {150, -90}, 0},
        {"scale", 4.0, 0.005, 2, {150, -90}, 0},
        {"stage, after a drawing stopped in the specimen", 6.0, 0.005, 2, {650, -90}, 2},
        {"focus, after a drawing stopped among the blurs", 9.0, 0.005, 2, {650, -90}, 3},
        {"flat in focus, the stage moved (drawn into the picture)", 0.0, 0.0, 2, {900, 40}, 0},
        {"back at the stage before, tilted", 9.0, 0.005, 2, {650, -90}, 0},
        {"flat in focus where the picture before was", 0.0, 0.0, 2, {650, -90}, 0},
    };
    SimSpecimen::Scratch scratch;
    cv::Mat picture;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        SimSpecimen::View v;
        v.size = QSize(1280, 720);
        v.unitsPerPixel = row.upp;
        v.offset = row.offset;
        v.tilt = row.tilt;
        if (row.stopAt > 0) {
            v.focus = row.focus + 5;
            int asked = 0;
            ASSERT_FALSE(SimSpecimen::renderInto(v, [&] { return ++asked >= row.stopAt; }, picture, scratch));
        }
        v.focus = row.focus;
        ASSERT_TRUE(SimSpecimen::renderInto(v, {}, picture, scratch));
        EXPECT_EQ(cv::norm(picture, SimSpecimen::render(v), cv::NORM_INF), 0.0);
    }
    // In the first row the first band's level reaches both edges: the band
    // is the sharp specimen blurred as one matrix, which OpenCV rounds
    // otherwise than a part of one.
    SimSpecimen::View v;
    v.size = QSize(1280, 720);
    v.unitsPerPixel = 3;
    cv::Mat whole;
    cv::GaussianBlur(SimSpecimen::render(v), whole, cv::Size(0, 0), 4, 0, cv::BORDER_REFLECT);
    v.tilt = 0.005;
    v.focus = 9.6;
    EXPECT_EQ(cv::norm(SimSpecimen::render(v).colRange(0, 32), whole.colRange(0, 32), cv::NORM_INF), 0.0);
}

TEST_F(SimCamera, ConsecutiveFramesDifferByTheMovingMark) {
    OpenSim rig(14, "fps=0", QSize(640, 360));
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    for (int format : {22, 15}) {
        dev.selectPixelFormat(format);
        Frame a, b;
        ASSERT_TRUE(read(dev, a));
        ASSERT_TRUE(read(dev, b));
        EXPECT_NE(a.data, b.data);
        cv::Mat da = decode(a, format), db = decode(b, format), diff;
        cv::absdiff(da(cv::Rect(0, 0, 640, 300)), db(cv::Rect(0, 0, 640, 300)), diff);
        EXPECT_LT(cv::mean(diff)[0], 0.5); // only the strip of the mark changes
    }
    // Every phase of the mark is the picture coded whole once, with the rows
    // of the mark coded alone: above them each frame decodes as the picture
    // coded whole by another coder does.
    const QByteArray whole = YuvPack::bgrToJpeg(sim->currentPicture(), 85, false);
    const cv::Mat plain =
        cv::imdecode(cv::Mat(1, whole.size(), CV_8UC1, const_cast<char*>(whole.data())), cv::IMREAD_COLOR);
    const int coded = sim->wholeJpegs();
    for (int k = 0; k < 17; ++k) {
        Frame f;
        ASSERT_TRUE(read(dev, f));
        cv::Mat diff;
        cv::absdiff(decode(f, 15)(cv::Rect(0, 0, 640, 320)), plain(cv::Rect(0, 0, 640, 320)), diff);
        EXPECT_EQ(cv::norm(diff, cv::NORM_INF), 0.0) << "frame " << k;
    }
    EXPECT_EQ(sim->wholeJpegs(), coded);
    // A sweeping camera draws none: a sweep too slow to show sends one frame twice.
    OpenSim sweeping(14, "fps=0:tilt=0.005:sweep=1e9", QSize(640, 360));
    ASSERT_TRUE(sweeping.opened);
    Frame a, b;
    ASSERT_TRUE(read(sweeping.dev, a));
    ASSERT_TRUE(read(sweeping.dev, b));
    EXPECT_TRUE(a.data == b.data);
}

TEST_F(SimCamera, StageOffsetMovesThePictureExactly) {
    OpenSim rig(14, "fps=0", QSize(1920, 1080)); // 2 specimen units per pixel on a 3840-wide sensor
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    sim->setMovingMark(false);
    const cv::Mat a = sim->currentPicture();
    sim->setStageOffset(QPointF(600, 200));
    const cv::Mat b = sim->currentPicture();
    // Picture b starts 300 pixels right and 100 down of a.
    const cv::Rect overlapA(300, 100, 1620, 980), overlapB(0, 0, 1620, 980);
    cv::Mat diff;
    cv::absdiff(a(overlapA), b(overlapB), diff);
    EXPECT_LT(cv::mean(diff)[0], 1.0);
    // The reusable renderer gives the same picture.
    SimSpecimen::View v;
    v.size = QSize(1920, 1080);
    v.unitsPerPixel = 2.0;
    v.offset = QPointF(600, 200);
    cv::absdiff(SimSpecimen::render(v), b, diff);
    EXPECT_EQ(cv::norm(diff, cv::NORM_INF), 0.0);
}

TEST_F(SimCamera, FocusBlursAndATiltedSpecimenIsSharpWhereItsDepthMatches) {
    SimSpecimen::View v;
    v.size = QSize(640, 360);
    v.unitsPerPixel = 2.0;
    const cv::Rect whole(0, 0, 640, 360);
    const double sharp = sharpness(SimSpecimen::render(v), whole);
    v.focus = 4;
    const double soft = sharpness(SimSpecimen::render(v), whole);
    v.focus = 12;
    const double softer = sharpness(SimSpecimen::render(v), whole);
    EXPECT_GT(sharp, soft * 2);
    EXPECT_GT(soft, softer);

    // Depth grows with x: at focus 0 the left is sharp, at focus 10 the right.
    v.tilt = 10.0 / 1280.0;
    const cv::Rect left(0, 0, 128, 360), right(512, 0, 128, 360);
    v.focus = 0;
    const cv::Mat nearFocus = SimSpecimen::render(v);
    v.focus = 10;
    const cv::Mat farFocus = SimSpecimen::render(v);
    EXPECT_GT(sharpness(nearFocus, left), sharpness(farFocus, left) * 2);
    EXPECT_GT(sharpness(farFocus, right), sharpness(nearFocus, right) * 2);

    // Through the camera: lens steps move the focus.
    OpenSim rig(13);
    ASSERT_TRUE(rig.opened);
    auto sim = rig.sim;
    SimCaptureDevice& dev = rig.dev;
    dev.set(11, 0x1701);
    dev.set(11, 0x1701);
    dev.set(11, 0x1801);
    EXPECT_DOUBLE_EQ(sim->focus(), 1.0);
}

TEST_F(SimCamera, DiscsOfTheSpecimenAreWhereTheQuerySaysAndClearOfTheGrid) {
    const QList<SimSpecimen::Disc> discs = SimSpecimen::discsIn(QRectF(0, 0, 3840, 2160));
    ASSERT_GE(discs.size(), 20);
    SimSpecimen::View v;
    v.size = QSize(1920, 1080);
    v.unitsPerPixel = 2.0;
    const cv::Mat img = SimSpecimen::render(v);
    for (const SimSpecimen::Disc& d : discs) {
        const double gx = std::fmod(d.centre.x(), SimSpecimen::kGridPitch);
        EXPECT_GT(std::min(gx, SimSpecimen::kGridPitch - gx), d.radius + SimSpecimen::kGridLineWidth / 2);
        const int px = int(d.centre.x() / 2), py = int(d.centre.y() / 2);
        if (px < 1920 && py < 1080) {
            const cv::Vec3b c = img.at<cv::Vec3b>(py, px);
            EXPECT_LE(std::abs(c[0] - d.bgr[0]) + std::abs(c[1] - d.bgr[1]) + std::abs(c[2] - d.bgr[2]), 3);
        }
    }
}
