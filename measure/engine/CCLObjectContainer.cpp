#include "measure/engine/CCLObjectContainer.h"

#include "app/hub/SharedConstants.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/engine/UpdateRegions.h"

#include <QPainter>

#include <cmath>

namespace {
// Order of the kind lists: also the order of the listing by kind.
const int kKindOrder[KindCount] = {1,  2,  3,  8,  9,  10, 17, 18, 31, 11, 12, 4,  5,  6,  7, 14,
                                   16, 15, 27, 19, 20, 21, 22, 23, 24, 25, 26, 13, 28, 29, 30};

bool validKind(int kind) {
    return kind >= 1 && kind <= KindCount;
}
} // namespace

CCLObjectContainer::CCLObjectContainer(QObject* parent) : QObject(parent) {
    for (int k = 1; k <= KindCount; ++k)
        m_kindLists[k].append(ShapeRegistry::create(k));
}

CCLObjectContainer::~CCLObjectContainer() {
    for (int k = 1; k <= KindCount; ++k)
        qDeleteAll(m_kindLists[k]);
}

CCLBaseObject* CCLObjectContainer::prototype(int kind) {
    if (!validKind(kind))
        return nullptr;
    QList<CCLBaseObject*>& list = m_kindLists[kind];
    if (!list.first()) {
        list[0] = ShapeRegistry::create(kind);
        if (list.first())
            applyStyle(list.first());
    }
    return list.first();
}

void CCLObjectContainer::applyStyle(CCLBaseObject* proto) {
    if (proto->kind == KindText) {
        if (m_styleTextColor.isValid())
            proto->color = m_styleTextColor;
    } else {
        if (m_styleColor.isValid())
            proto->color = m_styleColor;
        if (m_styleColor2.isValid())
            proto->color2 = m_styleColor2;
        if (m_stylePenWidth > 0)
            proto->penWidth = m_stylePenWidth;
    }
    proto->disrate = m_disrate;
    proto->unit = m_unit;
    proto->unitFactor = m_unitFactor;
    proto->numbits = m_numbits;
}

void CCLObjectContainer::forEachPrototype(const std::function<void(CCLBaseObject*)>& fn, bool includeText) {
    for (int k = 1; k <= KindCount; ++k) {
        if (!includeText && k == KindText)
            continue;
        if (CCLBaseObject* proto = prototype(k))
            fn(proto);
    }
}

QList<CCLBaseObject*> CCLObjectContainer::shapesOfKind(int kind) const {
    if (!validKind(kind))
        return {};
    return m_kindLists[kind].mid(1);
}

int CCLObjectContainer::familyOf(int kind) {
    switch (kind) {
    case 8:
    case 9:
        return FamAngles;
    case 17:
        return FamPolygons;
    case 19:
        return FamPolylines;
    case 10:
        return FamRects;
    case 11:
    case 13:
        return FamCircles;
    default:
        return FamLines;
    }
}

int CCLObjectContainer::GetFamilyCount(int kind) const {
    if (kind == 0 || kind == 31 || kind == 32)
        return 0;
    return m_counters[familyOf(kind)];
}

// ------------------------------------------------------------------ creation

void CCLObjectContainer::SetCurType(int kind) {
    if (m_creating)
        FinishCreating();
    m_toolKind = kind;
    if (kind == 0)
        m_creating = nullptr;
    else if (validKind(kind))
        m_creating = prototype(kind);
}

void CCLObjectContainer::OnMousePress(const QPointF& point) {
    if (!m_creating || m_creating->kind == 0 || !m_creating->IsAddPointValid(point, 0)) {
        m_state = StateRejected;
        return;
    }
    if (m_state == StateIdle || m_state == StateAdded || m_state == StateRejected)
        m_state = StateFirst;
    if (m_state == StateFirst)
        m_creating->labelNumber = GetFamilyCount(m_creating->kind);
    m_creating->AddPoint(point);
    if (m_creating->IsFinished()) {
        AddObject(m_creating);
        m_state = StateAdded;
        return;
    }
    if (m_creating->IsCreateCanceled()) {
        FinishCreating();
        return;
    }
    m_state = StateCollecting;
}

void CCLObjectContainer::OnMouseMove(const QPointF& point) {
    if (m_creating && m_creating->kind != 0 && m_creating->IsAddPointValid(point, 0))
        m_creating->MoveCurPoint(point);
}

