// The snapshot decoder: raw NV12, YUYV and JPEG frames to RGB.

#include "camera/ThreadAVPacket.h"

#include "camera/BaseCamera.h"

#include "FrameSynth.h"
#include "tests/support/TestTools.h"

#include <QSemaphore>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

struct Result {
    std::vector<uint8_t> rgb;
    int width = 0, height = 0, calls = 0;
};

ThreadAVPacket::Completion keepInto(Result& r, bool take = true) {
    return [&r, take](const uint8_t* rgb, int w, int h, bool& used) {
        r.rgb.assign(rgb, rgb + size_t(w) * h * 3);
        r.width = w;
        r.height = h;
        ++r.calls;
        used = take;
    };
}

void expectBars(const Result& r, int tolerance) {
    ASSERT_EQ(r.calls, 1);
    ::expectBars(r.rgb.data(), r.width, r.height, FrameSynth::barColours(), tolerance);
}

// Decodes one frame on the decoder's own thread.
Result decode(ThreadAVPacket& d, const std::vector<uint8_t>& frame) {
    Result r;
    EXPECT_TRUE(d.pushPacket(frame.data(), int(frame.size()), keepInto(r)));
    EXPECT_TRUE(d.wait(30000));
    return r;
}

} // namespace

TEST(ThreadAVPacket, DecodesEachCameraFormatToItsColours) {
    const QImage bars = FrameSynth::colourBars(640, 480);
    struct Case {
        const char* name;
        int pixelFormat;
        std::vector<uint8_t> frame;
        int tolerance;
    };
    const Case cases[] = {
        {"NV12", PixFmtNV12, FrameSynth::toNV12(bars), 4},
        {"YUYV", PixFmtYUYV, FrameSynth::toYUYV(bars), 4},
        {"MJPG 4:2:0", PixFmtMJPG, FrameSynth::toJpeg(bars, 95, false), 6},
        {"MJPG 4:2:2", PixFmtMJPG, FrameSynth::toJpeg(bars, 95, true), 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadAVPacket d;
        ASSERT_TRUE(d.initDecoder(640, 480, c.pixelFormat));
        EXPECT_TRUE(d.isReusable()); // a new decoder is free
        const Result r = decode(d, c.frame);
        EXPECT_EQ(r.width, 640);
        EXPECT_EQ(r.height, 480);
        expectBars(r, c.tolerance);
        EXPECT_TRUE(d.isUsed());
        EXPECT_FALSE(d.lastJobFailed());
        EXPECT_TRUE(d.isReusable());
        // Reused for a second frame of the same camera.
        expectBars(decode(d, c.frame), c.tolerance);
    }
}

TEST(ThreadAVPacket, UnexpectedFormatIsTakenAsJpeg) {
    ThreadAVPacket d;
    ASSERT_TRUE(d.initDecoder(800, 600, 99));
    EXPECT_EQ(d.codecId(), 7);            // MJPEG
    EXPECT_EQ(d.inputPixelFormat(), 12);  // full-range YUV 4:2:0
    EXPECT_EQ(d.announcedSize(), QSize(3840, 2160));
    const Result r = decode(d, FrameSynth::toJpeg(FrameSynth::colourBars(800, 600), 95));
    EXPECT_EQ(r.width, 800);
    expectBars(r, 6);
    // A real 4K JPEG decodes too, scaled to the decoder's picture size.
    const Result big = decode(d, FrameSynth::toJpeg(FrameSynth::colourBars(3840, 2160), 90));
    EXPECT_EQ(big.width, 800);
    EXPECT_EQ(big.height, 600);
    expectBars(big, 6);
    // The table's own formats.
    ThreadAVPacket nv12, yuyv;
    ASSERT_TRUE(nv12.initDecoder(64, 64, PixFmtNV12));
    ASSERT_TRUE(yuyv.initDecoder(64, 64, PixFmtYUYV));
    EXPECT_EQ(nv12.codecId(), 13);
    EXPECT_EQ(nv12.inputPixelFormat(), 23);
    EXPECT_EQ(yuyv.inputPixelFormat(), 1);
    EXPECT_FALSE(ThreadAVPacket().initDecoder(0, 480, PixFmtNV12));
}

TEST(ThreadAVPacket, BadFramesFailWithoutPictureAndTheDecoderRecovers) {
    const auto good = FrameSynth::toJpeg(FrameSynth::colourBars(320, 240), 95);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + 40);
    // Cut inside the scan: the decoder reports the damage instead of a picture.
    std::vector<uint8_t> cutScan(good.begin(), good.begin() + long(good.size() * 6 / 10));
    std::vector<uint8_t> noise(4000, 0x33);
    for (const auto* bad : {&truncated, &cutScan, &noise}) {
        ThreadAVPacket d;
        ASSERT_TRUE(d.initDecoder(320, 240, PixFmtMJPG));
        Result r;
        std::atomic<int> failures{0};
        ASSERT_TRUE(d.pushPacket(bad->data(), int(bad->size()), keepInto(r), [&] { ++failures; }));
        ASSERT_TRUE(d.wait(30000));
        EXPECT_EQ(r.calls, 0);
        EXPECT_FALSE(d.isUsed());
        EXPECT_TRUE(d.lastJobFailed());
        EXPECT_EQ(failures.load(), 1);
        // Not lost to the pool: the next good frame decodes.
        ASSERT_TRUE(d.isReusable());
        expectBars(decode(d, good), 6);
    }
    // A raw frame shorter than its size fails the same way.
    ThreadAVPacket raw;
    ASSERT_TRUE(raw.initDecoder(320, 240, PixFmtNV12));
    auto shortFrame = FrameSynth::toNV12(FrameSynth::colourBars(320, 240));
    shortFrame.resize(shortFrame.size() / 2);
    Result r = decode(raw, shortFrame);
    EXPECT_EQ(r.calls, 0);
    EXPECT_TRUE(raw.lastJobFailed());
}

