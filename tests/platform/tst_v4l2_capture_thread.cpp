// The V4L2 backend's own logic on a simulated camera standing in for
// OpenCV's capture: it passes the capture conformance checks, and no read or
// control on the interface thread waits for a camera that stalls (first
// frame after open, after a size or format change, after a reopen), while
// broken backends fail that check.
#include "CaptureConformance.h"
#include "SimV4l2Stream.h"

#include "platform/SimUsbCamera.h"
#include "platform/V4l2CaptureDevice.h"
#include "tests/support/TestTools.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <optional>
#include <string>
#include <thread>

namespace {

struct V4l2OnSim : public ::testing::Test, public StallableSimCamera {
    std::unique_ptr<V4l2CaptureDevice> device() { return std::make_unique<V4l2CaptureDevice>(0, simStreams(sim, stall)); }
    // A read into a buffer that holds any frame of the models.
    bool read(CaptureDevice& dev) { return dev.readRaw(buf.data(), buf.size(), bytes, w, h); }
    std::vector<uint8_t> buf = std::vector<uint8_t>(size_t(3840) * 2160 * 2);
    int bytes = 0, w = 0, h = 0;
};

// Ignores the read timeout: waits until a frame comes, as a blocking grab does.
class BlockingReadCapture : public SimCaptureDevice {
public:
    using SimCaptureDevice::SimCaptureDevice;
    bool readRaw(uint8_t* buf, size_t capacity, int& bytes, int& width, int& height) override {
        setReadTimeout(20);
        while (isOpened() && !SimCaptureDevice::readRaw(buf, capacity, bytes, width, height)) {
        }
        return isOpened();
    }
};

} // namespace

TEST_F(V4l2OnSim, PassesTheCaptureConformanceChecks) {
    auto dev = device();
    const QStringList failures = captureConformance(*dev, 0);
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
}

TEST_F(V4l2OnSim, NoReadOrControlWaitsForAStalledCamera) {
    auto dev = device();
    const QStringList failures = stallConformance(*dev, 0, [this](bool on) { stall->set(on); });
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
}

TEST_F(V4l2OnSim, SimulatedBackendPassesTheStallCheck) {
    SimCaptureDevice dev(sim);
    const QStringList failures = stallConformance(dev, 0, [this](bool on) { sim->setFramesPerSecond(on ? 0.001 : 0); });
    EXPECT_TRUE(failures.isEmpty()) << failures.join("; ").toStdString();
}

TEST_F(V4l2OnSim, BackendThatWaitsForFramesFailsTheStallCheck) {
    BlockingReadCapture dev(sim);
    const QStringList failures = stallConformance(dev, 0, [this](bool on) { sim->setFramesPerSecond(on ? 0.001 : 0); });
    EXPECT_FALSE(failures.isEmpty());
}

TEST_F(V4l2OnSim, UnpluggedCameraIsOpenedAgainOffTheInterfaceThread) {
    auto dev = device();
    ASSERT_TRUE(dev->open(0));
    dev->setReadTimeout(1);
    std::vector<uint8_t> buf(size_t(3840) * 2160 * 2);
    int bytes = 0, w = 0, h = 0;
    ASSERT_TRUE(waitUntil([&] { return dev->readRaw(buf.data(), buf.size(), bytes, w, h); }));
    // The capture thread takes a frame through the whole time the camera is
    // away (a loaded machine): plugged back meanwhile, it is still a camera
    // that went, and its handle fails.
    stall->takeMs = 1500;
    ASSERT_TRUE(waitUntil([&] { return dev->readRaw(buf.data(), buf.size(), bytes, w, h); }));
    ASSERT_TRUE(SimUsbBus::instance()->unplug(sim->name()));
    // Reads fail and return at once while it is gone (once a frame taken
    // before is handed out).
    stall->set(true); // plugged back, its first frame will stall
    dev->setReadTimeout(300); // longer than a frame of a plugged camera takes
    ASSERT_TRUE(waitUntil([&] { return !dev->readRaw(buf.data(), buf.size(), bytes, w, h); }));
    dev->setReadTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(dev->readRaw(buf.data(), buf.size(), bytes, w, h));
    ASSERT_TRUE(SimUsbBus::instance()->plug(sim->name()));
    // The capture thread opens it again and waits inside the stalled first
    // frame; reads meanwhile still come back.
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> l(stall->lock);
        return stall->blockedGrabs > 0;
    }));
    auto read = std::async(std::launch::async, [&] { return dev->readRaw(buf.data(), buf.size(), bytes, w, h); });
    ASSERT_EQ(read.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_FALSE(read.get());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    stall->takeMs = 0;
    stall->set(false);
    EXPECT_TRUE(waitUntil([&] { return dev->readRaw(buf.data(), buf.size(), bytes, w, h); }));
    dev->release();
}

// The interface loop rests between passes on the camera's own frame arrival
// (so a frame is shown as soon as it comes, not at the next step): a wait
// ends with true once the capture thread has a frame the next poll takes,
// and with false, at its timeout, while the camera sends nothing.
TEST_F(V4l2OnSim, RestEndsWhenAFrameArrives) {
    auto dev = device();
    ASSERT_TRUE(dev->open(0));
    dev->setReadTimeout(0);
    std::vector<uint8_t> buf(size_t(3840) * 2160 * 2);
    int bytes = 0, w = 0, h = 0;
    ASSERT_TRUE(waitUntil([&] { return dev->readRaw(buf.data(), buf.size(), bytes, w, h); }));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(dev->waitFrame(5000)) << "frame " << i;
        EXPECT_TRUE(dev->readRaw(buf.data(), buf.size(), bytes, w, h)) << "frame " << i;
    }
    const int polls = stall->stalledPolls;
    stall->set(true);
    // Once the capture thread has met the stall, the frames it grabbed
    // before are taken first (a grab under way may finish after the switch).
    ASSERT_TRUE(waitUntil([&] { return stall->stalledPolls > polls; }));
    while (dev->waitFrame(200) && dev->readRaw(buf.data(), buf.size(), bytes, w, h)) {
    }
    EXPECT_FALSE(dev->waitFrame(100));
    EXPECT_FALSE(dev->readRaw(buf.data(), buf.size(), bytes, w, h));
    stall->set(false);
    EXPECT_TRUE(dev->waitFrame(5000));
    dev->release();
    EXPECT_FALSE(dev->waitFrame(10)); // a released device has nothing to wait for
}

