#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Repaint regions in view pixels. The Add* forms append to a list; the
// Update* forms repaint the registered view (measureView) at once and do
// nothing while none is registered.

// Square of side 2r centred on the point; r <= 0 gives the 300 x 300 box.
void AddPointRect(QList<QRect>& rects, const QPoint& at, int r);
void UpdatePointBox(const QPoint& at, int r);
QRect CenteredBox300(const QPoint& at);
// Box(es) covering a segment with a 10 px margin; long diagonal segments
// get a chain of boxes, one per 300 px of x.
void AddLineRects(QList<QRect>& rects, const QPoint& a, const QPoint& b);
void UpdateLineBox(const QPoint& a, const QPoint& b);
// The band round a rectangle's outline (or the whole grown rectangle when
// it is smaller than 31 px either way).
void UpdateLineBand(const QPoint& a, const QPoint& b);
// Strips round a circle outline leaving out its inner square.
void AddCircleRects(QList<QRect>& rects, const QPoint& centre, int r);
// Strips along the edges of a rectangle.
void AddRectEdgeRects(QList<QRect>& rects, const QRect& rect);
// A 10 px strip across the view along a horizontal or vertical line.
void AddHVLineRect(QList<QRect>& rects, bool horizontal, int pos);
QRect InflateRect10(const QRect& rect);
// A rectangle of `size` with its top-left at `anchor`, moved inside the view.
QRect ClampRectToView(const QPoint& anchor, const QSize& size);
void UpdateRects(const QList<QRect>& rects);
void UpdateViewRect(const QRect& rect);
void UpdateView();
