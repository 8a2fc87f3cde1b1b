#pragma once

#include <QByteArray>

#include <opencv2/core.hpp>

// Baseline JPEG pictures with a restart marker after every row of blocks, and
// the splicing of such pictures: rows of one picture put in place of the same
// rows of another of its width, without coding the whole picture again. A
// camera that changes only a strip of its picture (the simulated camera's
// moving mark) then codes that strip alone for each frame. Pure functions,
// any thread.
namespace JpegRows {

// Rows of pixels in one row of blocks: 16 for 4:2:0, 8 for 4:2:2.
int blockRowHeight(bool chroma422);

// `bgr` (CV_8UC3) as a JPEG of the quality (1-100) and chroma given, with a
// restart marker after each row of blocks; empty when the coder fails.
QByteArray encode(const cv::Mat& bgr, int quality, bool chroma422);

// `whole` with its rows of blocks from `firstRow` on replaced by those of
// `strip`: both from encode() with the same width, quality and chroma, the
// strip coding the whole picture's pixel rows from firstRow *
// blockRowHeight() on. Empty when either is not such a picture or the strip
// runs past the whole one.
QByteArray splice(const QByteArray& whole, const QByteArray& strip, int firstRow);

} // namespace JpegRows
