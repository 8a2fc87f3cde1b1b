#pragma once

#include <cstdint>
#include <functional>

struct AVFrame;
struct SwsContext;

// One libswscale conversion to a fixed output size and pixel format, rebuilt
// whenever the source size or format changes (a camera may switch its JPEG
// sampling, or a frame of another size may arrive). JPEG's full-range YUV is
// read as full range without the deprecated "yuvj" formats, so colours come
// out right and swscale stays quiet. Not thread-safe: one owner thread.
class FrameScaler {
public:
    FrameScaler(int dstWidth, int dstHeight, int dstFormat, int flags);
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Converts src into the planes dst/dstStride (of the output size). With
    // `stop` it converts in strips of kStripRows source rows and asks it
    // between strips; once it answers true the conversion ends half-way (dst
    // partly written). False when stopped, or when the conversion cannot be
    // set up or fails.
    static constexpr int kStripRows = 128;
    bool scale(const AVFrame* src, uint8_t* const dst[], const int dstStride[],
               const std::function<bool()>& stop = {});

private:
    bool prepare(int width, int height, int format, bool fullRange);

    SwsContext* m_ctx = nullptr;
    int m_dstWidth, m_dstHeight, m_dstFormat, m_flags;
    int m_srcWidth = -1, m_srcHeight = -1, m_srcFormat = -1;
    bool m_srcFull = false;
};