void CCLObjectContainer::FinishCreating() {
    if (!m_creating)
        return;
    m_state = StateIdle;
    QList<QRect> rects;
    ShapeRegistry::collectLabelRect(m_creating, rects);
    m_creating->CollectCreatingRects(rects);
    if (m_creating->FinishMulti()) {
        AddObject(m_creating);
        m_state = StateAdded;
    } else {
        m_creating->Reset();
    }
    UpdateRects(rects);
}

void CCLObjectContainer::AddCurrent() {
    if (m_creating)
        AddObject(m_creating);
}

void CCLObjectContainer::AddObject(CCLBaseObject* source) {
    if (!source)
        return;
    const int kind = source->kind;
    if (kind != 0 && kind != 31 && kind != 32) {
        int& counter = m_counters[familyOf(kind)];
        if (++counter >= 10000)
            counter = 1;
    }
    if (!validKind(kind))
        return;
    CCLBaseObject* obj = ShapeRegistry::clone(kind, source);
    if (!obj)
        return;
    source->Reset();

    if (kind == KindSign1 || kind == KindSign2 || kind == KindSign3) {
        const int existing =
            shapesOfKind(KindSign1).size() + shapesOfKind(KindSign2).size() + shapesOfKind(KindSign3).size();
        ShapeRegistry::setMarkNumber(obj, existing + 1);
    }
    m_kindLists[kind].append(obj);
    m_shapes.append(obj);
    if (kind == KindLasso)
        obj->labelNumber = m_kindLists[kind].size() - 1;

    obj->disrate = m_disrate;
    obj->unit = m_unit;
    obj->unitFactor = m_unitFactor;
    obj->numbits = m_numbits;
    obj->groupId = source->groupId != -1 ? source->groupId : m_groupId;
    obj->CalcResult();

    QList<QRect> rects;
    obj->CollectObjRects(rects);
    UpdateRects(rects);
    emit SingalAddNewObj(obj);
}

int CCLObjectContainer::StopCreating() {
    FinishCreating();
    m_selected = nullptr;
    m_creating = nullptr;
    m_toolKind = 0;
    m_state = StateIdle;
    return 0;
}

void CCLObjectContainer::CancelCreating() {
    m_state = StateIdle;
    if (!m_creating || m_creating->points.isEmpty())
        return;
    QList<QRect> rects;
    ShapeRegistry::collectLabelRect(m_creating, rects);
    m_creating->CollectCreatingRects(rects);
    m_creating->Reset();
    UpdateRects(rects);
}

void CCLObjectContainer::ResetTool() {
    SetSelected(nullptr);
    m_toolKind = 0;
    m_state = StateIdle;
}

bool CCLObjectContainer::IsPointsEnough() const {
    return m_creating && m_creating->IsPointsEnough();
}

bool CCLObjectContainer::IsCreating() const {
    return m_creating && m_creating->kind != 0 && !m_creating->points.isEmpty();
}

void CCLObjectContainer::SetCurLanguage(int language) {
    if (m_creating)
        m_creating->SetLanguage(language);
}

// ---------------------------------------------------- selection and editing

CCLObjectContainer::Hit CCLObjectContainer::HitTest(const QPoint& view) {
    Hit hit;
    for (CCLBaseObject* shape : m_shapes) {
        int index = -1;
        const int part = shape->HitTestObj(view, index);
        if (part) {
            hit.part = part;
            hit.index = index;
            hit.shape = shape;
            return hit;
        }
    }
    return hit;
}

void CCLObjectContainer::SetSelected(CCLBaseObject* shape) {
    if (m_creating)
        FinishCreating();
    QList<QRect> rects;
    if (m_selected)
        m_selected->CollectObjRects(rects);
    m_selected = shape;
    if (m_selected)
        m_selected->CollectObjRects(rects);
    UpdateRects(rects);
}

void CCLObjectContainer::ClearSelect() {
    QList<QRect> rects;
    if (m_selected)
        m_selected->CollectObjRects(rects);
    m_selected = nullptr;
    UpdateRects(rects);
}

void CCLObjectContainer::MovePointTo(CCLBaseObject* shape, int index, const QPointF& point) {
    if (shape && shape->kind != 0)
        shape->MovePoint(point, index);
}

void CCLObjectContainer::MoveLabelBy(CCLBaseObject* shape, int index, const QPointF& from,
                                     const QPointF& to) {
    if (shape && shape->kind != 0)
        shape->MoveLabelBy(to, from, index);
}

void CCLObjectContainer::MoveObjectBy(CCLBaseObject* shape, const QPointF& from, const QPointF& to) {
    if (shape && shape->kind != 0)
        shape->MoveBy(from, to);
}

