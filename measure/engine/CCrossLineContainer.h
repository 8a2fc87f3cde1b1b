#pragma once

#include "measure/engine/CTenCrossItem.h"
#include "measure/engine/CrossLineInfo.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

class QPainter;

// Horizontal and vertical cross lines (at most 100 each) with ruler ticks,
// kept per camera in INI/SINGLE_CROSSINFO.ini (group Camera_N), and the
// centre reticle items, kept in INI/SINGLE_TENCROSSINFO.ini. The program
// makes at most one reticle item. Every change is saved at once.
// GUI thread only.
class CCrossLineContainer {
public:
    static constexpr int maxLines = 100;

    CCrossLineContainer();

    void setCameraIndex(int camera) { m_camera = camera; }
    int cameraIndex() const { return m_camera; }
    static QString crossLineFile();
    static QString reticleFile();

    // ---- cross lines ----
    // Loading also loads the reticle.
    void ReadWriteCrossLines(bool load);
    void SetLineCount(int count, bool horizontal);
    bool DeleteLine(int index, bool horizontal);
    void SetLine(bool horizontal, int index, float position, float angle, const QColor& colour, bool visible,
                 bool scale);
    // Dragging: position = start + delta (image pixels) for an untilted line.
    bool MoveLine(float delta, float startPosition, CrossLineInfo* line);
    bool SetDatum(int index, bool horizontal);
    // Lines after the datum are laid `spacing` image pixels apart.
    bool ApplyDatumSpacing(int spacing, bool horizontal);
    CrossLineInfo* FindLine(int index, bool horizontal);
    CrossLineInfo* SelectedLine();
    // Selects the first visible line within 5 image px of the point.
    bool HitTestLines(const QPointF& image);
    void SelectLine(CrossLineInfo* selected, CrossLineInfo* old);
    void ClearSelection();
    void SetTickScale(int spacing, int step);
    void SetLabelFontSize(int pixelSize);
    int labelFontSize() const { return m_fontSize; }
    void DrawLines(QPainter& painter);
    void CollectLineRects(QList<QRect>& rects);
    void CollectLineRect(const CrossLineInfo& line, QList<QRect>& rects);
    int LineCount(bool horizontal) const;
    // Index of a line within its orientation's list, -1 when not held.
    int IndexOf(const CrossLineInfo* line) const;
    int datum(bool horizontal) const { return horizontal ? m_horDatum : m_verDatum; }
    int selectedIndex() const { return m_selectedLine; }
    int tickSpacing() const { return m_tickSpacing; }
    int labelStep() const { return m_labelStep; }
    QColor lineColour() const { return m_lineColour; }
    void setLineColour(const QColor& colour) { m_lineColour = colour; }
    int penWidth() const { return m_penWidth; }
    void setPenWidth(int width);

    // ---- reticle ----
    // Refused (false) while no view is registered.
    bool ShowReticle();
    void HideReticle();
    void SetReticleColourScale(const QColor& colour, bool scale);
    void SetReticlePosition(int x, int y, int angle);
    void MoveReticle(float dx, float startX, float dy, float startY, CTenCrossItem* item);
    bool HitTestReticle(const QPointF& image);
    void SelectReticle(CTenCrossItem* selected, CTenCrossItem* old);
    void SaveReticleGeometry();
    void SaveReticleAppearance();
    void LoadReticles();
    CTenCrossItem* FirstReticle();
    int ReticleCount() const { return m_reticles.size(); }
    int selectedReticle() const { return m_selectedReticle; }
    void DrawReticles(QPainter& painter);
    void CollectReticleRects(const CTenCrossItem& item, QList<QRect>& rects);

private:
    QVector<CrossLineInfo>& list(bool horizontal) { return horizontal ? m_hor : m_ver; }
    float freePosition(bool horizontal) const;
    void recomputeLabelSize();
    void drawLine(QPainter& painter, CrossLineInfo& line, bool selected);
    void drawReticleArm(QPainter& painter, const CTenCrossItem& item, bool horizontal, bool selected);
    QString groupPrefix() const;

    QVector<CrossLineInfo> m_hor;
    QVector<CrossLineInfo> m_ver;
    QVector<CTenCrossItem> m_reticles;
    int m_tickSpacing = 200;
    int m_labelStep = 200;
    int m_labelWidth = 0;
    int m_labelHeight = 0;
    int m_selectedLine = -1;
    int m_selectedReticle = -1;
    int m_horDatum = -1;
    int m_verDatum = -1;
    int m_fontSize = 11;
    QColor m_lineColour = QColor(Qt::red);
    int m_penWidth = 1;
    int m_camera = 0;
};
