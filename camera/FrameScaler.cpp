#include "camera/FrameScaler.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// The "yuvj" formats only say "full range"; map them to the plain formats and
// carry the range separately.
AVPixelFormat plainFormat(AVPixelFormat f, bool& full) {
    switch (f) {
    case AV_PIX_FMT_YUVJ420P: full = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: full = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: full = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: full = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: full = true; return AV_PIX_FMT_YUV411P;
    default: return f;
    }
}

} // namespace

FrameScaler::FrameScaler(int dstWidth, int dstHeight, int dstFormat, int flags)
    : m_dstWidth(dstWidth), m_dstHeight(dstHeight), m_dstFormat(dstFormat), m_flags(flags) {}

FrameScaler::~FrameScaler() { sws_freeContext(m_ctx); }

bool FrameScaler::prepare(int width, int height, int format, bool fullRange) {
    if (m_ctx && width == m_srcWidth && height == m_srcHeight && format == m_srcFormat && fullRange == m_srcFull)
        return true;
    sws_freeContext(m_ctx);
    m_ctx = nullptr;
    m_srcWidth = width;
    m_srcHeight = height;
    m_srcFormat = format;
    m_srcFull = fullRange;
    bool full = fullRange;
    const AVPixelFormat src = plainFormat(AVPixelFormat(format), full);
    // The ranges go in before initialisation: a same-size YUV copy would
    // otherwise take a fast path that ignores them. Coefficients default to
    // BT.601, which cameras use.
    m_ctx = sws_alloc_context();
    if (!m_ctx)
        return false;
    av_opt_set_int(m_ctx, "srcw", width, 0);
    av_opt_set_int(m_ctx, "srch", height, 0);
    av_opt_set_int(m_ctx, "src_format", src, 0);
    av_opt_set_int(m_ctx, "dstw", m_dstWidth, 0);
    av_opt_set_int(m_ctx, "dsth", m_dstHeight, 0);
    av_opt_set_int(m_ctx, "dst_format", m_dstFormat, 0);
    av_opt_set_int(m_ctx, "sws_flags", m_flags, 0);
    av_opt_set_int(m_ctx, "src_range", full ? 1 : 0, 0);
    av_opt_set_int(m_ctx, "dst_range", 0, 0);
    if (sws_init_context(m_ctx, nullptr, nullptr) < 0) {
        sws_freeContext(m_ctx);
        m_ctx = nullptr;
        return false;
    }
    return true;
}

bool FrameScaler::scale(const AVFrame* src, uint8_t* const dst[], const int dstStride[],
                        const std::function<bool()>& stop) {
    if (!src || src->width <= 0 || src->height <= 0)
        return false;
    if (!prepare(src->width, src->height, src->format, src->color_range == AVCOL_RANGE_JPEG))
        return false;
    if (!stop)
        return sws_scale(m_ctx, src->data, src->linesize, 0, src->height, dst, dstStride) > 0;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(src->format));
    if (!desc)
        return false;
    // Strips of source rows, fed top to bottom: libswscale keeps what it
    // needs between them, and the result is the whole-picture conversion.
    int written = 0;
    for (int y = 0; y < src->height; y += kStripRows) {
        if (y > 0 && stop()) {
            // The conversion is left half-way: a fresh context starts the next.
            sws_freeContext(m_ctx);
            m_ctx = nullptr;
            m_srcWidth = -1;
            return false;
        }
        const uint8_t* strip[4] = {};
        for (int i = 0; i < 4 && src->data[i]; ++i) {
            const int rows = (i == 1 || i == 2) ? (y >> desc->log2_chroma_h) : y;
            strip[i] = src->data[i] + ptrdiff_t(rows) * src->linesize[i];
        }
        const int n = sws_scale(m_ctx, strip, src->linesize, y, std::min(kStripRows, src->height - y), dst,
                                dstStride);
        if (n < 0)
            return false;
        written += n;
    }
    return written > 0;
}