void CCLObjectContainer::RemoveObject(CCLBaseObject* shape) {
    if (!shape || shape->kind == 0)
        return;
    if (shape == m_selected)
        m_selected = nullptr;
    m_shapes.removeOne(shape);
    if (!validKind(shape->kind))
        return;
    QList<CCLBaseObject*>& list = m_kindLists[shape->kind];
    const int at = list.indexOf(shape, 1);
    if (at < 1)
        return;
    list.removeAt(at);
    delete shape;
}

void CCLObjectContainer::RemoveAll(bool deleteShapes) {
    QList<QRect> rects;
    for (int k = 1; k <= KindCount; ++k) {
        QList<CCLBaseObject*>& list = m_kindLists[k];
        if (list.isEmpty())
            continue;
        if (list.first())
            list.first()->Reset();
        while (list.size() > 1) {
            CCLBaseObject* shape = list.takeLast();
            shape->CollectObjRects(rects);
            // Never leave a dangling pointer in the creation order or the selection.
            m_shapes.removeOne(shape);
            if (shape == m_selected)
                m_selected = nullptr;
            if (deleteShapes)
                delete shape;
        }
    }
    UpdateRects(rects);
}

void CCLObjectContainer::ClearAll() {
    m_shapes.clear();
    RemoveAll(true);
    m_selected = nullptr;
    for (int& c : m_counters)
        c = 1;
}

void CCLObjectContainer::DrawAll(QPainter* painter, bool withCreating) {
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QColor remembered = painter->pen().color();
    QPen pen = painter->pen();
    for (CCLBaseObject* shape : m_shapes) {
        if (shape->kind == KindText || shape->groupId != m_groupId)
            continue;
        pen.setColor(shape == m_selected ? QColor(Qt::yellow) : shape->color);
        pen.setWidth(shape->penWidth);
        painter->setPen(pen);
        shape->DrawObj(painter, true);
    }
    if (withCreating) {
        if (m_creating && m_creating->kind != KindText) {
            pen.setColor(m_creating->color);
            pen.setWidth(m_creating->penWidth);
            painter->setPen(pen);
            m_creating->DrawCreating(painter);
        }
    } else {
        painter->setPen(QPen(remembered));
    }
}

void CCLObjectContainer::DrawTextNotes(QPainter* painter) {
    const QColor remembered = painter->pen().color();
    const QList<CCLBaseObject*>& notes = m_kindLists[KindText];
    for (int i = 1; i < notes.size(); ++i) {
        CCLBaseObject* note = notes[i];
        if (note->groupId != m_groupId)
            continue;
        painter->setPen(note == m_selected ? QColor(Qt::yellow) : note->color);
        note->DrawObj(painter, true);
    }
    if (m_creating && m_creating->kind == KindText) {
        painter->setPen(m_creating->color);
        m_creating->DrawCreating(painter);
    }
    painter->setPen(remembered);
}

void CCLObjectContainer::CollectRects(CCLBaseObject* shape, QList<QRect>& rects) {
    if (shape) {
        if (m_shapes.contains(shape))
            shape->CollectObjRects(rects);
        return;
    }
    for (CCLBaseObject* s : m_shapes)
        s->CollectObjRects(rects);
}

void CCLObjectContainer::RecalcAll(bool repaint) {
    QList<QRect> rects;
    for (CCLBaseObject* shape : m_shapes) {
        if (repaint)
            shape->CollectObjRects(rects);
        shape->CalcResult();
        if (repaint)
            shape->CollectObjRects(rects);
    }
    if (repaint)
        UpdateRects(rects);
}

void CCLObjectContainer::SetColor(const QColor& color) {
    m_styleColor = color;
    forEachPrototype([&](CCLBaseObject* p) { p->color = color; }, false);
}

void CCLObjectContainer::SetSecondColor(const QColor& color) {
    m_styleColor2 = color;
    forEachPrototype([&](CCLBaseObject* p) { p->color2 = color; }, false);
}

void CCLObjectContainer::SetTextColor(const QColor& color) {
    m_styleTextColor = color;
    if (CCLBaseObject* p = prototype(KindText))
        p->color = color;
}

void CCLObjectContainer::SetPenWidth(int width) {
    m_stylePenWidth = width;
    forEachPrototype([&](CCLBaseObject* p) { p->penWidth = width; }, false);
}

