#pragma once

#include "measure/engine/CCLBaseObject.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>

class QPainter;

// Every measurement shape of the overlay: the registered shapes in creation
// order and per kind (entry 0 of each kind list is the kind's never-drawn
// style prototype, null while the kind has no registered class), the shape
// under creation (always a prototype), the selection, the six label
// counters and the display scale given to new shapes. Owns every shape.
// GUI thread only.
class CCLObjectContainer : public QObject {
    Q_OBJECT
public:
    // Creation states.
    enum CreateState {
        StateRejected = -1,
        StateIdle = 0,
        StateFirst = 1,
        StateCollecting = 2,
        StateAdded = 3
    };
    // Listings of the data rows.
    enum Listing { ByCreation = 0, ByKind = 1 };

    explicit CCLObjectContainer(QObject* parent = nullptr);
    ~CCLObjectContainer() override;

    // ---- creation ----
    void SetCurType(int kind);
    void OnMousePress(const QPointF& point);
    void OnMouseMove(const QPointF& point);
    void FinishCreating();
    void AddCurrent();
    // Registers a copy of source (null source: nothing).
    void AddObject(CCLBaseObject* source);
    int StopCreating();
    // Drops the points of the shape under creation (mode changes) and
    // returns the creation state to idle.
    void CancelCreating();
    void ResetTool();
    bool IsPointsEnough() const;
    bool IsCreating() const;
    void SetCurLanguage(int language);
    int GetFamilyCount(int kind) const;

    // ---- selection, editing, removal, drawing ----
    struct Hit {
        int part = 0;
        int index = -1;
        CCLBaseObject* shape = nullptr;
    };
    Hit HitTest(const QPoint& view);
    void SetSelected(CCLBaseObject* shape);
    void ClearSelect();
    void MovePointTo(CCLBaseObject* shape, int index, const QPointF& point);
    void MoveLabelBy(CCLBaseObject* shape, int index, const QPointF& from, const QPointF& to);
    void MoveObjectBy(CCLBaseObject* shape, const QPointF& from, const QPointF& to);
    void RemoveObject(CCLBaseObject* shape);
    void RemoveAll(bool deleteShapes);
    void ClearAll();
    void DrawAll(QPainter* painter, bool withCreating);
    void DrawTextNotes(QPainter* painter);
    void CollectRects(CCLBaseObject* shape, QList<QRect>& rects);
    void RecalcAll(bool repaint);
    void SetColor(const QColor& color);
    void SetSecondColor(const QColor& color);
    void SetTextColor(const QColor& color);
    void SetPenWidth(int width);
    void SetDisrate(double disrate);
    void SetNumbits(int numbits);
    void SetUnit(const QString& unit);

    // ---- data rows ----
    void CollectByKind(QList<CCLBaseObject*>& out);
    void CollectRows(int listing, CCLBaseObject* only, int& first, int& last, QList<QString>& names,
                     QList<double>& rows);
    CCLBaseObject* GetObjectByRow(int listing, int row);
    // A typed value for a cell; one that would leave the shape without its
    // results (its points on one line) or with a number that is not finite
    // is refused and the shape left as it was.
    CCLBaseObject* SetObjValue(int listing, int row, int column, double value);

    // ---- accessors ----
    const QList<CCLBaseObject*>& shapes() const { return m_shapes; }
    CCLBaseObject* selected() const { return m_selected; }
    CCLBaseObject* creating() const { return m_creating; }
    int toolKind() const { return m_toolKind; }
    int createState() const { return m_state; }
    // Registered shapes of one kind (prototype left out).
    QList<CCLBaseObject*> shapesOfKind(int kind) const;
    // The kind's prototype, made on first use once its class is registered.
    CCLBaseObject* prototype(int kind);
    double disrate() const { return m_disrate; }
    double unitFactor() const { return m_unitFactor; }
    QString unit() const { return m_unit; }
    int numbits() const { return m_numbits; }
    int groupId() const { return m_groupId; }
    void setGroupId(int group) { m_groupId = group; }

signals:
    void SingalAddNewObj(const CCLBaseObject* pCurObj);
    // Re-emitted by the measurement system for every registered shape.
    void SingalObjAddedOver(const CCLBaseObject* pCurObj);

private:
    // Points, results and row values of the shape that are not finite.
    static int unsoundValues(CCLBaseObject* shape);
    enum Family { FamLines, FamAngles, FamCircles, FamPolylines, FamRects, FamPolygons, FamilyCount };
    static int familyOf(int kind);
    void listingOf(int listing, QList<CCLBaseObject*>& out);
    void forEachPrototype(const std::function<void(CCLBaseObject*)>& fn, bool includeText);
    void applyStyle(CCLBaseObject* proto);

    QList<CCLBaseObject*> m_shapes;
    CCLBaseObject* m_selected = nullptr;
    CCLBaseObject* m_creating = nullptr;
    int m_toolKind = 0;
    QList<CCLBaseObject*> m_kindLists[KindCount + 1]; // index = kind; [0] unused
    int m_state = StateIdle;
    int m_counters[FamilyCount] = {1, 1, 1, 1, 1, 1};
    double m_disrate = 1.0;
    double m_unitFactor = 1.0;
    QString m_unit = QStringLiteral("mm");
    int m_numbits = 2;
    int m_groupId = 0;

    // Style last pushed to the prototypes, for prototypes made later.
    QColor m_styleColor;
    QColor m_styleColor2;
    QColor m_styleTextColor;
    int m_stylePenWidth = 0;
};
