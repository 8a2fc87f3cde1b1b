#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class CCLBaseObject;
class CCLObjectContainer;
class CCrossLineContainer;
class CPlottingContainer;
class CScaleContainer;
class MeasureView;
class QPainter;
struct CTenCrossItem;
struct CrossLineInfo;

// What a press in the view found: a shape part, a cross line or the reticle.
struct MeasureHit {
    int part = 0;   // shapes: 1 vertex, 2 label, 3 body
    int index = -1; // point index for parts 1 and 2
    CCLBaseObject* shape = nullptr;
    CrossLineInfo* line = nullptr;
    CCrossLineContainer* lineSet = nullptr;
    CTenCrossItem* reticle = nullptr;
    bool isEmpty() const { return !shape && !line && !reticle; }
};

// The measurement object of the overlay: owns the shape, scale, cross-line
// and plotting containers, holds the mode, drawing attributes and current
// scale, maps view and image points (MeasureGlobals), forwards the overlay's
// operations to one container each and repaints, and draws everything in one
// fixed order. Registers itself in `measureSystems` and as `measureSys`.
// GUI thread only.
class OzaMeasureSys : public QObject {
    Q_OBJECT
public:
    enum Mode { ModeIdle = 0, ModeShapes = 1, ModeCalibration = 2, ModeFreehand = 3 };

    explicit OzaMeasureSys(QObject* parent = nullptr);
    ~OzaMeasureSys() override;

    // ---- containers and state ----
    CCLObjectContainer* shapeContainer() const { return m_shapes; }
    CScaleContainer* scaleContainer() const { return m_scales; }
    CCrossLineContainer* crossLines() const { return m_crossLines; }
    CPlottingContainer* plotting() const { return m_plotting; }
    bool isActive() const { return m_active; }
    void setActive(bool on) { m_active = on; }
    int mode() const { return m_mode; }
    int shapeFontSize() const { return m_shapeFontSize; }
    int labelFontSize() const { return m_labelFontSize; }
    int penWidth() const { return m_penWidth; }
    QColor shapeColour() const { return m_shapeColour; }
    QColor labelColour() const { return m_labelColour; }
    double disrate() const { return m_disrate; }
    double unitFactor() const { return m_unitFactor; }
    QString unit() const { return m_unit; }
    int numbits() const { return m_numbits; }

    bool showShapes = true;
    bool showCrossLines = true;
    bool showTenCross = true;
    int showPlotting = 1;

    // ---- modes and input (image points unless said) ----
    void SetMode(int mode);
    void CancelMode();
    void StartCalibration();
    void SetScaleKind(int kind);
    void OnMousePress(const QPointF& image);
    void OnMouseMove(const QPointF& image);
    void FinishCreating();
    void MoveHitPart(const MeasureHit& hit, const QPointF& from, const QPointF& to);
    MeasureHit HitTest(const QPoint& view);
    void SelectHit(const MeasureHit& hit);
    void ClearSelections();
    bool IsIdle() const;
    bool IsCreating() const;
    bool IsJustFinished() const;
    bool IsPointsEnough() const;

    // ---- shapes and data rows ----
    void RemoveObject(CCLBaseObject* shape);
    CCLBaseObject* ObjectAtRow(int row);
    // value in image units; returns the edited shape or null.
    CCLBaseObject* SetObjValue(int row, int column, double value);
    // Rows of every shape (only = null) or of one shape as texts: names one
    // per row, values nine per row with `numbits` decimals; the statistics
    // rows of the multi-item shapes carry "Min", "Max", "Avg".
    void GetAllMeasureData(CCLBaseObject* only, int& first, int& last, QList<QString>& names,
                           QList<QString>& values);

    // ---- drawing attributes ----
    void SetPenWidth(int width);                // 1..20
    void SetShapeFontSize(int size);            // 11..128
    void SetLabelFontSize(int size);            // 11..128
    void SetShapeColour(const QColor& colour);  // colour list only
    void SetLabelColour(const QColor& colour);  // colour list only
    void SetLabelColour2(const QColor& colour); // text-mark style
    void SetNumBits(int numbits);               // 0..4
    void SetUnit(const QString& unit);
    static bool IsKnownUnit(const QString& unit);
    // Display units per image pixel: 1 for "pix", else unit factor x disrate.
    double GetRate() const;

