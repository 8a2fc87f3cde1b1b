#pragma once

#include <QByteArray>
#include <QColor>
#include <QVector>

#include <opencv2/core.hpp>

// Test pictures with known colours: eight vertical bars (75 % colour bars),
// each a whole number of 16-pixel blocks wide so chroma blocks never straddle
// two bars.
namespace ColourBars {

QVector<QColor> colours();
// BGR picture of the bars; width a multiple of 128.
cv::Mat picture(int width, int height);
// The picture as a raw frame of the given pixel-format code (6, 15, 22); for
// 15 a JPEG at quality 100, 4:2:2 when chroma422.
QByteArray frame(int pixelFormat, int width, int height, bool chroma422 = false);
// Centre x of bar i on a picture drawn `drawnWidth` wide starting at x0.
int barCentre(int i, double x0, double drawnWidth);
// Largest channel difference between two colours.
int colourDistance(QRgb a, const QColor& b);

} // namespace ColourBars
