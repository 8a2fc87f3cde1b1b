#include "measure/engine/CScaleContainer.h"

#include "app/hub/SaveErrorBox.h"
#include "app/hub/SharedConstants.h"
#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/PaintHelpers.h"
#include "measure/engine/UpdateRegions.h"
#include "platform/RegularFile.h"

#include <QPainter>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {
QString g_path = QStringLiteral("SCALE_INFO.ini");
const QPointF kNone(-1, -1);

bool placed(const QPointF& p) {
    return p != kNone;
}

// Within the same-spot distance in x and in y.
bool onPoint(const QPointF& a, const QPointF& b) {
    return std::fabs(a.x() - b.x()) <= CScaleContainer::kSameSpot &&
           std::fabs(a.y() - b.y()) <= CScaleContainer::kSameSpot;
}

QPointF footOn(const QPointF& a, const QPointF& b, const QPointF& p) {
    return a + ProjectVector(p - a, b - a);
}
} // namespace

void CScaleContainer::setFilePath(const QString& path) {
    g_path = path;
}
QString CScaleContainer::filePath() {
    return g_path;
}

CScaleContainer::CScaleContainer(QObject* parent) : QObject(parent) {
    resetList();
}

CScaleContainer::~CScaleContainer() {
    qDeleteAll(m_scales);
}

void CScaleContainer::resetList() {
    qDeleteAll(m_scales);
    m_scales.clear();
    m_scales.append(new ScaleInfo());
}

QString CScaleContainer::groupPrefix() const {
    return QString("Camera_%1").arg(m_camera);
}

// Exactly this camera's scale groups: camera 1 never matches camera 10's.
bool CScaleContainer::isOwnGroup(const QString& group) const {
    static const QRegularExpression digits("^\\d+$");
    const QString prefix = groupPrefix() + "_scl_";
    return group.startsWith(prefix) && digits.match(group.mid(prefix.size())).hasMatch();
}

void CScaleContainer::ReadWriteIni(bool load) {
    const QString prefix = groupPrefix() + "_scl_";
    if (load) {
        QSettings settings(RegularFile::settingsName(g_path), QSettings::IniFormat);
        resetList();
        int own = 0;
        for (const QString& group : settings.childGroups())
            own += isOwnGroup(group);
        int k = 0;
        for (int g = 0; g < own; ++g) {
            settings.beginGroup(prefix + QString::number(k));
            const QString name = settings.value("Name", "default").toString();
            bool okValue = false, okDistance = false;
            const double value = settings.value("Value", 1).toDouble(&okValue);
            const double distance = settings.value("Distance", 1).toDouble(&okDistance);
            const QString unit = settings.value("Unit", "mm").toString();
            const int bits = settings.value("Bits", 1).toInt();
            const int length = settings.value("ScaleLength", 1).toInt();
            settings.endGroup();
            if (name == QLatin1String("default"))
                continue; // as stored files expect: a "default" group stops the reading from advancing
            ++k;
            // Damaged records are left out rather than loaded as a second "default".
            if (!okValue || !okDistance || !std::isfinite(value) || !std::isfinite(distance) ||
                value <= 0.0 || distance <= 0.0)
                continue;
            auto* scale = new ScaleInfo(name, unit, bits, value, distance, double(length));
            if (scale->isFallback() || FindScale(name)) {
                delete scale;
                continue;
            }
            m_scales.append(scale);
        }
        return;
    }
    SaveErrorBox::editSettings(g_path, [&](QSettings& settings) {
        for (const QString& group : settings.childGroups())
            if (isOwnGroup(group))
                settings.remove(group);
        for (int i = 1; i < m_scales.size(); ++i) {
            const ScaleInfo* s = m_scales[i];
            settings.beginGroup(prefix + QString::number(i - 1));
            settings.setValue("Name", s->name);
            settings.setValue("Value", s->value);
            settings.setValue("Distance", s->distance);
            settings.setValue("Unit", s->unit);
            settings.setValue("Bits", s->bits);
            settings.setValue("ScaleLength", s->scaleLength);
            settings.endGroup();
        }
    });
}

// Diameter, perpendicular distance or length of the figure, in image pixels.
double CScaleContainer::figureLength() const {
    if (m_kind == Circle) {
        const QPointF c = GetCircleCenter(m_first, m_second, m_measured);
        return 2.0 * GetVectorLength(c - m_measured);
    }
    if (m_kind == PointToLine)
        return GetVectorLength(footOn(m_first, m_second, m_measured) - m_measured);
    return GetVectorLength(m_measured - m_first);
}

double CScaleContainer::CalibrationLength() const {
    const double length = figureLength();
    if (!std::isfinite(length) || std::fabs(length) < 0.0001)
        return 1.0;
    return length;
}

