#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>

// Packing of 24-bit BGR pictures into the raw frame formats USB cameras send.
// NV12 and YUYV use BT.601 limited range (luma 16-235, chroma 16-240), the
// encoding of uncompressed UVC frames; JPEG frames are full range, as the JPEG
// standard has them. Chroma is the mean over each 2x2 (NV12) or 2x1 (YUYV)
// block. Pure functions, any thread.
namespace YuvPack {

// Bytes of one frame: NV12 w*h*3/2, YUYV w*h*2; 0 for other codes (MJPG varies).
size_t rawFrameBytes(int pixelFormat, int width, int height);

// bgr: CV_8UC3 with even width and height; dst holds rawFrameBytes bytes.
void bgrToNv12(const cv::Mat& bgr, uint8_t* dst);
void bgrToYuyv(const cv::Mat& bgr, uint8_t* dst);

// One baseline JPEG image (4:2:0, or 4:2:2 when chroma422), quality 1-100.
QByteArray bgrToJpeg(const cv::Mat& bgr, int quality, bool chroma422);

// BT.601 limited-range luma and chroma of one colour (for tests and overlays).
void rgbToYuv601(int r, int g, int b, uint8_t& y, uint8_t& u, uint8_t& v);

} // namespace YuvPack
