#pragma once

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

class CCLBaseObject;
class QPainter;

// One description of a shape's picture, run either to paint it or to collect
// the view rectangles it covers, so that a repaint always reaches everything
// a paint put on the screen. Coordinates are view pixels; labels are
// anchored at image points. GUI thread only.
class ShapeSketch {
public:
    // Paints with the painter's current pen.
    explicit ShapeSketch(QPainter* painter);
    // Appends the covered rectangles; `penWidth` widens the marks that are
    // not covered by the generous line and point boxes.
    ShapeSketch(QList<QRect>& rects, int penWidth);

    bool painting() const { return m_painter != nullptr; }
    // Paints no labels (a shape drawn without its label); rectangles still
    // cover them.
    void hideLabels() { m_labels = false; }

    // Handles gathered while a shape is sketched and put down when it goes
    // out of scope, so that they lie on top of everything else.
    class HandlesLast {
    public:
        explicit HandlesLast(ShapeSketch& sketch) : m_sketch(sketch) {}
        ~HandlesLast() {
            for (const QPoint& p : points)
                m_sketch.handle(p);
        }
        HandlesLast(const HandlesLast&) = delete;
        HandlesLast& operator=(const HandlesLast&) = delete;
        QVector<QPoint> points;

    private:
        ShapeSketch& m_sketch;
    };

    void line(const QPointF& a, const QPointF& b);
    // The dimension line a-b with its short end bars.
    void dimensionLine(const QPoint& a, const QPoint& b);
    void dashLine(const QPointF& a, const QPointF& b);
    // The line through a and b continued 1000 view px beyond both ends, dashed.
    void extendedLine(const QPointF& a, const QPointF& b);
    void handle(const QPoint& at);
    void rectLines(const QPoint& a, const QPoint& b);
    void circle(const QPoint& centre, int radius);
    // The arc about `centre` from `a` to `b` that passes through `through`;
    // the whole circle is covered.
    void arcThrough(const QPoint& centre, int radius, const QPoint& a, const QPoint& through,
                    const QPoint& b);
    // A filled sector in the pen's colour; angles in 1/16 degree.
    void pie(const QPoint& centre, int radius, int start16, int span16);
    // The one-head arrow of the text mark, head at a.
    void arrow(const QPoint& a, const QPoint& b);
    // A label box at the anchor (moved inside the view) holding the text,
    // in the shape's text colour or in the current pen.
    void label(CCLBaseObject& shape, const QPointF& anchor, const QString& text, bool textColour = true);
    // A text right-aligned in a box, in the current pen.
    void text(const QRect& box, const QString& text);
    // A text centred on a box in the painter's font family at `pixelSize`,
    // in the current pen; the rectangles cover it where it is wider than the
    // box.
    void centredText(const QRect& box, const QString& text, int pixelSize);
    // Adds a rectangle as it is (nothing when painting).
    void cover(const QRect& rect);

private:
    void coverLine(const QPointF& a, const QPointF& b);

    QPainter* m_painter = nullptr;
    QList<QRect>* m_rects = nullptr;
    int m_penWidth = 1;
    bool m_labels = true;
};
