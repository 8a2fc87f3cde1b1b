#pragma once

#include <QImage>
#include <QString>

#include <opencv2/core.hpp>

// Flat-field correction of stitching frames: a per-pixel gain that brightens
// each pixel towards the brightness at the picture's centre.
namespace FlatFieldGain {

// The gain picture of an evenly lit empty field: CV_8UC1 of the frame's size,
// each value G = round(max(0, m / g - 1) x 100) limited to 255, where g is
// the pixel's grey value and m the integer mean grey of the 11 x 11 pixels
// around the centre (clipped to the picture). Black pixels get 0. Accepts any
// QImage format; an empty image gives an empty matrix.
cv::Mat computeGainPicture(const QImage& field);

// The gain table the hub keeps: CV_32FC1, each entry G / 100 (the same table
// the hub builds when it loads the picture at start-up).
cv::Mat gainTable(const cv::Mat& gainPicture);

// Writes the gain picture as an 8-bit grey BMP (UTF-8 path), creating its
// folder when missing. False when the picture is empty or cannot be written.
// *why (when given) says why the write failed, in the hub's language.
bool save(const cv::Mat& gainPicture, const QString& path, QString* why = nullptr);

// Corrects an RGB888 frame in place: each channel v becomes
// min(255, trunc(v + v x gain)). Frames of another size or format, or an
// empty table, are left unchanged and give false.
bool apply(QImage* rgbFrame, const cv::Mat& table);

// Same for an 8-bit three-channel matrix.
bool apply(cv::Mat* frame, const cv::Mat& table);

} // namespace FlatFieldGain