void CCLObjectContainer::SetDisrate(double disrate) {
    if (disrate < 0.0)
        return;
    m_disrate = disrate;
    forEachPrototype([&](CCLBaseObject* p) { p->disrate = disrate; }, true);
    for (CCLBaseObject* s : m_shapes)
        s->disrate = disrate;
}

void CCLObjectContainer::SetNumbits(int numbits) {
    if (unsigned(numbits) > 4u)
        return;
    m_numbits = numbits;
    forEachPrototype([&](CCLBaseObject* p) { p->numbits = numbits; }, true);
    for (CCLBaseObject* s : m_shapes)
        s->numbits = numbits;
}

void CCLObjectContainer::SetUnit(const QString& unit) {
    const int i = unitIndexOf(unit);
    if (i < 0)
        return;
    const double factor = unitFactors[i];
    m_unit = unitNames[i];
    m_unitFactor = factor;
    forEachPrototype(
        [&](CCLBaseObject* p) {
            p->unit = unitNames[i];
            p->unitFactor = factor;
        },
        true);
    for (CCLBaseObject* s : m_shapes) {
        s->unit = unitNames[i];
        s->unitFactor = factor;
    }
}

// ----------------------------------------------------------------- data rows

void CCLObjectContainer::CollectByKind(QList<CCLBaseObject*>& out) {
    for (int kind : kKindOrder) {
        if (kind == KindText)
            continue;
        out.append(shapesOfKind(kind));
    }
}

void CCLObjectContainer::listingOf(int listing, QList<CCLBaseObject*>& out) {
    if (listing == ByCreation)
        out = m_shapes;
    else if (listing == ByKind)
        CollectByKind(out);
}

void CCLObjectContainer::CollectRows(int listing, CCLBaseObject* only, int& first, int& last,
                                     QList<QString>& names, QList<double>& rows) {
    QList<CCLBaseObject*> list;
    listingOf(listing, list);
    int before = 0;
    int count = 0;
    for (CCLBaseObject* shape : list) {
        if (!shape || shape->kind == KindText)
            continue;
        if (!only || only == shape) {
            shape->BuildRows(rows);
            shape->BuildRowNames(names);
            count += shape->GetRowCount();
            if (only == shape) {
                count = shape->GetRowCount();
                break;
            }
        } else {
            before += shape->GetRowCount();
        }
    }
    first = before;
    last = before - 1 + count;
}

CCLBaseObject* CCLObjectContainer::GetObjectByRow(int listing, int row) {
    QList<CCLBaseObject*> list;
    listingOf(listing, list);
    int start = 0;
    for (CCLBaseObject* shape : list) {
        if (!shape || shape->kind == KindText)
            continue;
        const int n = shape->GetRowCount();
        if (row >= start && row < start + n)
            return shape;
        start += n;
    }
    return nullptr;
}

CCLBaseObject* CCLObjectContainer::SetObjValue(int listing, int row, int column, double value) {
    QList<CCLBaseObject*> list;
    listingOf(listing, list);
    int start = 0;
    CCLBaseObject* owner = nullptr;
    for (CCLBaseObject* shape : list) {
        if (!shape || shape->kind == KindText)
            continue;
        const int n = shape->GetRowCount();
        if (row >= start && row < start + n) {
            owner = shape;
            break;
        }
        start += n;
    }
    if (!owner)
        return nullptr;
    const int part = owner->GetEditPart(column, row - start);
    if (part == -1)
        return nullptr;
    QList<QRect> rects;
    owner->CollectObjRects(rects);
    const QVector<QPointF> before = owner->points;
    const int results = owner->results.size();
    const int derived = owner->derivedPoints.size();
    const int unsound = unsoundValues(owner);
    if (!owner->SetValue(part, value))
        return owner;
    // A value that leaves the figure without its results (points collapsed
    // onto one line) or with a value that is no longer a finite number is
    // refused after the fact: the shape goes back to where it was.
    if (owner->results.size() != results || owner->derivedPoints.size() != derived ||
        unsoundValues(owner) > unsound) {
        owner->points = before;
        owner->CalcResult();
        return owner;
    }
    owner->CollectObjRects(rects);
    UpdateRects(rects);
    return owner;
}

int CCLObjectContainer::unsoundValues(CCLBaseObject* shape) {
    int count = 0;
    for (const QPointF& p : shape->points + shape->derivedPoints)
        count += !std::isfinite(p.x()) || !std::isfinite(p.y());
    QList<double> rows;
    shape->BuildRows(rows);
    for (double v : shape->results + rows)
        count += !std::isfinite(v);
    return count;
}
