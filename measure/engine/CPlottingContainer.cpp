#include "measure/engine/CPlottingContainer.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"
#include "platform/RegularFile.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSettings>

#include <algorithm>
#include <cmath>

int plottingPenWidth = 1;
QColor plottingPenColour = QColor(Qt::red);

namespace {
QFont barFont(int pixelSize) {
    QFont font(measureFontFamily);
    font.setPixelSize(std::max(pixelSize, 1));
    return font;
}

// A click (press and release on one spot) is a stroke of one point.
bool isDot(const CPlottingBrush& stroke) {
    for (const QPoint& p : stroke.points)
        if (p != stroke.points.first())
            return false;
    return true;
}

QPoint plainToView(const QPointF& image) {
    return QPoint(int(std::lround(image.x() * viewWidth / imageWidth)),
                  int(std::lround(viewHeight - image.y() * viewHeight / imageHeight)));
}

// Display units of one unit in the next smaller one, following the unit
// table (m -> cm -> mm -> um, inch -> mil, mil -> um); an inch is exactly
// 1000 mil and a mil exactly 25.4 um.
bool stepDown(QString& unit, double& factor) {
    if (unit == QLatin1String("m")) {
        unit = "cm";
        factor = 100.0;
    } else if (unit == QLatin1String("cm")) {
        unit = "mm";
        factor = 10.0;
    } else if (unit == QLatin1String("mm")) {
        unit = "um";
        factor = 1000.0;
    } else if (unit == QLatin1String("inch")) {
        unit = "mil";
        factor = 1000.0;
    } else if (unit == QLatin1String("mil")) {
        unit = "um";
        factor = 25.4;
    } else {
        return false;
    }
    return true;
}
} // namespace

CPlottingAxesItem::CPlottingAxesItem() {
    const QFontMetrics fm(barFont(11));
    charWidth = fm.horizontalAdvance(QString(15, QChar(0x8D62))) / 15;
    textHeight = fm.height();
}

CPlottingScale::CPlottingScale() : font(barFont(11)) {}

CPlottingContainer::CPlottingContainer() {
    SetScale("default", "mm", 1.0);
}

CPlottingContainer::~CPlottingContainer() {
    qDeleteAll(m_strokes);
}

// ----------------------------------------------------------------- strokes

void CPlottingContainer::collectStrokeRects(const CPlottingBrush& stroke, QList<QRect>& rects) const {
    if (stroke.points.isEmpty())
        return;
    if (isDot(stroke)) {
        AddPointRect(rects, stroke.points.first(), 30);
        return;
    }
    for (int i = 1; i < stroke.points.size(); ++i)
        AddLineRects(rects, stroke.points[i - 1], stroke.points[i]);
}

void CPlottingContainer::StartStroke(const QPoint& at) {
    m_current.points.clear();
    m_current.penWidth = plottingPenWidth;
    m_current.colour = plottingPenColour;
    m_current.points.append(at);
    QList<QRect> rects;
    collectStrokeRects(m_current, rects);
    UpdateRects(rects);
}

void CPlottingContainer::ExtendStroke(const QPoint& at) {
    m_current.points.append(at);
    QList<QRect> rects;
    collectStrokeRects(m_current, rects);
    UpdateRects(rects);
}

void CPlottingContainer::FinishStroke(const QPoint& at) {
    m_current.points.append(at);
    m_strokes.append(new CPlottingBrush(m_current));
    QList<QRect> rects;
    collectStrokeRects(m_current, rects);
    UpdateRects(rects);
    m_current.points.clear();
}

int CPlottingContainer::HitTestStrokes(const QPoint& at) const {
    for (int i = 0; i < m_strokes.size(); ++i)
        for (const QPoint& p : m_strokes[i]->points)
            if (IsNearPoint(p, at))
                return i;
    return -1;
}

void CPlottingContainer::DeleteStroke(int index) {
    if (index == -1) {
        qDeleteAll(m_strokes);
        m_strokes.clear();
        UpdateView();
        return;
    }
    if (!measureView || index < 0 || index >= m_strokes.size())
        return;
    QList<QRect> rects;
    collectStrokeRects(*m_strokes[index], rects);
    UpdateRects(rects);
    delete m_strokes.takeAt(index);
}

void CPlottingContainer::drawStroke(QPainter& painter, const CPlottingBrush& stroke) const {
    if (stroke.points.size() < 2 || isDot(stroke))
        return;
    painter.setPen(QPen(stroke.colour, stroke.penWidth));
    auto map = [](const QPoint& p) {
        return QPoint(int(p.x() * viewWidth / imageWidth + 0.5f),
                      int(p.y() * viewHeight / imageHeight + 0.5f));
    };
    for (int i = 1; i < stroke.points.size(); ++i)
        painter.drawLine(map(stroke.points[i - 1]), map(stroke.points[i]));
}

