#include "measure/shapes/ShapeConventions.h"

#include "measure/engine/CCLBaseObject.h"
#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"
#include "platform/RegularFile.h"

#include <QPainter>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace ShapeText {

int ClampStyle(int style) {
    return std::clamp(style, 0, 4);
}

int CurrentStyle() {
    return ClampStyle(labelStyle);
}

QString Pick(int language, const QString& zh, const QString& en, const QString& tw) {
    if (language == 0)
        return zh;
    if (language == 1)
        return en;
    return tw;
}

QString ValueText(double value, int numbits) {
    return QString("%1").arg(value, 0, 'f', numbits);
}

QString StyledLine(int style, const QString& name, int number, const QString& tag, const QString& valueText) {
    switch (ClampStyle(style)) {
    case 0:
        return QString("%1%2:%3=%4").arg(name).arg(number).arg(tag, valueText);
    case 1:
        return QString("%1:%2=%3").arg(number).arg(tag, valueText);
    case 2:
        return QString("%1=%2").arg(tag, valueText);
    case 3:
        return valueText;
    default:
        return QString("%1%2=%3").arg(tag).arg(number).arg(valueText);
    }
}

QString SingleLabel(int style, const QString& name, int number, const QString& tag, const QString& valueText,
                    const QString& unit) {
    return QString("%1%2").arg(StyledLine(style, name, number, tag, valueText), unit);
}

QString ItemText(int style, int number, int item, const QString& valueText, const QString& unit) {
    static const char* const tags = "ABCDEFGHIJ";
    if (item < 0 || item > 9)
        return QString();
    const QString tag(QChar(tags[item]));
    QString line;
    switch (ClampStyle(style)) {
    case 2:
        line = QString("%1=%2").arg(tag, valueText);
        break;
    case 3:
        line = valueText;
        break;
    default:
        line = QString("L%1%2=%3").arg(number).arg(tag, valueText);
    }
    return QString("%1%2").arg(line, unit);
}

QString StatText(int style, const QString& name, int number, const QString& minText, const QString& maxText,
                 const QString& avgText, const QString& unit) {
    const QString mn = QString("Min=%1%2").arg(minText, unit);
    const QString mx = QString("Max=%1%2").arg(maxText, unit);
    const QString av = QString("Avg=%1%2").arg(avgText, unit);
    switch (ClampStyle(style)) {
    case 0:
        return QString("%1%2:\n%3\n%4\n%5").arg(name).arg(number).arg(mn, mx, av);
    case 1:
        return QString("%1:\n%2\n%3\n%4").arg(number).arg(mn, mx, av);
    case 2:
        return QString("%1\n%2\n%3").arg(mn, mx, av);
    case 3:
        return QString("%1\n%2\n%3").arg(mn.mid(4), mx.mid(4), av.mid(4));
    default:
        return QString("L%1\n%2\n%3\n%4").arg(number).arg(mn, mx, av);
    }
}

} // namespace ShapeText

namespace ShapeStats {
bool MinMaxAvg(const QList<double>& values, double& minimum, double& maximum, double& average) {
    if (values.isEmpty())
        return false;
    minimum = maximum = values.first();
    double sum = 0.0;
    for (double v : values) {
        minimum = std::min(minimum, v);
        maximum = std::max(maximum, v);
        sum += v;
    }
    average = sum / values.size();
    return true;
}
} // namespace ShapeStats

namespace ShapeLabel {

bool Switch(const QString& key, bool fallback) {
    QSettings settings(RegularFile::settingsName("./INI/MeasureData.ini"), QSettings::IniFormat);
    return settings.value(key, fallback).toBool();
}

QRect Box(CCLBaseObject& shape, const QPointF& anchor, const QString& text) {
    const QSize size = shape.GetMultiLineTextSize(text);
    return ClampRectToView(ImageToView(anchor), size);
}

void Draw(QPainter* painter, const CCLBaseObject& shape, const QRect& box, const QString& text) {
    const QPen saved = painter->pen();
    QPen pen = saved;
    pen.setColor(shape.color2);
    painter->setPen(pen);
    DrawText(painter, box, text);
    painter->setPen(saved);
}

} // namespace ShapeLabel

namespace ShapeEdit {

bool Accepts(bool finished, bool hasResults, bool partOffered, double value) {
    return finished && hasResults && partOffered && value >= 0.0001;
}

QPointF ScaleAbout(const QPointF& anchor, const QPointF& point, double value, double old) {
    if (old <= 0.001)
        return QPointF(anchor.x() + value, anchor.y());
    const double k = value / old;
    return anchor + (point - anchor) * k;
}

} // namespace ShapeEdit

namespace ShapeSnap {
bool ToReference(const QPointF& reference, const QPointF& candidate, QPointF& snapped) {
    snapped = candidate;
    if (!snapMode)
        return false;
    const double t = snapDistance < 1 ? 0.0 : ViewToImageLength(snapDistance);
    if (std::fabs(reference.x() - candidate.x()) < t) {
        snapped = QPointF(reference.x(), candidate.y());
        return true;
    }
    if (std::fabs(reference.y() - candidate.y()) < t) {
        snapped = QPointF(candidate.x(), reference.y());
        return true;
    }
    return false;
}
} // namespace ShapeSnap

namespace ShapeGeom {

bool InsideImage(const QPointF& p) {
    return p.x() >= 0.0 && p.y() >= 0.0 && p.x() <= int(imageWidth) && p.y() <= int(imageHeight);
}

QPointF Midpoint(const QPointF& a, const QPointF& b) {
    return QPointF((a.x() + b.x()) * 0.5, (a.y() + b.y()) * 0.5);
}

QPointF UnitNormal(const QPointF& a, const QPointF& b) {
    const QPointF d = b - a;
    if (std::hypot(d.x(), d.y()) < 0.0001)
        return QPointF(1.0, 0.0);
    return NormalizeVector(RotateLeft90(d));
}

QPointF AtDistance(const QPointF& foot, const QPointF& point, const QPointF& a, const QPointF& b, double value,
                   double old) {
    if (old > 0.001)
        return foot + (point - foot) * (value / old);
    return foot + UnitNormal(a, b) * value;
}

} // namespace ShapeGeom

namespace ShapeCreate {
bool FinishFixed(QVector<QPointF>& points, int clicks) {
    if (points.size() == clicks)
        points.append(points.last());
    return points.size() == clicks + 1;
}
} // namespace ShapeCreate

namespace ShapeHit {
int AnyPoint(const QVector<QPointF>& points, const QPoint& view, int& index) {
    index = -1;
    for (int i = 0; i < points.size(); ++i) {
        const QPoint v = ImageToView(points[i]);
        const double dx = v.x() - view.x(), dy = v.y() - view.y();
        if (dx * dx + dy * dy <= 25.0) {
            index = i;
            return 1;
        }
    }
    return 0;
}
} // namespace ShapeHit