// A frame the capture thread took that no read took before a newer one came
// is counted as missed by the read that follows: the recorder reports them
// as frames that never reached it.
TEST_F(V4l2OnSim, FramesNoReadTookAreCounted) {
    auto dev = device();
    ASSERT_TRUE(dev->open(0));
    dev->setReadTimeout(5000);
    ASSERT_TRUE(waitUntil([&] { return read(*dev); }));
    const uint64_t missedBefore = dev->framesMissed();
    const int first = sim->framesDelivered(); // the frame read came no later
    ASSERT_TRUE(waitUntil([&] { return sim->framesDelivered() >= first + 5; }));
    const int before = sim->framesDelivered();
    ASSERT_TRUE(read(*dev));
    const uint64_t missed = dev->framesMissed() - missedBefore;
    // Of the frames taken between the two reads (all that came by `before`
    // but the one on its way), all but the one read were missed; and never
    // more than came.
    EXPECT_GE(missed, uint64_t(before - first - 2));
    EXPECT_LE(missed, uint64_t(sim->framesDelivered() - first));
    dev->release();
}

// One core, a real-time policy: the capture thread takes a step above the
// process, but a camera that always has a frame ready (here: made when
// asked) must not keep the core from the process's other threads. A reader
// at the process's own priority still gets frames; this thread watches from
// above both.
TEST_F(V4l2OnSim, ACameraAlwaysReadyLeavesTheProcessItsCore) {
    sched_param watch{}, own{}, fair{};
    watch.sched_priority = 20;
    own.sched_priority = 10;
    if (sched_setscheduler(0, SCHED_RR, &watch) != 0)
        GTEST_SKIP() << "no real-time policy for this user";
    std::optional<OnOneCore> pin(std::in_place);
    ASSERT_TRUE(pin->ok());
    std::atomic<int> reads{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        sched_setscheduler(0, SCHED_RR, &own);
        auto dev = device(); // its capture thread starts at the reader's priority
        dev->setReadTimeout(100);
        if (dev->open(0))
            while (!done)
                reads += read(*dev) ? 1 : 0;
        dev->release();
    });
    const bool readTen = waitUntil([&] { return reads >= 10; }, 10000);
    stall->set(true); // the capture thread waits: the reader ends either way
    done = true;
    reader.join();
    sched_setscheduler(0, SCHED_OTHER, &fair);
    pin.reset();
    EXPECT_TRUE(readTen) << reads.load() << " frames read in 10 s";
}

// A stream's first frame may take seconds (here: stalled): the rate the
// driver states is known meanwhile, for a recording started then.
TEST_F(V4l2OnSim, StatedRateIsKnownBeforeTheFirstFrame) {
    sim->setFramesPerSecond(7.5);
    stall->set(true);
    auto dev = device();
    ASSERT_TRUE(dev->open(0));
    dev->setReadTimeout(0);
    EXPECT_FALSE(read(*dev)); // asks for frames
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> l(stall->lock);
        return stall->blockedGrabs == 1;
    }));
    EXPECT_EQ(dev->frameRate(), 7.5);
    stall->set(false);
    dev->release();
}

// The rate asked of a V4L2 camera is the camera's: the spacing of its
// frames' capture times, following a change of the camera's rate, and
// started over at a size change (until the new stream's frames come, at
// most the rate the driver states). Also when
// the capture thread takes longer for a frame than the camera's interval (a
// loaded machine): the frames it took show the camera's interval, not its
// own pace. Rows: how long the reader takes for a frame, in ms.
struct V4l2FrameRate : public V4l2OnSim, public ::testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(ReaderCost, V4l2FrameRate, ::testing::Values(0, 100, 150),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "takes" + std::to_string(info.param) + "ms";
                         });

TEST_P(V4l2FrameRate, FollowsTheCaptureTimes) {
    stall->takeMs = GetParam();
    sim->setFramesPerSecond(7.5);
    auto dev = device();
    ASSERT_TRUE(dev->open(0));
    dev->setReadTimeout(0);
    auto rateNear = [&](double fps) {
        return waitUntil([&] {
            read(*dev);
            return std::abs(dev->frameRate() - fps) < fps * 0.02;
        });
    };
    EXPECT_TRUE(rateNear(7.5)) << dev->frameRate();
    sim->setFramesPerSecond(15);
    EXPECT_TRUE(rateNear(15)) << dev->frameRate();
    ASSERT_TRUE(dev->set(CaptureProp::FrameWidth, 1280));
    const double afterChange = dev->frameRate();
    // The measure of the old size's frames, none yet, or what the driver
    // states (7.5 since the open).
    EXPECT_TRUE(afterChange == 0 || afterChange == 15 || afterChange == 7.5) << afterChange;
    sim->setFramesPerSecond(7.5);
    EXPECT_TRUE(rateNear(7.5)) << dev->frameRate();
    // No capture thread runs on past its device, whatever frame it was in.
    dev.reset();
    EXPECT_EQ(stall.use_count(), 1) << "a capture thread outlived its device";
}
