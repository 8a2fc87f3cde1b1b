// The read timeout of a capture handle: a poll reports "no frame" without
// waiting, a stalled camera costs a read no more than its timeout, and the
// handle from the device list carries the timeout to the device it opens.
#include "platform/CaptureDevice.h"
#include "platform/SimUsbCamera.h"
#include "platform/SleepClock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Reader {
    std::vector<uint8_t> buf = std::vector<uint8_t>(1920 * 1080 * 2);
    bool read(CaptureDevice& dev) {
        int bytes = 0, w = 0, h = 0;
        return dev.readRaw(buf.data(), buf.size(), bytes, w, h);
    }
};

class CaptureReadTimeout : public ::testing::Test {
protected:
    void SetUp() override { SimUsbBus::instance()->configure("1:fps=30:timeout=250"); }
    void TearDown() override { SimUsbBus::instance()->configure(QString()); }
};

TEST_F(CaptureReadTimeout, StalledCameraWaitsOnlyTheTimeoutSet) {
    SleepClock::FakeTime clock;
    auto dev = CaptureDevice::create();
    dev->setReadTimeout(0); // before open: the router hands it on
    ASSERT_TRUE(dev->open(0));
    SimUsbBus::instance()->cameras()[0]->setStalled(true);
    Reader r;
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(r.read(*dev));
    EXPECT_EQ(clock.sleptMs(), 0u);
    dev->setReadTimeout(2);
    EXPECT_FALSE(r.read(*dev));
    EXPECT_EQ(clock.sleptMs(), 2u);
    dev->setReadTimeout(-1); // the camera's own again
    EXPECT_FALSE(r.read(*dev));
    EXPECT_EQ(clock.sleptMs(), 252u);
}

TEST_F(CaptureReadTimeout, PollTakesFramesAsTheyComeAndNeverWaits) {
    SleepClock::FakeTime clock;
    SimCaptureDevice dev(SimUsbBus::instance()->cameras()[0]);
    ASSERT_TRUE(dev.open(0));
    dev.setReadTimeout(0);
    Reader r;
    int frames = 0;
    // 16 ms passes over one second of a 30 fps camera: each frame once.
    for (int pass = 0; pass < 63; ++pass) {
        frames += r.read(dev) ? 1 : 0;
        clock.advance(16);
    }
    EXPECT_EQ(clock.sleepCount(), 0);
    EXPECT_GE(frames, 30);
    EXPECT_LE(frames, 31);
}

} // namespace
