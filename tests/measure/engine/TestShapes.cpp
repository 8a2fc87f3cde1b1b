#include "TestShapes.h"

#include "measure/engine/GeometryHelpers.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/ShapeRegistry.h"

#include <QPainter>

#include <cmath>

QList<QColor> TestShape::drawnColors;
int TestShape::drawnCount = 0;

TestShape::TestShape(int k) {
    kind = k;
    switch (k) {
    case KindCircle:
        needed = 3;
        name = "R";
        break;
    case KindRect:
        name = "C";
        break;
    case KindPolygon:
        variable = true;
        name = "AR";
        break;
    case KindLasso:
        variable = true;
        name = "AR";
        break;
    case KindText:
        name = "TXT";
        break;
    case KindSign1:
    case KindSign2:
    case KindSign3:
        needed = 1;
        break;
    default:
        name = "L";
    }
}

TestShape& TestShape::operator=(const TestShape& other) {
    CCLBaseObject::operator=(other);
    needed = other.needed;
    variable = other.variable;
    finishedFlag = other.finishedFlag;
    text = other.text;
    markNumber = other.markNumber;
    refuseAdd = other.refuseAdd;
    return *this;
}

bool TestShape::IsCreateCanceled() {
    return kind == KindText && points.size() == 2 && text.isEmpty();
}

bool TestShape::FinishMulti() {
    if (variable && points.size() >= 3) {
        finishedFlag = true;
        return true;
    }
    return false;
}

int TestShape::Reset() {
    finishedFlag = false;
    return CCLBaseObject::Reset();
}

void TestShape::CollectCreatingRects(QList<QRect>& rects) {
    for (const QPointF& p : points)
        rects.append(QRect(ImageToView(p) - QPoint(30, 30), QSize(60, 60)));
}

void TestShape::CollectObjRects(QList<QRect>& rects) {
    CollectCreatingRects(rects);
}

bool TestShape::IsFinished() {
    if (variable)
        return finishedFlag;
    if (kind == KindText && text.isEmpty())
        return false;
    if (points.size() == needed + 1)
        return true;
    if (points.size() == needed) {
        points.append(points.last());
        return true;
    }
    return false;
}

bool TestShape::IsAddPointValid(const QPointF&, int) {
    return !refuseAdd;
}

void TestShape::CalcResult() {
    if (!IsFinished())
        return;
    results.clear();
    switch (kind) {
    case KindCircle: {
        const double r = GetDistance(points[0], points[1]);
        results << r << 2 * M_PI * r << M_PI * r * r;
        break;
    }
    case KindRect: {
        const double w = std::fabs(points[1].x() - points[0].x());
        const double h = std::fabs(points[1].y() - points[0].y());
        results << 2 * (w + h) << w * h << w << h;
        break;
    }
    case KindAngle:
        results << 90.0f;
        break;
    case KindText:
        break;
    case KindParallel:
    case KindConCircle: {
        // Two items, then their minimum, maximum and average.
        const double d = GetDistance(points[0], points[1]);
        results << d << 2 * d << d << 2 * d << 1.5f * d;
        break;
    }
    default:
        if (points.size() >= 2)
            results << GetDistance(points[0], points[1]);
    }
}

QString TestShape::GetShowText(double value, bool) {
    return QString::number(value, 'f', numbits);
}

int TestShape::HitTest(const QPoint& view) {
    if (points.size() < 2)
        return 0;
    return HitTestLine(view, ImageToView(points[0]), ImageToView(points[1])) ? 3 : 0;
}

void TestShape::DrawObj(QPainter* painter, bool) {
    ++drawnCount;
    drawnColors.append(painter->pen().color());
}

void TestShape::DrawCreating(QPainter*) {}

void TestShape::AddPoint(const QPointF& point) {
    points.append(point);
    curPoint = point;
}

void TestShape::MoveCurPoint(const QPointF& point) {
    curPoint = point;
}

bool TestShape::SetValue(int part, double value) {
    if (!IsFinished() || results.isEmpty() || value < 0.0001f)
        return false;
    if (kind == KindRect) {
        if (part == 2)
            points[1].setX(points[0].x() + value);
        else if (part == 3)
            points[1].setY(points[0].y() + value);
        else
            return false;
    } else if (part == 0) {
        // Length or radius: move p1 along p0 -> p1.
        const double old = GetDistance(points[0], points[1]);
        if (old <= 0.001f)
            return false;
        points[1] = points[0] + (points[1] - points[0]) * (value / old);
    } else {
        return false;
    }
    CalcResult();
    return true;
}

int TestShape::GetValuesPerRow() {
    switch (kind) {
    case KindText:
        return 0;
    case KindCircle:
        return 3;
    case KindRect:
        return 4;
    default:
        return 1;
    }
}

int TestShape::GetResultColumn(int j) {
    switch (kind) {
    case KindCircle:
        return j == 0 ? ColRadius : j == 1 ? ColGirth : j == 2 ? ColArea : -1;
    case KindRect: {
        static const int cols[4] = {ColGirth, ColArea, ColWidth, ColHeight};
        return j >= 0 && j < 4 ? cols[j] : -1;
    }
    case KindAngle:
        return j == 0 ? ColAngle : -1;
    case KindConCircle:
        return j == 0 ? ColRadius : -1;
    default:
        return j == 0 ? ColLength : -1;
    }
}

int TestShape::GetEditPart(int column, int) {
    switch (kind) {
    case KindCircle:
        return column == ColRadius ? 0 : -1;
    case KindRect:
        return column == ColWidth ? 2 : column == ColHeight ? 3 : -1;
    case KindAngle:
        return -1;
    default:
        return column == ColLength ? 0 : -1;
    }
}

bool TestShape::IsPointsEnough() {
    return points.size() >= needed;
}

void TestShape::SetLanguage(int lang) {
    language = lang;
}

void registerTestShapes() {
    for (int k = 1; k <= KindCount; ++k) {
        ShapeFactory f;
        f.create = [k] { return static_cast<CCLBaseObject*>(new TestShape(k)); };
        f.copy = [](CCLBaseObject* dst, const CCLBaseObject* src) {
            *static_cast<TestShape*>(dst) = *static_cast<const TestShape*>(src);
        };
        if (k >= KindSign1 && k <= KindSign3)
            f.setMarkNumber = [](CCLBaseObject* s, int n) { static_cast<TestShape*>(s)->markNumber = n; };
        ShapeRegistry::registerKind(k, f);
    }
}

EngineFixture::EngineFixture(bool withTestShapes) {
    imageWidth = viewWidth = 1920;
    imageHeight = viewHeight = 1080;
    if (withTestShapes)
        registerTestShapes();
    sys = std::make_unique<OzaMeasureSys>();
    sys->setActive(true);
    sys->SetViewWidget(&view);
}

EngineFixture::~EngineFixture() {
    measureView = nullptr;
    sys.reset();
    ShapeRegistry::clear();
}
