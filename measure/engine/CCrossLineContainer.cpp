#include "measure/engine/CCrossLineContainer.h"

#include "app/hub/SaveErrorBox.h"
#include "app/hub/SharedConstants.h"
#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/UpdateRegions.h"
#include "platform/AppPaths.h"
#include "platform/RegularFile.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kDegToRad = 3.1415926535 / 180.0;
// Ticks drawn per arm at most, whatever the spacing.
constexpr int kMaxTicks = 20000;

QColor readColour(const QSettings& s, const QString& key) {
    if (!s.contains(key))
        return QColor(Qt::red);
    const int i = s.value(key, 0).toInt();
    return i >= 0 && i < colorList.size() ? colorList[i] : QColor(Qt::red);
}

float readFinite(const QSettings& s, const QString& key, float fallback) {
    bool ok = false;
    const float v = s.value(key, fallback).toFloat(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

// Plain scaling to view pixels, y flipped, rounded (no active-system test).
QPoint plainToView(const QPointF& image) {
    return QPoint(int(std::lround(image.x() * viewWidth / imageWidth)),
                  int(std::lround(viewHeight - image.y() * viewHeight / imageHeight)));
}

// Distance from `c` along `d` to the border of the image rectangle.
double exitDistance(const QPointF& c, const QPointF& d) {
    double s = std::numeric_limits<double>::max();
    if (d.x() > 1e-9)
        s = std::min(s, (imageWidth - c.x()) / d.x());
    else if (d.x() < -1e-9)
        s = std::min(s, -c.x() / d.x());
    if (d.y() > 1e-9)
        s = std::min(s, (imageHeight - c.y()) / d.y());
    else if (d.y() < -1e-9)
        s = std::min(s, -c.y() / d.y());
    return s == std::numeric_limits<double>::max() ? 0.0 : std::max(s, 0.0);
}
} // namespace

CCrossLineContainer::CCrossLineContainer() = default;

QString CCrossLineContainer::crossLineFile() {
    return AppPaths::appFile("INI/" + crossLineFileName);
}
QString CCrossLineContainer::reticleFile() {
    return AppPaths::appFile("INI/SINGLE_TENCROSSINFO.ini");
}
QString CCrossLineContainer::groupPrefix() const {
    return QString("Camera_%1").arg(m_camera);
}

// ------------------------------------------------------------- load, save

void CCrossLineContainer::ReadWriteCrossLines(bool load) {
    const QString g = groupPrefix();
    if (load) {
        QSettings s(RegularFile::settingsName(crossLineFile()), QSettings::IniFormat);
        int hor = s.value(g + "/HORSIZE", 0).toInt();
        int ver = s.value(g + "/VERSIZE", 0).toInt();
        if (unsigned(hor) > unsigned(maxLines))
            hor = 0;
        if (unsigned(ver) > unsigned(maxLines))
            ver = 0;
        m_hor.clear();
        m_ver.clear();
        m_selectedLine = -1;
        m_horDatum = s.value(g + "/HORSTAND", -1).toInt();
        m_verDatum = s.value(g + "/VERSTAND", -1).toInt();
        if (m_horDatum > hor - 1 || m_horDatum < -1)
            m_horDatum = -1;
        if (m_verDatum > ver - 1 || m_verDatum < -1)
            m_verDatum = -1;
        m_tickSpacing = s.value(g + "/ScaleRate", 200).toInt();
        if (m_tickSpacing < 1)
            m_tickSpacing = 200; // a zero spacing would divide by zero in the tick labels
        for (int pass = 0; pass < 2; ++pass) {
            const bool horizontal = pass == 0;
            const QString tag = horizontal ? "HOR" : "VER";
            const int count = horizontal ? hor : ver;
            for (int i = 0; i < count; ++i) {
                const QString key = QString("%1/%2_%3_").arg(g, tag).arg(i);
                CrossLineInfo line(horizontal ? 30.0f : 0.0f, horizontal);
                line.position = readFinite(s, key + "POS", 0.0f);
                line.angle = readFinite(s, key + "ANGLE", 0.0f);
                if (std::fabs(line.angle) >= 90.0f)
                    line.angle = 0.0f;
                line.visible = s.value(key + "VISABLE", 0).toInt() != 0;
                line.scale = s.value(key + "SCALE", 0).toInt() != 0;
                line.colour = readColour(s, key + "COLOR");
                list(horizontal).append(line);
            }
        }
        recomputeLabelSize();
        LoadReticles();
        return;
    }
    SaveErrorBox::editSettings(crossLineFile(), [&](QSettings& s) {
        // Exactly this camera's group: camera 1 never touches camera 10's lines.
        for (const QString& group : s.childGroups())
            if (group == g)
                s.remove(group);
        s.setValue(g + "/HORSIZE", m_hor.size());
        s.setValue(g + "/VERSIZE", m_ver.size());
        s.setValue(g + "/ScaleRate", m_tickSpacing);
        s.setValue(g + "/HORSTAND", m_horDatum);
        s.setValue(g + "/VERSTAND", m_verDatum);
        for (int pass = 0; pass < 2; ++pass) {
            const bool horizontal = pass == 0;
            const QString tag = horizontal ? "HOR" : "VER";
            const QVector<CrossLineInfo>& lines = list(horizontal);
            for (int i = 0; i < lines.size(); ++i) {
                const QString key = QString("%1/%2_%3_").arg(g, tag).arg(i);
                const CrossLineInfo& line = lines[i];
                s.setValue(key + "POS", line.position);
                s.setValue(key + "ANGLE", line.angle);
                s.setValue(key + "VISABLE", line.visible ? 1 : 0);
                s.setValue(key + "SCALE", line.scale ? 1 : 0);
                const int colour = colorList.indexOf(line.colour);
                if (colour >= 0)
                    s.setValue(key + "COLOR", colour);
            }
        }
    });
}

// ------------------------------------------------------------------ lines

float CCrossLineContainer::freePosition(bool horizontal) const {
    const QVector<CrossLineInfo>& lines = horizontal ? m_hor : m_ver;
    float candidate = horizontal ? imageHeight / 2.0f + 7.0f : imageWidth / 2.0f + 5.0f;
    const float step = horizontal ? 15.0f : 10.0f;
    for (int guard = 0; guard <= maxLines + 1; ++guard) {
        bool taken = false;
        for (const CrossLineInfo& line : lines)
            if (std::fabs(line.position - candidate) < 5.0f)
                taken = true;
        if (!taken)
            break;
        candidate += step;
    }
    return candidate;
}

void CCrossLineContainer::SetLineCount(int count, bool horizontal) {
    count = std::clamp(count, 0, int(maxLines));
    QVector<CrossLineInfo>& lines = list(horizontal);
    if (count == lines.size())
        return;
    while (lines.size() < count) {
        CrossLineInfo line(freePosition(horizontal), horizontal);
        line.colour = m_lineColour;
        lines.append(line);
        // A new horizontal line shifts the combined index of every vertical one.
        if (horizontal && m_selectedLine >= lines.size() - 1)
            ++m_selectedLine;
        ReadWriteCrossLines(false);
    }
    while (lines.size() > count)
        DeleteLine(lines.size() - 1, horizontal);
    ReadWriteCrossLines(false);
}

bool CCrossLineContainer::DeleteLine(int index, bool horizontal) {
    QVector<CrossLineInfo>& lines = list(horizontal);
    if (index < 0 || index >= lines.size())
        return false;
    int& datumIndex = horizontal ? m_horDatum : m_verDatum;
    if (datumIndex == index)
        datumIndex = -1;
    else if (datumIndex > index)
        --datumIndex;
    const int combined = horizontal ? index : m_hor.size() + index;
    if (m_selectedLine == combined)
        m_selectedLine = -1;
    else if (m_selectedLine > combined)
        --m_selectedLine;
    lines.remove(index);
    ReadWriteCrossLines(false);
    return true;
}

void CCrossLineContainer::SetLine(bool horizontal, int index, float position, float angle,
                                  const QColor& colour, bool visible, bool scale) {
    CrossLineInfo* line = FindLine(index, horizontal);
    if (!line)
        return;
    line->position = position;
    line->angle = angle;
    line->colour = colour;
    line->visible = visible;
    line->scale = scale;
    ReadWriteCrossLines(false);
}

bool CCrossLineContainer::MoveLine(float delta, float startPosition, CrossLineInfo* line) {
    if (!line || IndexOf(line) < 0 || std::fabs(line->angle) > 0.0001f)
        return false;
    QList<QRect> rects;
    CollectLineRect(*line, rects);
    line->position = startPosition + delta;
    CollectLineRect(*line, rects);
    UpdateRects(rects);
    ReadWriteCrossLines(false);
    return true;
}

bool CCrossLineContainer::SetDatum(int index, bool horizontal) {
    if (index < 0 || index >= list(horizontal).size())
        return false;
    (horizontal ? m_horDatum : m_verDatum) = index;
    ReadWriteCrossLines(false);
    return true;
}

bool CCrossLineContainer::ApplyDatumSpacing(int spacing, bool horizontal) {
    QVector<CrossLineInfo>& lines = list(horizontal);
    const int d = horizontal ? m_horDatum : m_verDatum;
    if (spacing < 1 || d < 0 || d >= lines.size())
        return false;
    const int base = int(lines[d].position);
    if (base < 0)
        return false;
    for (int j = d + 1; j < lines.size(); ++j)
        lines[j].position = float(base + double(j - d) * spacing);
    ReadWriteCrossLines(false);
    return true;
}

CrossLineInfo* CCrossLineContainer::FindLine(int index, bool horizontal) {
    QVector<CrossLineInfo>& lines = list(horizontal);
    return index >= 0 && index < lines.size() ? &lines[index] : nullptr;
}

CrossLineInfo* CCrossLineContainer::SelectedLine() {
    if (m_selectedLine < 0)
        return nullptr;
    if (m_selectedLine < m_hor.size())
        return &m_hor[m_selectedLine];
    return FindLine(m_selectedLine - m_hor.size(), false);
}

int CCrossLineContainer::IndexOf(const CrossLineInfo* line) const {
    for (int i = 0; i < m_hor.size(); ++i)
        if (&m_hor[i] == line)
            return i;
    for (int i = 0; i < m_ver.size(); ++i)
        if (&m_ver[i] == line)
            return i;
    return -1;
}

bool CCrossLineContainer::HitTestLines(const QPointF& image) {
    for (int pass = 0; pass < 2; ++pass) {
        const bool horizontal = pass == 0;
        const QVector<CrossLineInfo>& lines = list(horizontal);
        for (int i = 0; i < lines.size(); ++i) {
            const CrossLineInfo& line = lines[i];
            if (!line.visible)
                continue;
            const double t = line.angle * kDegToRad;
            QPointF a, dir;
            if (horizontal) {
                a = QPointF(imageWidth / 2.0, line.position);
                dir = QPointF(-200.0 * std::cos(t), 200.0 * std::sin(t));
            } else {
                a = QPointF(line.position, imageHeight / 2.0);
                dir = QPointF(200.0 * std::sin(t), 200.0 * std::cos(t));
            }
            const QPointF foot = GetFootPoint(image, a, a + dir);
            if (GetDistance(foot, image) < 5.0f) {
                m_selectedLine = horizontal ? i : m_hor.size() + i;
                return true;
            }
        }
    }
    m_selectedLine = -1;
    return false;
}

void CCrossLineContainer::SelectLine(CrossLineInfo* selected, CrossLineInfo* old) {
    QList<QRect> rects;
    if (old)
        CollectLineRect(*old, rects);
    m_selectedLine = -1;
    if (selected) {
        const int i = IndexOf(selected);
        if (i >= 0)
            m_selectedLine = selected->horizontal ? i : m_hor.size() + i;
        CollectLineRect(*selected, rects);
    }
    UpdateRects(rects);
}

void CCrossLineContainer::ClearSelection() {
    QList<QRect> rects;
    if (CrossLineInfo* line = SelectedLine())
        CollectLineRect(*line, rects);
    if (m_selectedReticle >= 0 && m_selectedReticle < m_reticles.size())
        CollectReticleRects(m_reticles[m_selectedReticle], rects);
    m_selectedLine = -1;
    m_selectedReticle = -1;
    UpdateRects(rects);
}

void CCrossLineContainer::SetTickScale(int spacing, int step) {
    if (spacing < 1)
        return;
    m_tickSpacing = spacing;
    m_labelStep = step;
    recomputeLabelSize();
}

void CCrossLineContainer::SetLabelFontSize(int pixelSize) {
    if (pixelSize < 1)
        return;
    m_fontSize = pixelSize;
    recomputeLabelSize();
}

void CCrossLineContainer::recomputeLabelSize() {
    const QString text = QString::number(int(imageWidth / m_tickSpacing + 0.5f) * m_labelStep);
    QFont font(measureFontFamily);
    font.setPixelSize(m_fontSize);
    const QFontMetrics fm(font);
    m_labelWidth = 2 * fm.horizontalAdvance(text);
    m_labelHeight = fm.height();
}

int CCrossLineContainer::LineCount(bool horizontal) const {
    return horizontal ? m_hor.size() : m_ver.size();
}

void CCrossLineContainer::setPenWidth(int width) {
    m_penWidth = width;
    if (!m_reticles.isEmpty())
        m_reticles[0].penWidth = width;
}

void CCrossLineContainer::DrawLines(QPainter& painter) {
    if (painter.font().pixelSize() != m_fontSize) {
        QFont font(measureFontFamily);
        font.setPixelSize(m_fontSize);
        painter.setFont(font);
    }
    const QPen saved = painter.pen();
    for (int pass = 0; pass < 2; ++pass) {
        const bool horizontal = pass == 0;
        QVector<CrossLineInfo>& lines = list(horizontal);
        for (int i = 0; i < lines.size(); ++i) {
            if (!lines[i].visible)
                continue;
            const int combined = horizontal ? i : m_hor.size() + i;
            drawLine(painter, lines[i], combined == m_selectedLine);
        }
    }
    painter.setPen(saved);
}

void CCrossLineContainer::drawLine(QPainter& painter, CrossLineInfo& line, bool selected) {
    line.labelHeight = m_labelHeight;
    const double t = line.angle * kDegToRad;
    const double W = imageWidth, H = imageHeight, pos = line.position;
    double first, second;
    QPointF centre;
    if (line.horizontal) {
        centre = QPointF(W / 2.0, pos);
        const double half = W / 2.0;
        first = second = half;
        if (std::fabs(line.angle) >= 0.5f) {
            if (t > 0) {
                first = std::min(half / std::cos(t), (H - pos) / std::sin(t));
                second = std::min(half / std::cos(t), pos / std::sin(t));
            } else {
                const double u = -t;
                first = std::min(half / std::cos(t), pos / std::sin(u));
                second = std::min(half / std::cos(t), (H - pos) / std::sin(u));
            }
        }
    } else {
        centre = QPointF(pos, H / 2.0);
        const double half = H / 2.0;
        first = second = half;
        if (std::fabs(line.angle) >= 0.1f) {
            if (t > 0) {
                first = std::min(half / std::cos(t), (W - pos) / std::sin(t));
                second = std::min(half / std::cos(t), pos / std::sin(t));
            } else {
                const double u = -t;
                first = std::min(half / std::cos(t), pos / std::sin(u));
                second = std::min(half / std::cos(t), (W - pos) / std::sin(u));
            }
        }
    }
    first = std::max(first, 0.0);
    second = std::max(second, 0.0);
    QPen pen(selected ? QColor(Qt::yellow) : line.colour, m_penWidth);
    painter.setPen(pen);
    painter.save();
    painter.translate(plainToView(centre));
    painter.rotate(line.angle);
    const double f = viewWidth / imageWidth;
    const int a = int(0.5 - first * f);
    const int b = int(second * f + 0.5);
    if (line.horizontal)
        painter.drawLine(a, 0, b, 0);
    else
        painter.drawLine(0, a, 0, b);
    const double viewSpacing = m_tickSpacing * f;
    if (line.scale && viewSpacing > 0.0 && a <= b) {
        const double step = viewSpacing / 5.0;
        for (int i = 0; i < kMaxTicks; ++i) {
            const bool major = i % 5 == 0;
            const int reach = major ? 50 : 20;
            const QString label = QString::number((i / 5) * m_labelStep);
            if (line.horizontal) {
                const int x = int(i * step + a);
                if (x > b)
                    break;
                painter.drawLine(x, -reach, x, reach);
                if (major) {
                    painter.setPen(QPen(line.colour, m_penWidth));
                    painter.drawText(QRect(x + 1, 26, m_labelWidth + 1, m_labelHeight + 1),
                                     Qt::AlignLeft | Qt::AlignVCenter, label);
                    painter.setPen(pen);
                }
            } else {
                const int y = int(b - i * step);
                if (y < a)
                    break;
                painter.drawLine(-reach, y, reach, y);
                if (major) {
                    painter.setPen(QPen(line.colour, m_penWidth));
                    painter.drawText(QRect(51, y - m_labelHeight + 1, m_labelWidth + 1, m_labelHeight + 1),
                                     Qt::AlignLeft | Qt::AlignVCenter, label);
                    painter.setPen(pen);
                }
            }
        }
    }
    painter.restore();
}

void CCrossLineContainer::CollectLineRects(QList<QRect>& rects) {
    for (const CrossLineInfo& line : m_hor)
        CollectLineRect(line, rects);
    for (const CrossLineInfo& line : m_ver)
        CollectLineRect(line, rects);
}

void CCrossLineContainer::CollectLineRect(const CrossLineInfo& line, QList<QRect>& rects) {
    if (line.angle != 0.0f) {
        rects.append(QRect(0, 0, int(viewWidth), int(viewHeight)));
        return;
    }
    if (line.horizontal) {
        const int y = ImageToView(QPointF(0, line.position)).y();
        rects.append(QRect(0, y - 52, int(viewWidth), m_labelHeight + 100));
    } else {
        const int x = ImageToView(QPointF(line.position, 0)).x();
        const int side = m_labelWidth + 50;
        rects.append(QRect(x - side, 0, 2 * side + m_labelWidth, int(viewHeight)));
    }
}

// ---------------------------------------------------------------- reticle

void CCrossLineContainer::LoadReticles() {
    QSettings s(RegularFile::settingsName(reticleFile()), QSettings::IniFormat);
    m_reticles.clear();
    m_selectedReticle = -1;
    // The program writes one item at most; a larger count is damage.
    const int count = std::clamp(s.value("TENSIZE", 0).toInt(), 0, 1);
    for (int i = 0; i < count; ++i) {
        const QString key = QString("TEN_%1_").arg(i);
        CTenCrossItem item(QPointF(960, 540));
        const QPointF p = s.value(key + "POS", QPointF(0, 0)).toPointF();
        item.position = std::isfinite(p.x()) && std::isfinite(p.y()) ? p : QPointF(0, 0);
        item.angle = readFinite(s, key + "ANGLE", 0.0f);
        if (std::fabs(item.angle) >= 90.0f)
            item.angle = 0.0f;
        item.visible = s.value(key + "VISABLE", 0).toInt() != 0;
        item.scale = s.value(key + "SCALE", 0).toInt() != 0;
        item.colour = readColour(s, key + "COLOR");
        item.penWidth = m_penWidth;
        m_reticles.append(item);
    }
}

void CCrossLineContainer::SaveReticleGeometry() {
    SaveErrorBox::editSettings(reticleFile(), [this](QSettings& s) {
        s.setValue("TENSIZE", m_reticles.size());
        for (int i = 0; i < m_reticles.size(); ++i) {
            const QString key = QString("TEN_%1_").arg(i);
            s.setValue(key + "POS", m_reticles[i].position);
            s.setValue(key + "ANGLE", m_reticles[i].angle);
        }
    });
}

void CCrossLineContainer::SaveReticleAppearance() {
    SaveErrorBox::editSettings(reticleFile(), [this](QSettings& s) {
        s.setValue("TENSIZE", m_reticles.size());
        for (int i = 0; i < m_reticles.size(); ++i) {
            const QString key = QString("TEN_%1_").arg(i);
            s.setValue(key + "VISABLE", m_reticles[i].visible ? 1 : 0);
            s.setValue(key + "SCALE", m_reticles[i].scale ? 1 : 0);
            const int colour = colorList.indexOf(m_reticles[i].colour);
            if (colour >= 0)
                s.setValue(key + "COLOR", colour);
        }
    });
}

bool CCrossLineContainer::ShowReticle() {
    if (!measureView)
        return false;
    if (!m_reticles.isEmpty()) {
        m_reticles[0].visible = true;
        SaveReticleAppearance();
        return true;
    }
    CTenCrossItem item(QPointF(960, 540));
    item.penWidth = m_penWidth;
    m_reticles.append(item);
    SaveReticleGeometry();
    SaveReticleAppearance();
    return true;
}

void CCrossLineContainer::HideReticle() {
    if (m_reticles.size() != 1)
        return;
    m_reticles[0].visible = false;
    SaveReticleAppearance();
}

void CCrossLineContainer::SetReticleColourScale(const QColor& colour, bool scale) {
    if (m_reticles.size() != 1)
        return;
    m_reticles[0].colour = colour;
    m_reticles[0].scale = scale;
    SaveReticleAppearance();
}

void CCrossLineContainer::SetReticlePosition(int x, int y, int angle) {
    if (m_reticles.size() != 1)
        return;
    m_reticles[0].position = QPointF(x, y);
    m_reticles[0].angle = float(angle);
}

void CCrossLineContainer::MoveReticle(float dx, float startX, float dy, float startY, CTenCrossItem* item) {
    if (!item)
        return;
    QList<QRect> rects;
    CollectReticleRects(*item, rects);
    item->position = QPointF(startX + dx, startY + dy);
    CollectReticleRects(*item, rects);
    UpdateRects(rects);
}

bool CCrossLineContainer::HitTestReticle(const QPointF& image) {
    m_selectedReticle = -1;
    for (int i = 0; i < m_reticles.size(); ++i) {
        const CTenCrossItem& item = m_reticles[i];
        if (!item.visible)
            continue;
        const double t = item.angle * kDegToRad;
        const QPointF c = item.position;
        const QPointF arms[2] = {QPointF(-200.0 * std::cos(t), 200.0 * std::sin(t)),
                                 QPointF(200.0 * std::sin(t), 200.0 * std::cos(t))};
        for (const QPointF& dir : arms) {
            if (GetDistance(GetFootPoint(image, c, c + dir), image) < 5.0f) {
                m_selectedReticle = i;
                return true;
            }
        }
    }
    return false;
}

void CCrossLineContainer::SelectReticle(CTenCrossItem* selected, CTenCrossItem* old) {
    QList<QRect> rects;
    if (old)
        CollectReticleRects(*old, rects);
    m_selectedReticle = -1;
    for (int i = 0; i < m_reticles.size(); ++i)
        if (&m_reticles[i] == selected)
            m_selectedReticle = i;
    if (selected)
        CollectReticleRects(*selected, rects);
    UpdateRects(rects);
}

CTenCrossItem* CCrossLineContainer::FirstReticle() {
    return m_reticles.isEmpty() ? nullptr : &m_reticles[0];
}

void CCrossLineContainer::DrawReticles(QPainter& painter) {
    QFont font(measureFontFamily);
    font.setPixelSize(m_fontSize);
    font.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(font);
    const QPen saved = painter.pen();
    const bool selected = m_selectedReticle >= 0;
    for (CTenCrossItem& item : m_reticles) {
        if (!item.visible)
            continue;
        item.labelHeight = m_labelHeight;
        drawReticleArm(painter, item, true, selected);
        drawReticleArm(painter, item, false, selected);
    }
    painter.setPen(saved);
}

void CCrossLineContainer::drawReticleArm(QPainter& painter, const CTenCrossItem& item, bool horizontal,
                                         bool selected) {
    const double t = item.angle * kDegToRad;
    const QPointF c = item.position;
    double first, second;
    if (horizontal) {
        if (std::fabs(item.angle) < 0.5f) {
            first = c.x();
            second = imageWidth - c.x();
        } else {
            const QPointF right(std::cos(t), -std::sin(t)); // clockwise on screen for positive angles
            first = exitDistance(c, -right);
            second = exitDistance(c, right);
        }
    } else {
        if (std::fabs(item.angle) < 0.1f) {
            first = imageHeight - c.y();
            second = c.y();
        } else {
            const QPointF up(std::sin(t), std::cos(t));
            first = exitDistance(c, up);
            second = exitDistance(c, -up);
        }
    }
    first = std::max(first, 0.0);
    second = std::max(second, 0.0);
    const QPen pen(selected ? QColor(Qt::yellow) : item.colour, item.penWidth);
    painter.setPen(pen);
    painter.save();
    painter.translate(ImageToView(c));
    painter.rotate(item.angle);
    const double f = viewWidth / imageWidth;
    const int a = int(0.5 - first * f);
    const int b = int(second * f + 0.5);
    if (horizontal)
        painter.drawLine(a, 0, b, 0);
    else
        painter.drawLine(0, a, 0, b);
    const double viewSpacing = m_tickSpacing * f;
    if (item.scale && viewSpacing > 0.0) {
        const double step = viewSpacing / 10.0;
        for (int i = 0; i < kMaxTicks; ++i) {
            const int d = int(i * step);
            if (d > b && -d < a)
                break;
            const int reach = i % 10 == 0 ? 50 : i % 5 == 0 ? 20 : 11;
            const QString label = QString::number((i / 10) * m_labelStep);
            for (int side : {d, -d}) {
                if (side < a || side > b || (i == 0 && side != d))
                    continue;
                if (horizontal)
                    painter.drawLine(side, -reach, side, reach);
                else
                    painter.drawLine(-reach, side, reach, side);
                if (i % 10 == 0) {
                    painter.setPen(QPen(item.colour, item.penWidth));
                    if (horizontal)
                        painter.drawText(QRect(side + 1, 26, m_labelWidth + 1, m_labelHeight + 1),
                                         Qt::AlignLeft | Qt::AlignVCenter, label);
                    else
                        painter.drawText(
                            QRect(51, side - m_labelHeight + 1, m_labelWidth + 1, m_labelHeight + 1),
                            Qt::AlignLeft | Qt::AlignVCenter, label);
                    painter.setPen(pen);
                }
            }
        }
    }
    painter.restore();
}

void CCrossLineContainer::CollectReticleRects(const CTenCrossItem& item, QList<QRect>& rects) {
    if (item.angle != 0.0f) {
        rects.append(QRect(0, 0, int(viewWidth), int(viewHeight)));
        return;
    }
    const QPoint v = ImageToView(item.position);
    rects.append(QRect(0, v.y() - 52, int(viewWidth), m_labelHeight + 100));
    const int side = m_labelWidth + 50;
    rects.append(QRect(v.x() - side, 0, 2 * side + m_labelWidth, int(viewHeight)));
}