// --------------------------------------------------------------- scale bar

void CPlottingContainer::computeBar(const QString& startUnit) {
    double r = m_scale.unitsPerPixel;
    if (!std::isfinite(r) || r <= 0.0)
        r = 1.0;
    // L = mantissa x 10^exponent with mantissa 1, 2 or 5: exact decimal steps.
    int mantissa = 1;
    int exponent = 0;
    auto value = [&] { return mantissa * std::pow(10.0, exponent); };
    for (int guard = 0; guard < 700; ++guard) {
        const double L = value();
        if (L > 375.0 * r) {
            --exponent;
        } else if (L >= 150.0 * r) {
            break;
        } else if (5.0 * L >= 150.0 * r) {
            mantissa = 2;
            if (value() <= 150.0 * r)
                mantissa = 5;
            break;
        } else {
            ++exponent;
        }
    }
    double L = value();
    int bar = int(L / r + 0.5);
    if (bar <= 0) {
        bar = 150;
        L = r;
    }
    m_scale.barLength = bar;
    QString unit = startUnit;
    double displayRate = r; // display units per pixel in the unit finally shown
    int shown = L >= 1.0 ? int(L + 1e-9) : 0;
    double factor = 1.0;
    while (shown == 0 && stepDown(unit, factor)) {
        L *= factor;
        displayRate *= factor;
        shown = int(L + 1e-6 * std::max(1.0, L));
    }
    // A mil is 25.4 um: a stepped-down value is not always whole, and the bar
    // must span the value it shows (0.1 mil is labelled 2 um over 2 um).
    if (shown != 0 && std::fabs(L - shown) > 1e-9 * L)
        m_scale.barLength = int(shown / displayRate + 0.5);
    m_scale.value = shown;
    m_displayRate = displayRate;
    m_scale.text = QString("%1 %2").arg(shown).arg(unit);
    if (shown != 0)
        MessagePassing::instance()->setScaleLength(shown);
}

void CPlottingContainer::SetScale(const QString& name, const QString& unit, double unitsPerPixel) {
    m_scale.name = name;
    m_scale.unitsPerPixel = unitsPerPixel;
    computeBar(unit);
    LayoutBar();
}

void CPlottingContainer::SetRate(const QString& unit, double unitsPerPixel) {
    m_scale.unitsPerPixel = unitsPerPixel;
    computeBar(unit);
    LayoutBar();
}

void CPlottingContainer::SetBarValue(int value) {
    if (value < 1 || m_displayRate <= 0.0)
        return;
    const QRect before = barBox();
    m_scale.value = value;
    // The length follows the unit the bar shows, which may have stepped down.
    const double length = value / m_displayRate + 0.5;
    m_scale.barLength = length > 1e7 ? int(1e7) : int(length);
    const int blank = m_scale.text.indexOf(' ');
    const QString unit = blank >= 0 ? m_scale.text.mid(blank + 1) : QStringLiteral("mm");
    m_scale.text = QString("%1 %2").arg(value).arg(unit);
    LayoutBar();
    UpdateViewRect(before.united(barBox()));
}

void CPlottingContainer::SetBarVisible(bool on) {
    m_scale.visible = on;
}

void CPlottingContainer::SetBarPenWidth(int width) {
    if (width >= 1)
        m_scale.penWidth = width;
}

void CPlottingContainer::SetFontScale(float ratio) {
    if (ratio > 0.0f && std::isfinite(ratio))
        m_scale.fontScale = std::pow(ratio, 0.25f);
}

void CPlottingContainer::SetFontSize(int pixelSize) {
    if (pixelSize < 1)
        return;
    m_fontSize = pixelSize;
    m_scale.font.setPixelSize(pixelSize);
    LayoutBar();
    UpdateViewRect(barBox());
}

void CPlottingContainer::LayoutBar() {
    const QFontMetrics fm(m_scale.font);
    const int nameW = fm.horizontalAdvance(m_scale.name) + 10;
    const int textW = fm.horizontalAdvance(m_scale.text) + 10;
    m_scale.boxSize = QSize(std::max({m_scale.barLength, nameW, textW}), fm.height() + 10 + fm.height());
    m_scale.fixedWidthMode = false;
}

void CPlottingContainer::LayoutBarFixed(int width) {
    LayoutBar();
    m_scale.fixedWidthMode = true;
    m_scale.fixedWidth = width;
}

// Centre and half length of the bar in view pixels.
static void barGeometry(const CPlottingScale& s, QPoint& centre, int& half) {
    const double w = s.fixedWidthMode ? s.fixedWidth : viewWidth;
    centre = QPoint(int(std::lround(w * s.position.x() / imageWidth)),
                    int(std::lround(w * s.position.y() / imageWidth)));
    const double lv = viewWidth / imageWidth * s.barLength;
    half = int(lv + 0.5) / 2;
    // The bar with its texts stays inside the picture: a position near the
    // top or left edge (the default one at a small zoom) would cut the value
    // text off, on screen and in saved pictures.
    const int boxW = std::max(s.boxSize.width(), 2 * half);
    centre.setX(std::max(centre.x(), (boxW + 1) / 2));
    centre.setY(std::max(centre.y(), (s.boxSize.height() + 1) / 2));
}

