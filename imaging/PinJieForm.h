#pragma once

#include "imaging/StitchMosaic.h"
#include "imaging/StitchStart.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QPixmap>
#include <QRect>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <opencv2/core.hpp>

class NoWheelGraphicsView;
class QFrame;
class QGraphicsEllipseItem;
class QGraphicsPixmapItem;
class StitchMosaicItem;
class QGraphicsScene;
class QGraphicsView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class ThreadPinJie;

// The stitching panel. While the operator moves the specimen under a live
// USB camera it takes one snapshot after another (camera mode 3), lets
// ThreadPinJie measure how far each frame moved, and pastes the frames into
// a growing mosaic (StitchMosaic) shown in its scene; it exports the mosaic
// as JPG and records the flat-field reference.
//
// Thread: GUI thread only. Each arriving frame runs exactly one step of the
// step queue: the first item is the standing mode, later items are one-shot
// steps (0 stop, 1 frame-to-frame match, 3 full search, 4 export, 5 reset,
// 6 rebuild). The worker reads the frames and the mosaic where they are,
// makes each new mosaic (StitchStart) and places each frame in a copy of the
// mosaic that the panel adopts: the interface thread only shows the result.
class PinJieForm : public QWidget {
    Q_OBJECT

public:
    explicit PinJieForm(QWidget* parent = nullptr);
    ~PinJieForm() override;

    // The preview box the main widget puts the live mini preview into.
    QWidget* getGraphicsView() const;
    // Begins a stitching run once the view is hosted.
    void gotoStart();
    // Puts the view back into the panel after a run.
    void takeBackGraphicsView();
    void renewViewGeometry();

    virtual void showMatchLight();

    // The exported picture of a mosaic: trimmed of black border lines, and
    // with `inner` shrunk to the placed frames (never below 1081 pixels a
    // side). Null when the mosaic holds no pixel other than black.
    static QImage exportPicture(const cv::Mat& mosaic, const QMap<int, QRect>& placements, bool inner);

    // State, for the main widget and for inspection.
    QGraphicsView* graphicsView() const;
    const StitchMosaic& mosaic() const { return m_mosaic; }
    const QList<int>& stepQueue() const { return m_queue; }
    int stopState() const { return m_stopState; }
    bool hasWorker() const { return m_worker != nullptr; }

signals:
    void moveGraphicsView(QGraphicsView* view);

public slots:
    void moveGraphicsViewZeroDelay();
    void gotoStartDelay();
    void btnCloseClick();
    void btnCloseFunc();
    void btnResetRealClick();
    void btnResetClick();
    void btnResetClickDelay();
    void pinJieImageSLOT(QImage image);
    void pinJieImageDelay();
    void delaySnapSLOT();
    void btnResetFunc();
    void btnResetFuncDelay();
    void setSceneScale();
    void btnPathClick();
    void btnExportClick();
    void btnExportClickDelay();
    void btnXiaoZhengClick();
    void pinJieYinYingImageSLOT(QImage image);
    void btnPlayClick();
    void changeFenBianLv1080pFinishSLOT(int value);
    void changeFenBianLv1080pFinishDelay();
    void btnStopClick();
    void changeLanguageSLOT(int language);
    void addSIGNSLOT(QPoint pos);
    void startFindFinishSLOT();
    void startFindMaxFinishSLOT();
    void startPrepareFinishSLOT();
    void rbtn1Toggled(bool checked);
    void setVideoStateSLOT(bool recording);
    void setCameraTimingSLOT();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildForm();
    void setControlsEnabled(bool on);
    bool viewHosted() const;
    bool precision() const;
    int sceneSide() const { return StitchMosaic::sceneSide(precision()); }
    int takeStepCode();
    void setHead(int code);
    void runStep(int code);
    void stopStep();
    // A copy of the current frame for the next job, when the worker is free.
    bool prepareJob(const QRect& region);
    void startFrameMatch();
    // The worker's copy of the mosaic with the job's result applied, when it
    // applied it: adopted as the mosaic.
    bool adoptApplied();
    QImage::Format viewFormat() const;
    void startFullSearch();
    void applyStep(const StitchStep& step);
    // Shows the mosaic; with `changed`, only that part of it changed.
    void showMosaic(QRect changed = QRect());
    void fitScene();
    void showMessage(const QString& title, const QString& text);
    QString text(const char* zh, const char* en, const char* tw) const;
    cv::Mat currentMat() const;
    void armSnap(int ms);
    void shutDownWorker();

    // Form.
    QWidget* m_left = nullptr;
    QWidget* m_right = nullptr;
    QPushButton* m_btnXiaoZheng = nullptr;
    QWidget* m_algorithmRow = nullptr;
    QLabel* m_labR = nullptr;
    QRadioButton* m_rbtn1 = nullptr;
    QRadioButton* m_rbtn2 = nullptr;
    QFrame* m_frame = nullptr;
    QLabel* m_label = nullptr;
    QLabel* m_labSize = nullptr;
    QGroupBox* m_groupBox2 = nullptr;
    QLabel* m_labPath = nullptr;
    QLineEdit* m_lineEditPath = nullptr;
    QPushButton* m_btnPath = nullptr;
    QRadioButton* m_rBtnOut = nullptr;
    QRadioButton* m_rBtnIn = nullptr;
    QLabel* m_labOut = nullptr;
    QLabel* m_labIn = nullptr;
    QPushButton* m_btnExport = nullptr;
    QPushButton* m_btnPlay = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnReset = nullptr;
    QPushButton* m_btnRestore = nullptr;
    QPushButton* m_btnClose = nullptr;
    NoWheelGraphicsView* m_view = nullptr;
    QMap<QString, QStringList> m_texts;

    // Scene.
    QGraphicsScene* m_scene = nullptr;
    StitchMosaicItem* m_mosaicItem = nullptr;
    QGraphicsPixmapItem* m_placementOverlay = nullptr;
    QGraphicsPixmapItem* m_matchOverlay = nullptr;
    QGraphicsEllipseItem* m_positionMarker = nullptr;
    QMap<int, QPixmap> m_markers;

    // The run.
    StitchMosaic m_mosaic;
    QList<int> m_queue;
    ThreadPinJie* m_worker = nullptr;
    QImage m_current;
    cv::Mat m_jobFrame; // the frame the running job matches
    StitchStart m_start; // what the worker prepares for the next mosaic
    // The running job's copy of the mosaic, which the worker applies the
    // job's result to, its step and (grown or rebuilt) picture.
    StitchMosaic m_next;
    StitchStep m_step;
    QImage m_picture;
    bool m_markerDuringJob = false; // the position marker was set while a job ran
    bool m_preparing = false; // a new mosaic is being prepared: no job starts until it is adopted
    bool m_masksDue = false; // the run's first mosaic builds the feather masks of the camera's geometry
    StitchMatchResult m_result;
    bool m_resumeAfterReset = false;
    int m_stopState = -1;
    QSet<int> m_noticesShown; // StitchStep::Notice values told during this mosaic
};
