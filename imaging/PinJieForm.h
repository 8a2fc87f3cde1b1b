#pragma once

#include "imaging/StitchMosaic.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QPixmap>
#include <QRect>
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
class StitchRun;
struct StitchStep;

// The stitching panel. While the operator moves the specimen under a live
// USB camera, its run (StitchRun) takes one snapshot after another, has
// ThreadPinJie measure how far each frame moved and paste it into a growing
// mosaic (StitchMosaic); the panel shows the mosaic in its scene, turns its
// buttons into the run's steps, exports the mosaic as JPG and records the
// flat-field reference.
//
// Thread: GUI thread only. The hub's frames go to the run; the panel shows
// what the run reports (each applied step, each new mosaic) and does the
// run's export (4) and reset (5) steps.
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

    // The part of a mosaic that is exported: trimmed of black border lines,
    // and with `inner` shrunk to where every pixel lies in a placed frame
    // (never below 1081 pixels a side), found from the placements
    // themselves. Empty when the mosaic holds no pixel other than black.
    // Allocates nothing of the mosaic's size.
    static QRect exportRect(const cv::Mat& mosaic, const QMap<int, QRect>& placements, bool inner);
    // That part as a picture sharing the mosaic's pixels, not a copy: it
    // keeps them alive while it lives. Null when nothing is there.
    static QImage exportPicture(const cv::Mat& mosaic, const QMap<int, QRect>& placements, bool inner);
    // Writes an exported picture as JPG at path, encoded as it goes into
    // the file. Empty when done, else the reason in the hub's language
    // (not enough memory where the system refused it).
    static QString writeExport(const QImage& picture, const QString& path);

    // State, for the main widget and for inspection.
    QGraphicsView* graphicsView() const;
    const StitchMosaic& mosaic() const;
    const QList<int>& stepQueue() const;
    int stopState() const;
    bool hasWorker() const;

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
    // The old mosaic's scene goes before the run makes a new one.
    void clearScene();
    // The run's new mosaic and its overlays in the scene.
    void showNewMosaic();
    // Play shown in place of Stop, both disabled until the stop step runs.
    void showStopped();
    void showRunControls();
    void applyStep(const StitchStep& step);
    // Shows the mosaic; with `changed`, only that part of it changed.
    void showMosaic(QRect changed = QRect());
    // Gives the mosaic item `full`, the mosaic's picture; where the system
    // refused memory for it (null), the mosaic reduced to fit the view's
    // needs, scaled up to the mosaic's size in the scene, and the run stops
    // with the not-enough-memory box: the frames it would place could not
    // be shown.
    void setMosaicPicture(const QPixmap& full);
    void fitScene();
    void showMessage(const QString& title, const QString& text);
    QString text(const char* zh, const char* en, const char* tw) const;

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

    StitchRun* m_run = nullptr;
    bool m_resumeAfterReset = false; // the reset goes on stitching (Reset, an algorithm switch), not Close
};
