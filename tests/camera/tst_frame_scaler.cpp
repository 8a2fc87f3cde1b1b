// The snapshot decoder's conversion to RGB: done in row strips, so that a
// camera that closes can end a 4K conversion whose picture would be thrown
// away, and a conversion that runs to its end gives what one whole-picture
// conversion gives.

#include "camera/FrameScaler.h"

#include "FrameSynth.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

// A 4K NV12 frame: colour bars with noise, so that every row differs.
std::vector<uint8_t> noisyFrame() {
    std::vector<uint8_t> nv12 = FrameSynth::toNV12(FrameSynth::colourBars(kWidth, kHeight));
    std::mt19937 rng(7);
    for (uint8_t& b : nv12)
        b = uint8_t(std::min(235, std::max(16, int(b) + int(rng() % 21) - 10)));
    return nv12;
}

struct Frame {
    AVFrame* f = av_frame_alloc();
    explicit Frame(std::vector<uint8_t>& nv12) {
        f->width = kWidth;
        f->height = kHeight;
        f->format = AV_PIX_FMT_NV12;
        f->data[0] = nv12.data();
        f->data[1] = nv12.data() + size_t(kWidth) * kHeight;
        f->linesize[0] = f->linesize[1] = kWidth;
    }
    ~Frame() { av_frame_free(&f); }
};

// The whole picture in one libswscale call, as the decoder converts
// (bicubic, limited-range BT.601 in).
std::vector<uint8_t> wholeConversion(const AVFrame* f) {
    SwsContext* ctx = sws_getContext(kWidth, kHeight, AV_PIX_FMT_NV12, kWidth, kHeight, AV_PIX_FMT_RGB24,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr);
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    uint8_t* dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {kWidth * 3, 0, 0, 0};
    EXPECT_EQ(sws_scale(ctx, f->data, f->linesize, 0, kHeight, dst, stride), kHeight);
    sws_freeContext(ctx);
    return rgb;
}

} // namespace

TEST(FrameScaler, AStopIsSeenBetweenRowStripsAndAWholeRunGivesTheWholeConversion) {
    std::vector<uint8_t> nv12 = noisyFrame();
    const Frame frame(nv12);
    const std::vector<uint8_t> whole = wholeConversion(frame.f);
    std::vector<uint8_t> rgb(whole.size());
    uint8_t* dst[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int stride[4] = {kWidth * 3, 0, 0, 0};
    // One scaler for every try: a conversion left half-way must not spoil
    // the next one.
    FrameScaler scaler(kWidth, kHeight, AV_PIX_FMT_RGB24, SWS_BICUBIC);
    int stops = 0;
    for (int stopAt : {1, 2, 5, 9, 1000}) {
        SCOPED_TRACE(stopAt);
        int asked = 0, askedAfterStop = 0;
        std::memset(rgb.data(), 0x5a, rgb.size());
        const bool done = scaler.scale(frame.f, dst, stride, [&] {
            askedAfterStop += asked >= stopAt;
            return ++asked >= stopAt;
        });
        EXPECT_EQ(askedAfterStop, 0);
        if (!done) {
            ++stops;
            continue;
        }
        // Past the last question: asked between strips of at most 256 rows.
        EXPECT_GE(asked, kHeight / 256 - 1);
        EXPECT_EQ(std::memcmp(rgb.data(), whole.data(), whole.size()), 0);
    }
    EXPECT_EQ(stops, 4);
    // Without a question, the same picture.
    std::memset(rgb.data(), 0x5a, rgb.size());
    ASSERT_TRUE(scaler.scale(frame.f, dst, stride));
    EXPECT_EQ(std::memcmp(rgb.data(), whole.data(), whole.size()), 0);
}
