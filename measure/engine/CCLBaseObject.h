#pragma once

#include <QColor>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

class QPainter;

// Kind codes of the 31 shape classes (the container's tool kinds).
enum ShapeKind : int {
    KindNone = 0,
    KindP2P = 1,
    KindP2L = 2,
    KindL2L = 3,
    KindP2C = 4,
    KindL2C = 5,
    KindC2C = 6,
    KindR2R = 7,
    KindAngle = 8,
    KindArc = 9,
    KindRect = 10,
    KindCircle = 11,
    KindCircleM = 12,
    KindConCircle = 13,
    KindParallel = 14,
    KindParallelH = 15,
    KindParallelV = 16,
    KindPolygon = 17,
    KindLasso = 18,
    KindPolyLine = 19,
    KindP2CNear = 20,
    KindP2CFar = 21,
    KindL2CNear = 22,
    KindL2CFar = 23,
    KindC2CNear = 24,
    KindC2CFar = 25,
    KindMulP2L = 26,
    KindCL2CL = 27,
    KindSign1 = 28,
    KindSign2 = 29,
    KindSign3 = 30,
    KindText = 31,
    KindCount = 31,
};

// Data-table column codes (the nine numeric columns of a row).
enum ResultColumn : int {
    ColLength = 0,   // "Lenght"
    ColGirth = 1,    // "Girth"
    ColArea = 2,     // "Area"
    ColAngle = 3,    // "Angle"
    ColRadian = 4,   // "Radian"
    ColWidth = 5,    // "Width"
    ColHeight = 6,   // "Hight"
    ColRadius = 7,   // "Radius"
    ColDiameter = 8, // "Diameter"
    ColumnCount = 9,
};

// The abstract measurement shape. Points are image pixels with y up; results
// are image units (pixels, square pixels, degrees, radians) and are scaled
// only when shown. Results, scale and every shown value are double precision. Hit tests take view pixels. Created, copied and deleted
// by CCLObjectContainer only (deleted through this class). GUI thread only.
class CCLBaseObject {
public:
    CCLBaseObject();
    // A copy takes every field but the group id (as operator=).
    CCLBaseObject(const CCLBaseObject& other);
    CCLBaseObject& operator=(const CCLBaseObject& other);
    virtual ~CCLBaseObject();

    // ---- the 30 operations ----
    // Asked after a point that did not complete the shape: true ends creation.
    virtual bool IsCreateCanceled();
    // Creation ended from outside: true when the shape completed itself.
    virtual bool FinishMulti();
    virtual int Reset();
    virtual bool SnapPoint(const QPointF& point, QPointF& snapped);
    // A clicked vertex, not the trailing label anchor.
    virtual bool IsVertexValid(int i);
    // 2 on the label box (index = last point), else 0.
    virtual int HitTestLabel(const QPoint& view, int& index);
    // 1 within 5 view px of a vertex (index = that vertex), else 0 and -1.
    virtual int HitTestVertex(const QPoint& view, int& index);
    virtual void CollectCreatingRects(QList<QRect>& rects) = 0;
    virtual void CollectObjRects(QList<QRect>& rects) = 0;
    // Repaints the creation rectangles on the registered view.
    virtual void UpdateObj();
    // Fixed-count shapes append the label anchor the first time they complete.
    virtual bool IsFinished() = 0;
    virtual bool IsMovePointValid(const QPointF& point, int index);
    virtual bool IsAddPointValid(const QPointF& point, int reserved = 0);
    virtual void CalcResult() = 0;
    // Label text for a shown value (already multiplied by the display factor).
    virtual QString GetShowText(double value, bool force = false) = 0;
    // Nonzero when the view point lies on the body.
    virtual int HitTest(const QPoint& view) = 0;
    virtual void DrawObj(QPainter* painter, bool withLabel) = 0;
    virtual void DrawCreating(QPainter* painter) = 0;
    virtual void AddPoint(const QPointF& point) = 0;
    virtual void MoveCurPoint(const QPointF& point) = 0;
    // Changes the shape so that `part` takes `value` (image units). A value
    // that leaves the figure without its results or with numbers that are
    // not finite is not refused here: CCLObjectContainer::SetObjValue, the
    // one road of typed values, puts the shape back.
    virtual bool SetValue(int part, double value) = 0;
    virtual int GetValuesPerRow() = 0;
    // Column code of value j of a row, -1 = not shown.
    virtual int GetResultColumn(int j) = 0;
    // Part that SetValue edits for a cell, -1 = not editable.
    virtual int GetEditPart(int column, int rowInShape) = 0;
    virtual int GetObjType();
    virtual void CollectKeyPoints(QList<QPointF>& points);
    virtual bool IsPointsEnough() = 0;
    virtual bool CalcMinMax(double& minimum, double& maximum, double& average);
    virtual int GetResultCount();
    virtual void SetLanguage(int language) = 0;

    // ---- common operations ----
    // 1.0 for "pix", else scale factor x unit factor.
    double GetUnitRate() const;
    // Running number of this shape's family; -1 without a measurement system.
    int GetFamilyCounter() const;
    QSize GetTextSize(const QString& text);
    // Label box size (cached with the longest line length).
    QSize GetMultiLineTextSize(const QString& text);
    void DrawHandles(QPainter* painter);
    // Part code (1 vertex, 3 body, 2 label, 0 none) and point index.
    int HitTestObj(const QPoint& view, int& index);
    bool MovePoint(const QPointF& point, int index);
    bool MoveLabelBy(const QPointF& to, const QPointF& from, int index);
    bool MoveBy(const QPointF& from, const QPointF& to);

    // ---- data rows ----
    int GetRowCount();
    void BuildRows(QList<double>& rows);
    void BuildConCircleRows(QList<double>& rows);
    void BuildRowNames(QList<QString>& names);

    // ---- fields ----
    QVector<QPointF> points;        // clicked points (+ label anchor when finished)
    QVector<QPointF> derivedPoints; // computed for drawing
    QList<double> results;          // image units
    int kind = KindNone;
    QColor color = QColor(Qt::red);  // shape pen
    QColor color2 = QColor(Qt::red); // label text
    int penWidth = 1;
    int fontSize = 11;
    QString name;
    QPointF curPoint;          // mouse position while created
    int cachedLineLength = -1; // longest label line, -1 none
    QSize cachedLabelSize{0, 0};
    int labelNumber = -1;
    int mode = 0;
    int language = 0;
    double disrate = 1.0;    // millimetres per image pixel
    double unitFactor = 1.0; // display units per millimetre
    QString unit = QStringLiteral("mm");
    int numbits = 2;
    int groupId = -1;

private:
    void copyFrom(const CCLBaseObject& other);
};
