#include "measure/shapes/CLText.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/UpdateRegions.h"
#include "measure/shapes/ShapeConventions.h"
#include "measure/shapes/ShapeSketch.h"

#include <QStringList>

#include <algorithm>

CLText::CLText() {
    kind = KindText;
    name = QStringLiteral("TXT");
}

void CLText::SetLanguage(int lang) {
    language = lang;
    name = ShapeText::Pick(lang, QStringLiteral("注释"), QStringLiteral("TXT"), QStringLiteral("注釋"));
}

int CLText::Reset() {
    CCLBaseObject::Reset();
    text.clear();
    textEntered = false;
    return 0;
}

bool CLText::IsFinished() {
    if (points.size() != 2)
        return false;
    if (textEntered || !text.isEmpty())
        return true;
    text.clear();
    const QString answer = textInputCallback ? textInputCallback() : QString();
    if (answer.isEmpty())
        return false;
    text = answer;
    textEntered = true;
    return true;
}

bool CLText::IsCreateCanceled() {
    return points.size() == 2 && text.isEmpty() && !textEntered;
}

QRect CLText::TextBox() {
    int longest = 0;
    for (const QString& line : text.split('\n'))
        longest = std::max(longest, int(line.size()));
    cachedLineLength = longest < 1 ? -1 : longest;
    cachedLabelSize = measureSys ? measureSys->GetTextSize(text, measureSys->labelFontSize()) : QSize(0, 0);
    return ClampRectToView(ImageToView(points[1]), cachedLabelSize);
}

int CLText::HitTest(const QPoint& view) {
    if (points.size() != 2)
        return 0;
    return HitTestLine(view, ImageToView(points[0]), ImageToView(points[1])) ? 3 : 0;
}

void CLText::sketch(ShapeSketch& s, bool finishedMark) {
    const QPoint p0 = ImageToView(points[0]);
    if (points.size() == 1) {
        const QPoint m = ImageToView(curPoint);
        if (IsNearPoint(m, p0))
            s.handle(p0);
        else
            s.arrow(p0, m);
        return;
    }
    s.arrow(p0, ImageToView(points[1]));
    if (finishedMark)
        s.text(TextBox(), text);
}

void CLText::DrawObj(QPainter* painter, bool) {
    if (points.size() != 2 || !textEntered)
        return;
    ShapeSketch s(painter);
    sketch(s, true);
}

void CLText::CollectObjRects(QList<QRect>& rects) {
    if (points.size() != 2)
        return;
    ShapeSketch s(rects, penWidth);
    sketch(s, true);
}

void CLText::DrawCreating(QPainter* painter) {
    if (points.isEmpty() || points.size() > 2)
        return;
    ShapeSketch s(painter);
    sketch(s, false);
}

void CLText::CollectCreatingRects(QList<QRect>& rects) {
    if (points.isEmpty() || points.size() > 2)
        return;
    ShapeSketch s(rects, penWidth);
    sketch(s, false);
}

void CLText::AddPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, true);
}

void CLText::MoveCurPoint(const QPointF& point) {
    ShapeCreate::Track(*this, point, false);
}
