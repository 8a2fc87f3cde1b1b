#pragma once

#include "measure/engine/ScaleInfo.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

class QPainter;

// The calibration scales of the current camera, the current scale and the
// calibration figure being drawn (two points, a point and a line, or a
// circle). Entry 0 is always the built-in "default" record, never saved and
// never deleted. Scales live in SCALE_INFO.ini, group Camera_N_scl_K per
// scale and Camera_N_LastName under "LastName". GUI thread only.
class CScaleContainer : public QObject {
    Q_OBJECT
public:
    enum Kind { TwoPoints = 0, PointToLine = 1, Circle = 2 };
    // Calibration states: idle, armed, collecting, complete.
    enum State { Idle = 0, Armed = 1, Collecting = 2, Complete = 3 };

    explicit CScaleContainer(QObject* parent = nullptr);
    ~CScaleContainer() override;

    // Path of SCALE_INFO.ini shared by every container ("SCALE_INFO.ini" in
    // the working directory until the overlay points it at INI/).
    static void setFilePath(const QString& path);
    static QString filePath();

    void setCameraIndex(int camera) { m_camera = camera; }
    int cameraIndex() const { return m_camera; }

    // Load (true) or save (false) this camera's scales.
    void ReadWriteIni(bool load);
    // From the completed figure; value in millimetres. Refuses bits > 4,
    // value < 0.0001, scaleLength > 1000, a unit not in the table, the
    // name "default" (reserved for the built-in record) and a completed
    // figure that has no length (IsFigureDegenerate). Without a figure the
    // scale spans 1 pixel.
    bool AddScale(const QString& name, const QString& unit, int bits, double value, int scaleLength);
    bool SelectScale(const QString& name);
    bool SelectScaleAt(int index);
    bool DeleteScale(const QString& name);
    // Searching from the last record down to index 0; null when absent.
    ScaleInfo* FindScale(const QString& name) const;
    void GetScaleNames(QStringList& out) const;
    QString ReadLastScaleName() const;

    void AddCalibrationPoint(const QPointF& image);
    void MoveCalibrationPoint(const QPointF& image);
    void CancelCalibration();
    bool IsCalibrating() const { return m_state != Idle; }
    void DrawCalibration(QPainter& painter);
    void CollectCalibrationRects(QList<QRect>& rects);
    // Length of the figure in image pixels (1.0 when degenerate).
    double CalibrationLength() const;
    // Why a completed figure cannot define a scale to the decimals shown:
    // a circle whose middle point (the one between the other two) lies
    // within 0.5 px of the chord of the other two, a point within 0.5 px of
    // the line (or a line shorter than 1 px), a length below 1 px; a third
    // point on the first (within kSameSpot, as a click on the second is
    // ignored), a slip that turns a two-click figure into a circle of any
    // size; a circle whose shortest side is below kMinCircleSideShare of its
    // longest, too short to set the curve.
    enum FigureFault {
        FigureSound = 0,
        FigureFlatCircle,
        FigurePointOnLine,
        FigureTooShort,
        FigureSameSpot,
        FigureShortSide
    };
    FigureFault FigureFaultOf() const;
    bool IsFigureDegenerate() const { return FigureFaultOf() != FigureSound; }
    // Image pixels: nearer than this to the chord or the line is refused.
    static constexpr double kMinOffLine = 0.5;
    // Image pixels: a figure shorter than this is refused.
    static constexpr double kMinLength = 1.0;
    // Image pixels, in x and in y: a click this near an earlier one is on it.
    static constexpr double kSameSpot = 5.0;
    // Two points of a circle closer than this share of the figure's longest
    // side leave the curve to the direction between them, which a click
    // cannot give.
    static constexpr double kMinCircleSideShare = 0.05;

    int state() const { return m_state; }
    void setState(int state) { m_state = state; }
    int kind() const { return m_kind; }
    void setKind(int kind) { m_kind = kind; }
    QString currentName() const { return m_currentName; }
    const QList<ScaleInfo*>& scales() const { return m_scales; }
    QPointF firstPoint() const { return m_first; }
    QPointF secondPoint() const { return m_second; }
    QPointF measuredPoint() const { return m_measured; }

signals:
    void setScalePara_signal(QString unit, double disrate, int numbits);

private:
    void resetList();
    double figureLength() const;
    void emitSelected(int index);
    QString groupPrefix() const;
    bool isOwnGroup(const QString& group) const;

    QList<ScaleInfo*> m_scales;
    QPointF m_first{-1, -1};
    QPointF m_measured{-1, -1};
    QPointF m_second{-1, -1};
    QPointF m_moving{-1, -1};
    int m_state = Idle;
    QString m_currentName = QStringLiteral("default");
    int m_kind = TwoPoints;
    int m_camera = 0;
};