namespace {
// Distance of the middle one of three points from the chord of the other
// two: twice the triangle's area over its longest side. NaN for points
// that are not finite.
double middleOffChord(const QPointF& a, const QPointF& b, const QPointF& c) {
    const double cross = (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
    const double longest =
        std::max({std::hypot(b.x() - a.x(), b.y() - a.y()), std::hypot(c.x() - a.x(), c.y() - a.y()),
                  std::hypot(c.x() - b.x(), c.y() - b.y())});
    return longest > 0.0 ? std::fabs(cross) / longest : 0.0;
}

// Whether the shortest side of the triangle is at least `share` of its
// longest.
bool sidesSpread(const QPointF& a, const QPointF& b, const QPointF& c, double share) {
    const double ab = std::hypot(b.x() - a.x(), b.y() - a.y());
    const double ac = std::hypot(c.x() - a.x(), c.y() - a.y());
    const double bc = std::hypot(c.x() - b.x(), c.y() - b.y());
    return std::min({ab, ac, bc}) >= share * std::max({ab, ac, bc});
}
} // namespace

CScaleContainer::FigureFault CScaleContainer::FigureFaultOf() const {
    if (m_state != Complete)
        return FigureSound;
    // A click on the previous one is ignored as it comes; the third on the
    // first completes the figure and is refused here.
    if ((m_kind == Circle || m_kind == PointToLine) && onPoint(m_measured, m_first))
        return FigureSameSpot;
    if (m_kind == Circle) {
        if (!sidesSpread(m_first, m_second, m_measured, kMinCircleSideShare))
            return FigureShortSide;
        const double off = middleOffChord(m_first, m_second, m_measured);
        if (!(off >= kMinOffLine))
            return FigureFlatCircle;
    } else if (m_kind == PointToLine) {
        const double base = GetVectorLength(m_second - m_first);
        if (!(base >= kMinLength))
            return FigureTooShort;
        const double cross = (m_second.x() - m_first.x()) * (m_measured.y() - m_first.y()) -
                             (m_second.y() - m_first.y()) * (m_measured.x() - m_first.x());
        if (!(std::fabs(cross) / base >= kMinOffLine))
            return FigurePointOnLine;
    }
    const double length = figureLength();
    return std::isfinite(length) && length >= kMinLength ? FigureSound : FigureTooShort;
}

bool CScaleContainer::AddScale(const QString& name, const QString& unit, int bits, double value,
                               int scaleLength) {
    if (unsigned(bits) > 4u || !std::isfinite(value) || value < 0.0001 || unsigned(scaleLength) > 1000u ||
        unitIndexOf(unit) < 0)
        return false;
    // A figure on one line would be stored as a 1-pixel or an enormous scale.
    if (IsFigureDegenerate())
        return false;
    // The built-in record keeps its name; an empty name could never be chosen.
    if (name.isEmpty() || name == QLatin1String("default"))
        return false;
    const double length = CalibrationLength();
    for (int i = m_scales.size() - 1; i >= 1; --i) {
        if (m_scales[i]->name == name) {
            delete m_scales.takeAt(i);
            break;
        }
    }
    m_scales.append(new ScaleInfo(name, unit, bits, value, length, 100.0));
    QList<QRect> rects;
    CollectCalibrationRects(rects);
    m_first = m_second = m_measured = m_moving = kNone;
    m_state = Idle;
    m_kind = TwoPoints;
    ReadWriteIni(false);
    SelectScale(name);
    UpdateRects(rects);
    return true;
}

void CScaleContainer::emitSelected(int index) {
    const ScaleInfo* s = m_scales[index];
    m_currentName = s->name;
    emit setScalePara_signal(s->unit, s->disrate, s->bits);
    SaveErrorBox::editSettings(
        g_path, [&](QSettings& settings) { settings.setValue("LastName/" + groupPrefix() + "_LastName", s->name); });
}

bool CScaleContainer::SelectScale(const QString& name) {
    for (int i = 0; i < m_scales.size(); ++i) {
        if (m_scales[i]->name == name) {
            emitSelected(i);
            return true;
        }
    }
    return false;
}

bool CScaleContainer::SelectScaleAt(int index) {
    if (index < 0 || index >= m_scales.size())
        return false;
    emitSelected(index);
    return true;
}

bool CScaleContainer::DeleteScale(const QString& name) {
    if (name == QLatin1String("default"))
        return false;
    for (int i = m_scales.size() - 1; i >= 1; --i) {
        if (m_scales[i]->name != name)
            continue;
        delete m_scales.takeAt(i);
        ReadWriteIni(false);
        if (name == m_currentName)
            SelectScaleAt(0);
        return true;
    }
    return false;
}

ScaleInfo* CScaleContainer::FindScale(const QString& name) const {
    for (int i = m_scales.size() - 1; i >= 0; --i)
        if (m_scales[i]->name == name)
            return m_scales[i];
    return nullptr;
}

void CScaleContainer::GetScaleNames(QStringList& out) const {
    for (const ScaleInfo* s : m_scales)
        out.append(s->name);
}

QString CScaleContainer::ReadLastScaleName() const {
    QSettings settings(RegularFile::settingsName(g_path), QSettings::IniFormat);
    const QString name = settings.value("LastName/" + groupPrefix() + "_LastName", "default").toString();
    return name.isEmpty() ? QStringLiteral("default") : name;
}

// ------------------------------------------------------------- calibration

void CScaleContainer::AddCalibrationPoint(const QPointF& image) {
    if (m_state == Idle || m_state == Complete)
        return;
    QList<QRect> rects;
    CollectCalibrationRects(rects);
    if (m_state == Armed) {
        m_first = m_moving = image;
        m_state = Collecting;
    } else if (m_kind == TwoPoints || (m_kind != TwoPoints && placed(m_second))) {
        const QPointF& last = m_kind == TwoPoints ? m_first : m_second;
        if (onPoint(image, last))
            return;
        m_measured = m_moving = image;
        m_state = Complete;
    } else {
        if (onPoint(image, m_first))
            return;
        m_second = m_moving = image;
    }
    CollectCalibrationRects(rects);
    UpdateRects(rects);
}

void CScaleContainer::MoveCalibrationPoint(const QPointF& image) {
    if (m_state != Collecting)
        return;
    QList<QRect> rects;
    CollectCalibrationRects(rects);
    m_moving = image;
    CollectCalibrationRects(rects);
    UpdateRects(rects);
}

void CScaleContainer::CancelCalibration() {
    QList<QRect> rects;
    CollectCalibrationRects(rects);
    UpdateRects(rects);
    m_first = m_second = m_measured = m_moving = kNone;
    m_state = Idle;
    m_kind = TwoPoints;
}

// Walks the figure's elements in view pixels: handles, segments, dashed
// segments and the circle. Drawing and repaint rectangles share it.
namespace {
struct Figure {
    QList<QPoint> handles;
    QList<QPair<QPoint, QPoint>> lines;
    QList<QPair<QPoint, QPoint>> dashes;
    QList<QPair<QPoint, QPoint>> dimensions;
    QPoint cross{-1, -1};
    bool hasCross = false;
    bool hasCircle = false;
    QPoint centre;
    int radius = 0;
};
} // namespace

static Figure figureOf(int state, int kind, const QPointF& a, const QPointF& b, const QPointF& moving,
                       const QPointF& measured) {
    Figure f;
    if (state < CScaleContainer::Collecting)
        return f;
    const QPointF m = state == CScaleContainer::Complete ? measured : moving;
    const QPoint va = ImageToView(a);
    const QPoint vm = ImageToView(m);
    if (kind == CScaleContainer::PointToLine || kind == CScaleContainer::Circle) {
        if (!placed(b)) {
            f.handles << va;
            if (kind == CScaleContainer::PointToLine)
                f.lines << qMakePair(va, vm);
            return f;
        }
        const QPoint vb = ImageToView(b);
        if (state == CScaleContainer::Collecting && IsNearPoint(vm, vb)) {
            f.handles << va << vb;
            if (kind == CScaleContainer::PointToLine)
                f.lines << qMakePair(va, vb);
            return f;
        }
        f.handles << va << vb << vm;
        if (kind == CScaleContainer::PointToLine) {
            const QPointF foot = footOn(a, b, m);
            const QPoint vf = ImageToView(foot);
            const QPointF half = (b - a) / 2.0;
            f.lines << qMakePair(va, vb) << qMakePair(vf, vm)
                    << qMakePair(ImageToView(m + half), ImageToView(m - half));
            f.dashes << qMakePair(vf, va);
        } else {
            bool ok = false;
            const QPointF c = GetCircleCenter(a, b, m, &ok);
            if (ok) {
                f.hasCircle = true;
                f.centre = ImageToView(c);
                f.radius = GetDistanceI(f.centre, va);
            }
        }
        return f;
    }
    if (state == CScaleContainer::Collecting && IsNearPoint(va, vm)) {
        f.hasCross = true;
        f.cross = va;
    } else {
        f.dimensions << qMakePair(va, vm);
    }
    return f;
}

void CScaleContainer::DrawCalibration(QPainter& painter) {
    const Figure f = figureOf(m_state, m_kind, m_first, m_second, m_moving, m_measured);
    if (f.hasCross)
        DrawCrossMark(&painter, f.cross);
    for (const auto& d : f.dimensions)
        DrawDimensionLine(&painter, d.first, d.second, true);
    for (const auto& l : f.lines)
        DrawLine(&painter, l.first, l.second);
    for (const auto& l : f.dashes)
        DrawDashLine(&painter, l.first, l.second);
    if (f.hasCircle)
        DrawCircle(&painter, f.centre, f.radius);
    for (const QPoint& h : f.handles)
        DrawPoint(&painter, h);
}

void CScaleContainer::CollectCalibrationRects(QList<QRect>& rects) {
    const Figure f = figureOf(m_state, m_kind, m_first, m_second, m_moving, m_measured);
    if (f.hasCross)
        AddPointRect(rects, f.cross, 0);
    for (const auto& d : f.dimensions) {
        AddLineRects(rects, d.first, d.second);
        AddPointRect(rects, d.first, 0);
        AddPointRect(rects, d.second, 0);
    }
    for (const auto& l : f.lines + f.dashes)
        AddLineRects(rects, l.first, l.second);
    if (f.hasCircle)
        AddCircleRects(rects, f.centre, f.radius);
    for (const QPoint& h : f.handles)
        AddPointRect(rects, h, 0);
}