TEST(ThreadAVPacket, WorksOnItsOwnCopyOfTheFrame) {
    // The camera reuses its ring slot at once; the decoder must not care.
    ThreadAVPacket d;
    ASSERT_TRUE(d.initDecoder(640, 480, PixFmtNV12));
    auto slot = FrameSynth::toNV12(FrameSynth::colourBars(640, 480));
    QSemaphore entered, proceed;
    Result r;
    auto inner = keepInto(r);
    ASSERT_TRUE(d.pushPacket(slot.data(), int(slot.size()), [&](const uint8_t* rgb, int w, int h, bool& used) {
        inner(rgb, w, h, used);
        entered.release();
        proceed.acquire();
    }));
    std::memset(slot.data(), 0, slot.size());
    entered.acquire();
    // While a job runs the decoder takes no other.
    EXPECT_FALSE(d.isReusable());
    EXPECT_FALSE(d.pushPacket(slot.data(), int(slot.size()), keepInto(r)));
    proceed.release();
    ASSERT_TRUE(d.wait(30000));
    expectBars(r, 4);
}

TEST(ThreadAVPacket, PictureNotTakenKeepsTheDecoderOutOfThePool) {
    ThreadAVPacket d;
    ASSERT_TRUE(d.initDecoder(320, 240, PixFmtNV12));
    const auto frame = FrameSynth::toNV12(FrameSynth::colourBars(320, 240));
    Result r;
    ASSERT_TRUE(d.pushPacket(frame.data(), int(frame.size()), keepInto(r, false)));
    ASSERT_TRUE(d.wait(30000));
    EXPECT_EQ(r.calls, 1);
    EXPECT_FALSE(d.isUsed());
    EXPECT_FALSE(d.lastJobFailed());
    EXPECT_FALSE(d.isReusable());
}

TEST(ThreadAVPacket, APushTheSystemRefusesLeavesTheDecoderFree) {
    // The system refuses the packet's copy (256 MB under a limit that leaves
    // room for a thread and 8 MB), or the thread's stack (a 115 kB frame
    // under a limit that leaves 1 MB): the push fails, nothing runs, and the
    // decoder is free. With room for a thread it takes the next frame as if
    // the refused one had never come.
    if (const char* why = addressLimitUntestable())
        GTEST_SKIP() << why;
    struct Case {
        const char* name;
        int bytes; // 0: the frame's own
        bool roomForThread;
        const char* says;
    };
    const Case cases[] = {
        {"copy refused", 256 << 20, true, "free"},
        {"thread refused", 0, false, "Thread creation error.*free"},
    };
    // A fresh process for each: a forked one would inherit the stacks of
    // threads that earlier tests ended, and the thread would take one of
    // those instead of asking the system.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                ThreadAVPacket d;
                const auto frame = FrameSynth::toNV12(FrameSynth::colourBars(320, 240));
                if (!d.initDecoder(320, 240, PixFmtNV12) ||
                    !limitAddressSpace(c.roomForThread ? threadStackBytes() + (8ull << 20) : 1ull << 20))
                    std::_Exit(2);
                Result r;
                const bool pushed = d.pushPacket(frame.data(), c.bytes ? c.bytes : int(frame.size()), keepInto(r));
                if (pushed || !d.isReusable() || !d.wait(1000) || r.calls != 0)
                    std::_Exit(3);
                if (c.roomForThread &&
                    (!d.pushPacket(frame.data(), int(frame.size()), keepInto(r)) || !d.wait(30000) || r.calls != 1))
                    std::_Exit(4);
                std::fprintf(stderr, "free\n");
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0), c.says);
    }
}

TEST(ThreadAVPacket, ACancelEndsOnlyTheJobItCameFor) {
    // A camera that closes ends a conversion nobody takes; the decoder's next
    // job, once it is reused, gives its picture as ever.
    const auto frame = FrameSynth::toNV12(FrameSynth::colourBars(640, 480));
    ThreadAVPacket d;
    ASSERT_TRUE(d.initDecoder(640, 480, PixFmtNV12));
    d.cancel();
    expectBars(decode(d, frame), 4);
    EXPECT_FALSE(d.lastJobFailed());
}
