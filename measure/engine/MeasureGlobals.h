#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>

class MeasureView;
class OzaMeasureSys;

// Process-wide state shared by the shapes, the containers and the overlay.
// GUI thread only.
//
// Image pixels: the full camera picture, y pointing up (y = 0 is the bottom
// row); every stored point uses them. View pixels: the overlay widget, y down.

extern float imageWidth;  // 1920 at start; 3840 in fast mode
extern float imageHeight; // 1080 at start; 2160 in fast mode
extern float viewWidth;   // 1920 at start
extern float viewHeight;  // 1080 at start

// Target of every repaint; null until the overlay registers itself.
extern MeasureView* measureView;
// Asked by the text mark for its text; empty answer = cancelled.
extern std::function<QString()> textInputCallback;
// The measurement system of the overlay (last one constructed); null without.
extern OzaMeasureSys* measureSys;
// Width of fifteen wide CJK characters and the height of the shape font.
extern int labelBoxWidth;
extern int labelBoxHeight;
// Label naming mode 0..4 (the "Graphics Mode" choice).
extern int labelStyle;
// Snapping switches; nothing in the program turns them on.
extern bool snapMode;
extern int snapDistance;

// Family name of every measurement label font (substituted by the bundled
// CJK font where the family is missing).
extern const QString measureFontFamily;

// View -> image: x = vx * imgW / viewW, y = imgH - vy * imgH / viewH, in
// double precision (an integer view point converts implicitly).
QPointF ViewToImage(const QPointF& view);
// Image -> view, rounded; (0, 0) while no measurement system is active.
QPoint ImageToView(const QPointF& image);
// Top-left corner through ImageToView; size unchanged.
QRect ImageRectToView(const QRect& image);
// ImageToView without looking for an active system.
QPoint ImageToViewDirect(const QPointF& image);
// Plain scaling without the y flip.
QPoint ImageToViewI(const QPoint& image);
// (x, imgH - y): top-down image pixels.
QPointF FlipImageY(const QPointF& image);
// A view length in image pixels; 0 below one view pixel.
float ViewToImageLength(int view);
