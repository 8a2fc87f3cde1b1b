#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

// One freehand stroke, in overlay-widget pixels as received.
struct CPlottingBrush {
    QList<QPoint> points;
    int penWidth = 1;
    QColor colour = QColor(Qt::red);
};

// The small X/Y axes marker at the picture's bottom-left corner.
struct CPlottingAxesItem {
    CPlottingAxesItem();
    QPointF origin{0, 0}; // image pixels, y up
    int arrowLength = 100;
    int charWidth = 0;
    int textHeight = 0;
    bool visible = true;
};

// The scale bar: a round length (1, 2 or 5 x 10^k display units) spanning
// about 150 to 375 image pixels, with its value above and the scale name
// below. Its position (image pixels, y down) survives in ./CPlottingScale.ini.
struct CPlottingScale {
    CPlottingScale();
    int penWidth = 1;
    bool visible = true;
    QString name = QStringLiteral("default");
    int barLength = 0; // image pixels
    QString text;      // "%1 %2": value and unit
    QFont font;
    QSize boxSize;
    QPointF position{200, 60};
    QPointF dragStart{0, 0};
    bool fixedWidthMode = false;
    int fixedWidth = 0;
    float fontScale = 1.0f;
    double unitsPerPixel = 1.0;
    int value = 0;
};

// Pen of new strokes (width and colour), set from the measurement settings.
extern int plottingPenWidth;
extern QColor plottingPenColour;

// Freehand strokes, the axes marker and the scale bar. GUI thread only.
class CPlottingContainer {
public:
    CPlottingContainer();
    ~CPlottingContainer();
    CPlottingContainer(const CPlottingContainer&) = delete;
    CPlottingContainer& operator=(const CPlottingContainer&) = delete;

    void setCameraIndex(int camera) { m_camera = camera; }

    void StartStroke(const QPoint& at);
    void ExtendStroke(const QPoint& at);
    void FinishStroke(const QPoint& at);
    int HitTestStrokes(const QPoint& at) const;
    // -1 deletes every stroke.
    void DeleteStroke(int index);
    int StrokeCount() const { return m_strokes.size(); }
    const CPlottingBrush* Stroke(int index) const { return m_strokes.value(index); }

    void SetFontSize(int pixelSize);
    void DrawPlotting(QPainter& painter);

    // Bar from a scale: name, unit and display units per image pixel.
    void SetScale(const QString& name, const QString& unit, double unitsPerPixel);
    void SetRate(const QString& unit, double unitsPerPixel);
    // Explicit bar value in display units (values below 1 ignored).
    void SetBarValue(int value);
    void SetBarVisible(bool on);
    void SetBarPenWidth(int width);
    void SetFontScale(float ratio);
    int BarLength() const { return m_scale.barLength; }
    int BarValue() const { return m_scale.value; }
    QString BarText() const { return m_scale.text; }
    bool HitTestBar(const QPoint& view) const;
    void BeginBarDrag();
    void DragBar(const QPoint& displacement);
    void LoadBarPosition();
    void SaveBarPosition();
    void LayoutBar();
    void LayoutBarFixed(int width);
    QPointF BarPosition() const { return m_scale.position; }

    void setMarkerColour(const QColor& c) { m_markerColour = c; }
    void setBarColour(const QColor& c) { m_barColour = c; }
    void setAxesVisible(bool on) { m_axes.visible = on; }
    bool axesVisible() const { return m_axes.visible; }
    bool barVisible() const { return m_scale.visible; }
    QColor barColour() const { return m_barColour; }
    QColor markerColour() const { return m_markerColour; }
    int barPenWidth() const { return m_scale.penWidth; }
    int fontSize() const { return m_fontSize; }

private:
    void computeBar(const QString& unit);
    QRect barBox() const;
    void collectStrokeRects(const CPlottingBrush& stroke, QList<QRect>& rects) const;
    void drawStroke(QPainter& painter, const CPlottingBrush& stroke) const;
    void drawAxes(QPainter& painter);
    void drawBar(QPainter& painter);

    CPlottingAxesItem m_axes;
    double m_displayRate = 1.0; // units per pixel of the unit the bar shows
    CPlottingScale m_scale;
    QList<CPlottingBrush*> m_strokes;
    CPlottingBrush m_current;
    int m_fontSize = 11;
    int m_penWidth = 2;
    QColor m_markerColour = QColor(Qt::yellow);
    QColor m_barColour = QColor(Qt::red);
    int m_camera = 0;
};
