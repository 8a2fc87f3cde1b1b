// Register reads of the USB microscope cameras through the V4L2 backend while
// the stream starts: after an open, a size change and a format change the
// capture thread waits inside the camera's first frame (here a simulated
// camera standing in for OpenCV's capture, with its stall switch on). A read
// then answers with the camera's own value or -1 (no answer), never with
// the echo of its own request, and a model's full read (what the parameter
// panel shows after Sync) keeps the values it knew instead of echoes.
#include "tests/platform/SimV4l2Stream.h"

#include "camera/UVCCamera.h"
#include "camera/UvcModels.h"
#include "camera/UvcRegisterChannel.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"
#include "platform/UvcRegisters.h"
#include "platform/V4l2CaptureDevice.h"
#include "tests/support/TestEnv.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

enum class Restart { Open, Size, Format };

const char* restartName(Restart r) {
    switch (r) {
    case Restart::Open: return "after open";
    case Restart::Size: return "after a size change";
    default: return "after a format change";
    }
}

struct RegisterReads : public ::testing::TestWithParam<Restart>, public StallableSimCamera {
    void TearDown() override { CaptureDevice::setFactory({}); }
    // A device opened on the camera, its stream stalled in the first frame
    // after `how`.
    std::unique_ptr<V4l2CaptureDevice> stalledDevice(Restart how) {
        auto dev = std::make_unique<V4l2CaptureDevice>(0, simStreams(sim, stall));
        EXPECT_TRUE(dev->open(0));
        stallStreamStart(*dev, how);
        return dev;
    }
    bool grabBlocked() {
        std::lock_guard<std::mutex> l(stall->lock);
        return stall->blockedGrabs > 0;
    }
    // Leaves the capture thread waiting inside the stalled first frame of a
    // stream that `how` (re)started.
    void stallStreamStart(CaptureDevice& dev, Restart how) {
        std::vector<uint8_t> buf(size_t(4096) * 3072 * 2);
        int bytes = 0, w = 0, h = 0;
        dev.setReadTimeout(1);
        if (how != Restart::Open) {
            // A running stream first.
            ASSERT_TRUE(waitUntil([&] { return dev.readRaw(buf.data(), buf.size(), bytes, w, h); }, 20000));
        }
        stall->set(true);
        if (how == Restart::Size) {
            dev.set(CaptureProp::FrameWidth, 1920);
            dev.set(CaptureProp::FrameHeight, 1080);
        } else if (how == Restart::Format) {
            dev.selectPixelFormat(sim->pixelFormat() == 6 ? 22 : 6);
        }
        dev.readRaw(buf.data(), buf.size(), bytes, w, h); // frames wanted
        ASSERT_TRUE(waitUntil([&] { return grabBlocked(); }, 20000)) << "the stream never started";
    }
    // Lets the camera send again and waits for the stream's first frame.
    void letItStream(CaptureDevice& dev) {
        stall->set(false);
        std::vector<uint8_t> buf(size_t(4096) * 3072 * 2);
        int bytes = 0, w = 0, h = 0;
        dev.setReadTimeout(50);
        ASSERT_TRUE(waitUntil([&] { return dev.readRaw(buf.data(), buf.size(), bytes, w, h); }, 20000));
    }
};

const int kRegisters[] = {UvcReg::Gain,     UvcReg::Target,       UvcReg::Saturation, UvcReg::Sharpness,
                          UvcReg::Hdr,      UvcReg::Contrast,     UvcReg::Mono,       UvcReg::Mirror,
                          UvcReg::AutoExposure, UvcReg::ExposureType, UvcReg::CameraMode, UvcReg::Purple};

} // namespace

TEST_P(RegisterReads, AnswerIsTheCamerasOwnValueOrNone) {
    SleepClock::FakeTime clock;
    auto dev = stalledDevice(GetParam());
    UvcRegisterChannel channel(dev.get());
    const auto start = std::chrono::steady_clock::now();
    for (int reg : kRegisters) {
        const int answer = channel.read(reg);
        EXPECT_TRUE(answer == sim->reg(reg) || answer == -1)
            << restartName(GetParam()) << ": register " << reg << " read " << answer << ", the camera holds "
            << sim->reg(reg);
    }
    for (int s : {0, 1, 2}) {
        const int answer = channel.readSelector(s);
        EXPECT_TRUE(answer == sim->selector(s) || answer == -1)
            << restartName(GetParam()) << ": selector " << s << " read " << answer << ", the camera holds "
            << sim->selector(s);
    }
    // The interface does not sit out the stream's start: fifteen reads took
    // three seconds when each waited for it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << restartName(GetParam());
    EXPECT_TRUE(grabBlocked()); // all of it inside the stall
    letItStream(*dev);
    // Once the stream runs, reads answer again, and with the camera's values.
    for (int reg : kRegisters)
        EXPECT_EQ(channel.read(reg), sim->reg(reg)) << restartName(GetParam()) << ": register " << reg;
    dev->release();
}

// A write made during the start reaches the camera, and a read after it
// answers the written value, not an older one.
TEST_P(RegisterReads, WriteDuringTheStartIsReadBackOnceTheStreamRuns) {
    SleepClock::FakeTime clock;
    auto dev = stalledDevice(GetParam());
    UvcRegisterChannel channel(dev.get());
    const int before = sim->reg(UvcReg::Gain);
    const int wanted = before == 40 ? 41 : 40;
    channel.write(UvcReg::Gain, wanted);
    const int during = channel.read(UvcReg::Gain);
    EXPECT_TRUE(during == -1 || during == wanted || during == before) << during;
    letItStream(*dev);
    EXPECT_EQ(channel.read(UvcReg::Gain), wanted);
    EXPECT_EQ(sim->reg(UvcReg::Gain), wanted);
    dev->release();
}

// What the panel shows after Sync: the model's full read during the start
// leaves every value the camera was known to hold.
TEST_P(RegisterReads, SyncDuringTheStartShowsNoEcho) {
    TestEnv env;
    SleepClock::FakeTime clock;
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);
    auto makeStreams = simStreams(sim, stall);
    CaptureDevice::setFactory([makeStreams] { return std::make_unique<V4l2CaptureDevice>(0, makeStreams); });
    std::unique_ptr<UVCCamera> cam(UvcModels::openModel(14, 0, UvcModels::offeredFormat(14, sim->reg(UvcReg::Firmware))));
    ASSERT_TRUE(cam);
    cam->syncParams(); // the capture thread is idle: the camera answers
    QList<QList<int>> known;
    for (int key = 0; key <= CtlExposureType; ++key)
        known << cam->paramRange(key);
    ASSERT_EQ(known[CtlRedGain].value(2), sim->selector(0));
    stallStreamStart(*cam->capture(), GetParam());
    cam->syncParams();
    for (int key = 0; key <= CtlExposureType; ++key)
        EXPECT_EQ(cam->paramRange(key), known[key]) << restartName(GetParam()) << ": control " << key;
    stall->set(false);
    cam.reset();
}

INSTANTIATE_TEST_SUITE_P(StreamStarts, RegisterReads, ::testing::Values(Restart::Open, Restart::Size, Restart::Format),
                         [](const ::testing::TestParamInfo<Restart>& info) {
                             switch (info.param) {
                             case Restart::Open: return std::string("AfterOpen");
                             case Restart::Size: return std::string("AfterSizeChange");
                             default: return std::string("AfterFormatChange");
                             }
                         });
