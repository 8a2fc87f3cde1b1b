#pragma once

#include <QColor>
#include <QImage>
#include <QVector>

#include <cstdint>
#include <vector>

// Camera-like frames for the decoder, recorder and snapshot tests and the
// recorder benchmark: a procedural specimen or colour bars, converted to the
// raw formats USB cameras send (BT.601 limited-range NV12 and YUYV, JPEG with
// 4:2:0 or 4:2:2 sampling) and to the BGR rows network cameras deliver.
namespace FrameSynth {

// Eight vertical bars of barColours(), RGB888.
QImage colourBars(int width, int height);
const QVector<QColor>& barColours();
// Grid, circles, fine texture and a mark that moves with t. RGB888.
QImage specimen(int width, int height, int t);

std::vector<uint8_t> toNV12(const QImage& rgb);
std::vector<uint8_t> toYUYV(const QImage& rgb);
std::vector<uint8_t> toBGR(const QImage& rgb);
// One JPEG image; sub422 picks 4:2:2 sampling instead of 4:2:0.
std::vector<uint8_t> toJpeg(const QImage& rgb, int quality = 90, bool sub422 = false);
// One JPEG image with the given libjpeg-turbo sampling (TJSAMP_444, _422,
// _420, _440...).
std::vector<uint8_t> toJpegSampled(const QImage& rgb, int quality, int tjSampling);

// Horizontal bands `band` rows high in the colours of rowColours(), cycling:
// a picture whose colour changes from row to row. RGB888.
QImage rowBands(int width, int height, int band);
const QVector<QColor>& rowColours();

} // namespace FrameSynth