QRect CPlottingContainer::barBox() const {
    QPoint c;
    int half = 0;
    barGeometry(m_scale, c, half);
    const int w = std::max(m_scale.boxSize.width(), 2 * half);
    const int h = m_scale.boxSize.height();
    return QRect(c.x() - w / 2 - 10, c.y() - h / 2 - 10, w + 20, h + 20);
}

bool CPlottingContainer::HitTestBar(const QPoint& view) const {
    if (!m_scale.visible)
        return false;
    QPoint c;
    int half = 0;
    barGeometry(m_scale, c, half);
    return HitTestLine(view, QPoint(c.x() - half, c.y()), QPoint(c.x() + half, c.y()));
}

void CPlottingContainer::BeginBarDrag() {
    m_scale.dragStart = m_scale.position;
}

void CPlottingContainer::DragBar(const QPoint& displacement) {
    const double k = imageWidth / viewWidth;
    m_scale.position = m_scale.dragStart + QPointF(displacement) * k;
}

void CPlottingContainer::LoadBarPosition() {
    QSettings settings(RegularFile::settingsName("./CPlottingScale.ini"), QSettings::IniFormat);
    const QPointF p = settings.value("pos", QPointF(200, 60)).toPointF();
    m_scale.position = std::isfinite(p.x()) && std::isfinite(p.y()) ? p : QPointF(200, 60);
}

void CPlottingContainer::SaveBarPosition() {
    const QPointF position = m_scale.position;
    SaveErrorBox::editSettings("./CPlottingScale.ini",
                               [position](QSettings& settings) { settings.setValue("pos", position); });
}

// ----------------------------------------------------------------- drawing

void CPlottingContainer::drawAxes(QPainter& painter) {
    if (!m_axes.visible)
        return;
    const QPoint o = plainToView(m_axes.origin);
    const int len = m_axes.arrowLength;
    DrawPoint(&painter, o);
    DrawArrowLine(&painter, QPoint(o.x(), o.y() - len), o, true, false);
    DrawArrowLine(&painter, QPoint(o.x() + len, o.y()), o, true, false);
    const int th = m_axes.textHeight;
    DrawText(&painter, QRect(o.x(), o.y() - len - th / 2 - 5, m_axes.charWidth, th), "Y");
    DrawText(&painter, QRect(o.x() + len + 5, o.y() - th / 2, m_axes.charWidth, th), "X");
}

void CPlottingContainer::drawBar(QPainter& painter) {
    if (!m_scale.visible)
        return;
    QPoint c;
    int half = 0;
    barGeometry(m_scale, c, half);
    QPen pen = painter.pen();
    pen.setWidth(m_scale.penWidth);
    painter.setPen(pen);
    painter.drawLine(c.x() - half, c.y(), c.x() + half, c.y());
    painter.drawLine(c.x() - half, c.y() + 5, c.x() - half, c.y() - 5);
    painter.drawLine(c.x() + half, c.y() + 5, c.x() + half, c.y() - 5);
    const int w = m_scale.boxSize.width();
    const int h = m_scale.boxSize.height();
    const int left = c.x() - int(std::lround(w / 2.0));
    const int top = c.y() - int(std::lround(h / 2.0));
    const QFont saved = painter.font();
    QFont font = m_scale.font;
    font.setPixelSize(std::max(1, int(m_scale.font.pixelSize() * m_scale.fontScale)));
    painter.setFont(font);
    painter.drawText(QRect(left, top, w, (h - 10) / 2), Qt::AlignCenter, m_scale.text);
    painter.drawText(QRect(left, top + (h - 10) / 2 + 10, w, (h - 10) / 2), Qt::AlignCenter, m_scale.name);
    painter.setFont(saved);
}

void CPlottingContainer::DrawPlotting(QPainter& painter) {
    if (painter.font().pixelSize() != m_fontSize)
        painter.setFont(barFont(m_fontSize));
    const PenBrush saved = SavePenBrush(&painter);
    painter.setPen(QPen(m_markerColour, m_penWidth));
    painter.setBrush(Qt::NoBrush);
    drawAxes(painter);
    QPen pen = painter.pen();
    pen.setColor(m_barColour);
    painter.setPen(pen);
    drawBar(painter);
    SetPenBrush(&painter, saved);
    for (const CPlottingBrush* stroke : m_strokes)
        drawStroke(painter, *stroke);
    drawStroke(painter, m_current);
    painter.setPen(saved.pen);
}
