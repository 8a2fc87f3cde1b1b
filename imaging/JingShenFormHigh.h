#pragma once

#include "imaging/ThreadJingShenHigh.h"

#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QFrame;
class QGraphicsPixmapItem;
class QGraphicsScene;
class QGraphicsView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QTimer;
class QToolButton;
class NoWheelGraphicsView;

// The focus-stacking panel: the operator starts a run, turns the focus of a
// live USB camera, and watches the fused picture grow in the panel's
// graphics view (hosted by the main widget while the mode runs); Stop,
// Continue, Reset, Close and Export. Close, Reset and Export pressed while
// the worker runs only stop it; the action is carried out when its thread has
// finished. The preview shows a copy of the worker's latest complete picture
// every 33 ms. GUI thread only.
class JingShenFormHigh : public QWidget {
    Q_OBJECT
public:
    explicit JingShenFormHigh(QWidget* parent = nullptr);
    ~JingShenFormHigh() override;

    QWidget* getPreviewFrame() const;
    void takeBackGraphicsView();
    // The program is ending: the worker stops at once, inside its pass, so
    // that it has left by the time the panel is destroyed. An Export, Reset
    // or Close that waits for the worker is not carried out any more.
    void stopForExit();
    void renewViewGeometry();
    ThreadJingShenHigh& worker() { return thread; }

    // Export save dialog (tests answer it): (title, preselected file) ->
    // chosen file or empty.
    using FileChooser = std::function<QString(const QString& title, const QString& preselected)>;
    static void setFileChooser(FileChooser chooser);

signals:
    void moveLabImgHigh(QGraphicsView* view);

public slots:
    void goin();
    void btnCloseClick();
    void btnStartClick();
    void btnStopClick();
    void finishedSLOT();
    void btnResetRealClick();
    void btnResetRealDelay();
    void btnResetClick();
    void oneSecondDelay();
    void changeLanguageSLOT(int language);
    void btnPathClick();
    void btnExportClick();
    void snapJingShenBeginSLOT();
    void timeoutSLOT();
    void setSceneScale();
    void setVideoStateSLOT(bool recording);
    void setCameraTimingSLOT();
    void checkBoxToggled(bool on);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Stores one of the panel's settings.
    void store(const char* key, const QVariant& value);
    void buildUi();
    bool viewAtHome() const;
    void releaseTimer();
    void closeSteps();
    // The box of texts[which] in the interface's language, `detail` in its %1.
    void message(int which, const QString& detail = QString());
    // Shows how far the stack is: the share of the picture at the sharpest
    // focus the run was offered, and whether it is still sharpening.
    void showProgress();
    // Export while the stack is still sharpening: the box asks whether to
    // export what it holds (true) or go on stacking (false).
    bool exportWhileSharpening(int rising);
    // What a refusal of memory refused (`what`, or the run's picture size
    // when empty) and the address space the program holds against its limit,
    // in the interface's language.
    QString refusedMemory(const QString& what) const;
    // The system refused what a run needs before anything was placed: the
    // box `which` says so and the panel is back before Start, Export grey.
    void startRefused(int which, const QString& detail = QString());

    QWidget* widget_left = nullptr;
    QWidget* widgetContent = nullptr;
    QWidget* widget = nullptr;
    QLabel* labTips = nullptr;
    QFrame* frame = nullptr;
    QLabel *label = nullptr, *labSize = nullptr, *labPath = nullptr;
    QLabel* labProgress = nullptr; // how far the stack is; empty before a run
    int shownRising = -1;          // the rising cells labProgress shows; -1: none
    QGroupBox* groupBox_2 = nullptr;
    QLineEdit* lineEditPath = nullptr;
    QToolButton* btnPath = nullptr;
    QPushButton* btnExport = nullptr;
    QCheckBox* checkBox = nullptr;
    QWidget* widgetRun = nullptr;
    QToolButton *btnStart = nullptr, *btnStop = nullptr, *btnReset = nullptr, *btnClose = nullptr;
    QWidget* widget_rigtht = nullptr;
    QPointer<NoWheelGraphicsView> graphicsView; // hosted by the main widget during a run

    QMap<QString, QStringList> languageTable;
    ThreadJingShenHigh thread;
    QString startSuffix;
    QTimer* previewTimer = nullptr;
    int shownFused = -1; // the worker's fused count of the picture in the view; -1: none shown
    bool closePending = false;
    bool resetPending = false;
    // The program is ending: an action that waited for the worker is dropped.
    bool exiting = false;
    QGraphicsScene* scene = nullptr;
    QGraphicsPixmapItem* pixmapItem = nullptr;
    std::unique_ptr<QSettings> settings;
};