    // ---- scales ----
    void SetScaleUnit(const QString& unit);
    bool SetCurScale(const QString& name);
    // length in `unit`; stored in millimetres.
    bool AddScale(const QString& name, const QString& unit, int bits, double length, int scaleLength);
    bool DeleteScale(const QString& name);
    QString ReadLastScaleName() const;
    // A scale's unit, decimals, calibrated length (mm) and pixel length, with
    // the calibration kind in force (0 two points, 1 point to line, 2 circle).
    bool GetScaleInfo(const QString& name, int& kind, QString& unit, int& bits, double& lengthMm,
                      double& pixelLength) const;
    QStringList ScaleNames() const;
    void SetCameraIndex(int camera);
    void LoadSettings();

    // ---- sizes and hooks ----
    void SetViewSize(float width, float height);
    // Fast mode ("FastMode" in ./OtherSet.ini) forces 3840 x 2160.
    void SetImageSize(float width, float height);
    void SetViewWidget(MeasureView* view);
    void SetTextInputCallback(const std::function<QString()>& callback);
    QSize GetTextSize(const QString& text, int pixelSize) const;

    // ---- cross lines ----
    void SetCrossLineCount(int count, bool horizontal);
    void RemoveAllCrossLines();
    void DeleteCrossLine(int index, bool horizontal);
    bool SetCrossLineInfo(int index, bool horizontal, float position, float angle, const QColor& colour,
                          bool visible, bool scale);
    // distance in the current unit
    bool SetCrossLineDatum(int index, double distance, bool horizontal);
    void SelectCrossLine(int index, bool horizontal);
    void SetCrossLineColour(const QColor& colour);
    void SetCrossLinesVisible(bool on);
    void SetCrossLineWidth(int width);
    // Drags a line from its position at the press by a view displacement.
    bool DragCrossLine(CrossLineInfo* line, float startPosition, const QPoint& viewDelta);
    int CrossLineCount(bool horizontal) const;
    QColor CrossLineColour() const;

    // ---- reticle ----
    void ShowTenCross();
    void HideTenCross();
    void SetTenCrossColour(const QColor& colour, bool scale);
    void SetTenCrossCentre(float x, float y);
    void SaveTenCross();
    void DragTenCross(CTenCrossItem* item, const QPointF& start, const QPoint& viewDelta);

    // ---- plotting ----
    void PlottingPress(const QPoint& view);
    void PlottingMove(const QPoint& view);
    void PlottingRelease(const QPoint& view);
    void RemoveBrush(int index);
    int BrushAt(const QPoint& view) const;
    void SetScaleBarVisible(bool on);
    void SetScaleBarColour(const QColor& colour);
    void SetScaleBarLength(int value);
    void SetScaleBarWidth(int width);

    void Draw(QPainter& painter);

public slots:
    void setScalePara_slot(QString unit, double disrate, int numbits);
    void ContainerAddObj(const CCLBaseObject* object);

private:
    void cancelShapeCreation();
    void tellScaleBar(const QString& name, bool withName);
    void repaintAllShapes();
    // Repaints every shape before and after `change` and drops their label caches.
    void relabelAll(const std::function<void()>& change);

    QColor m_shapeColour = QColor(Qt::red);
    int m_penWidth = 1;
    int m_shapeFontSize = 22;
    int m_labelFontSize = 22;
    QColor m_labelColour2;
    QColor m_labelColour;
    CPlottingContainer* m_plotting = nullptr;
    CCrossLineContainer* m_crossLines = nullptr;
    CScaleContainer* m_scales = nullptr;
    CCLObjectContainer* m_shapes = nullptr;
    int m_mode = ModeIdle;
    double m_disrate = 1.0;
    double m_unitFactor = 1.0;
    QString m_unit = QStringLiteral("mm");
    int m_numbits = 2;
    bool m_active = false;
};
