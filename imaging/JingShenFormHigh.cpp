#include "app/hub/SaveErrorBox.h"
#include "imaging/JingShenFormHigh.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveFileDialog.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "camera/SnapshotFiles.h"
#include "camera/UVCCamera.h"
#include "imaging/FocusStackMath.h"
#include "imaging/NoWheelGraphicsView.h"
#include "platform/AppPaths.h"
#include "platform/HeapReturn.h"
#include "platform/MemoryRefusal.h"
#include "platform/ProcessEnd.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

JingShenFormHigh::FileChooser& chooserSlot() {
    static JingShenFormHigh::FileChooser chooser;
    return chooser;
}

int scaled(int designed) { return designed * uiSizeFactor / 10; }

// The longer side of the picture the view keeps of a run whose whole copy
// the system refused.
constexpr int kReducedSide = 2048;

// Whole percent of the picture at its sharpest focus, rounded down: a stack
// still sharpening never reads 100.
int sharpShare(int risingCells) {
    return (FocusStackMath::kGridCells - risingCells) * 100 / FocusStackMath::kGridCells;
}

UVCCamera* usbCamera() { return dynamic_cast<UVCCamera*>(MessagePassing::instance()->currentCamera()); }

// The interface's language as an index into the three texts (0 when unknown).
int interfaceLanguage() {
    const int lang = MessagePassing::instance()->language();
    return lang < 0 || lang > 2 ? 0 : lang;
}

} // namespace

void JingShenFormHigh::setFileChooser(FileChooser chooser) { chooserSlot() = std::move(chooser); }

JingShenFormHigh::JingShenFormHigh(QWidget* parent) : QWidget(parent) {
    setObjectName("JingShenFormHigh");
    buildUi();
    closePending = false;
    resetPending = false;
    languageTable = {
        {"label", {"图像尺寸：", "Size:", "圖像尺寸："}},
        {"groupBox_2", {"保存图片", "Save Image", "保存圖片"}},
        {"labPath", {"路径:", "Path:", "路徑:"}},
        {"btnPath", {"选择", "Select", "選擇"}},
        {"btnExport", {"导出", "Export", "導出"}},
        {"btnStart", {"开始", "Start", "開始"}},
        {"btnStart_1", {"继续", "Continue", "繼續"}},
        {"btnStop", {"停止", "Stop", "停止"}},
        {"btnClose", {"退出", "Close", "退出"}},
        {"labTips", {"提示：建议从下向上移动", "Tip:Move from bottom to top", "提示：建議從下向上移動"}},
        {"btnReset", {"重置", "Reset", "重置"}},
        {"checkBox", {"缩放并对位", "Zoom And Align", "縮放並對位"}},
        {"progressDone", {"已全部达到最清晰", "Sharpest focus reached throughout", "已全部達到最清晰"}},
        {"progressRising",
         {"仍在变清晰：%1% 已达到最清晰", "Still sharpening: %1% at its sharpest",
          "仍在變清晰：%1% 已達到最清晰"}},
        {"askTitle", {"提示", "Tip", "提示"}},
        {"askExport",
         {"景深合成仍在变清晰（%1% 已达到最清晰），部分区域可能仍然模糊。仍要导出吗？",
          "Focus stacking is still sharpening (%1% at its sharpest): parts of the picture may still be "
          "blurred. Export anyway?",
          "景深合成仍在變清晰（%1% 已達到最清晰），部分區域可能仍然模糊。仍要匯出嗎？"}},
        {"askYes", {"导出", "Export", "匯出"}},
        {"askNo", {"继续合成", "Keep stacking", "繼續合成"}},
    };

    settings = std::make_unique<QSettings>(RegularFile::settingsName("./JingShenFormHigh.ini"),
                                           QSettings::IniFormat);
    MessagePassing* hub = MessagePassing::instance();
    lineEditPath->setText(hub->checkImgPath(settings.get()));

    connect(btnClose, SIGNAL(clicked()), this, SLOT(btnCloseClick()));
    connect(btnStart, SIGNAL(clicked()), this, SLOT(btnStartClick()));
    connect(btnStop, SIGNAL(clicked()), this, SLOT(btnStopClick()));
    connect(btnReset, SIGNAL(clicked()), this, SLOT(btnResetRealClick()));
    connect(btnPath, SIGNAL(clicked()), this, SLOT(btnPathClick()));
    connect(btnExport, SIGNAL(clicked()), this, SLOT(btnExportClick()));
    connect(checkBox, SIGNAL(toggled(bool)), this, SLOT(checkBoxToggled(bool)));
    if (settings->value("isChecked", true).toBool())
        checkBox->setChecked(true);

    connect(hub, SIGNAL(snapJingShenBeginSIGNAL()), this, SLOT(snapJingShenBeginSLOT()), Qt::QueuedConnection);
    connect(&thread, SIGNAL(finished()), this, SLOT(finishedSLOT()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setVideoStateSIGNAL(bool)), this, SLOT(setVideoStateSLOT(bool)));
    connect(hub, SIGNAL(setCameraTimingSIGNAL()), this, SLOT(setCameraTimingSLOT()));
    changeLanguageSLOT(hub->language());
    QTimer::singleShot(100, this, SLOT(oneSecondDelay()));

    btnStop->hide();
    btnClose->setEnabled(false);
    btnReset->setEnabled(false);
    btnExport->setEnabled(false);

    scene = new QGraphicsScene(this);
    graphicsView->setScene(scene);
    graphicsView->setInteractive(true);
    graphicsView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    graphicsView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    graphicsView->setDragMode(QGraphicsView::ScrollHandDrag);
    graphicsView->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    scene->setSceneRect(0, 0, 1920, 1080);
    pixmapItem = scene->addPixmap(QPixmap());
    pixmapItem->setPos(0, 0);
    pixmapItem->setZValue(0);

    if (hub->isVideoState() || hub->isCameraTiming())
        btnStart->setEnabled(false);
    widget->hide();

    // A reset on the worker clears the camera's link at once, so that no
    // frame starts a new run before the panel asks for one.
    ThreadJingShenHigh::setCameraUnlinkHook([](ThreadJingShenHigh* w) {
        if (UVCCamera* cam = usbCamera())
            cam->unlinkFocusConsumer(w);
    });
}

JingShenFormHigh::~JingShenFormHigh() {
    ThreadJingShenHigh::setCameraUnlinkHook(nullptr);
    if (UVCCamera* cam = usbCamera())
        cam->unlinkFocusConsumer(&thread);
    if (thread.isRunning()) {
        thread.requestStop();
        thread.wait();
    }
    releaseTimer();
    // The view may be hosted elsewhere: it goes with the panel.
    delete graphicsView.data();
}

void JingShenFormHigh::stopForExit() {
    exiting = true;
    ProcessEnd::mark("focus worker asked to stop");
    thread.stopForExit();
}

void JingShenFormHigh::buildUi() {
    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    widget_left = new QWidget(this);
    widget_left->setObjectName("widget_left");
    root->addWidget(widget_left, 1);
    widget_rigtht = new QWidget(this);
    widget_rigtht->setObjectName("widget_rigtht");
    widget_rigtht->setFixedWidth(0); // the view is seen only while the main widget hosts it
    root->addWidget(widget_rigtht);
    graphicsView = new NoWheelGraphicsView(widget_rigtht);
    graphicsView->setObjectName("graphicsView");
    graphicsView->setStyleSheet("QWidget#graphicsView{\nbackground-color:rgb(0, 0, 0)\n}");

    widgetContent = new QWidget(widget_left);
    widgetContent->setObjectName("widgetContent");
    auto* leftLayout = new QVBoxLayout(widget_left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(widgetContent);
    auto* col = new QVBoxLayout(widgetContent);
    const int m = scaled(10);
    col->setContentsMargins(m, m, m, m);
    col->setSpacing(scaled(8));

    widget = new QWidget(widgetContent);
    widget->setObjectName("widget");
    auto* tipsRow = new QHBoxLayout(widget);
    tipsRow->setContentsMargins(0, 0, 0, 0);
    labTips = new QLabel(widget);
    labTips->setObjectName("labTips");
    tipsRow->addWidget(labTips);
    col->addWidget(widget);

    frame = new QFrame(widgetContent);
    frame->setObjectName("frame");
    frame->setFrameShape(QFrame::Box);
    frame->setMinimumSize(scaled(254), scaled(142));
    frame->setMaximumSize(scaled(254), scaled(142));
    col->addWidget(frame, 0, Qt::AlignHCenter);

    auto* sizeRow = new QHBoxLayout();
    label = new QLabel(widgetContent);
    label->setObjectName("label");
    labSize = new QLabel(widgetContent);
    labSize->setObjectName("labSize");
    sizeRow->addWidget(label);
    sizeRow->addWidget(labSize, 1);
    col->addLayout(sizeRow);

    groupBox_2 = new QGroupBox(widgetContent);
    groupBox_2->setObjectName("groupBox_2");
    groupBox_2->setStyleSheet("QGroupBox{border: 1px solid rgb(155,155,155); border-radius:5px;}");
    auto* g = new QVBoxLayout(groupBox_2);
    g->setContentsMargins(m, scaled(20), m, m);
    auto* pathRow = new QHBoxLayout();
    labPath = new QLabel(groupBox_2);
    labPath->setObjectName("labPath");
    lineEditPath = new QLineEdit(groupBox_2);
    lineEditPath->setObjectName("lineEditPath");
    lineEditPath->setReadOnly(true);
    btnPath = new QToolButton(groupBox_2);
    btnPath->setObjectName("btnPath");
    pathRow->addWidget(labPath);
    pathRow->addWidget(lineEditPath, 1);
    pathRow->addWidget(btnPath);
    g->addLayout(pathRow);
    btnExport = new QPushButton(groupBox_2);
    btnExport->setObjectName("btnExport");
    g->addWidget(btnExport);
    col->addWidget(groupBox_2);

    checkBox = new QCheckBox(widgetContent);
    checkBox->setObjectName("checkBox");
    col->addWidget(checkBox);

    widgetRun = new QWidget(widgetContent);
    widgetRun->setObjectName("widgetRun");
    widgetRun->setFixedHeight(scaled(40));
    btnStart = new QToolButton(widgetRun);
    btnStart->setObjectName("btnStart");
    btnStop = new QToolButton(widgetRun);
    btnStop->setObjectName("btnStop");
    col->addWidget(widgetRun);
    auto* row = new QHBoxLayout();
    btnReset = new QToolButton(widgetContent);
    btnReset->setObjectName("btnReset");
    btnClose = new QToolButton(widgetContent);
    btnClose->setObjectName("btnClose");
    for (QToolButton* b : {btnReset, btnClose}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setFixedHeight(scaled(40));
        row->addWidget(b);
    }
    col->addLayout(row);
    col->addStretch(1);
    // Laid below the buttons by hand, outside the column: in it, the column
    // would give up room the controls above it need.
    labProgress = new QLabel(widgetContent);
    labProgress->setObjectName("labProgress");
    labProgress->setWordWrap(true);
    labProgress->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMinimumHeight(scaled(560));
    resize(scaled(300), scaled(560));
    renewViewGeometry();
}

QWidget* JingShenFormHigh::getPreviewFrame() const { return frame; }

bool JingShenFormHigh::viewAtHome() const { return graphicsView->parentWidget() == widget_rigtht; }

void JingShenFormHigh::takeBackGraphicsView() {
    graphicsView->setParent(widget_rigtht);
    graphicsView->hide();
}

void JingShenFormHigh::renewViewGeometry() {
    for (QToolButton* b : {btnStart, btnStop})
        b->setGeometry(0, 0, widgetRun->width(), widgetRun->height());
    const QRect under = btnReset->geometry().united(btnClose->geometry());
    labProgress->setGeometry(under.left(), under.bottom() + scaled(10), under.width(), scaled(60));
}

void JingShenFormHigh::oneSecondDelay() {
    widgetContent->resize(widget_left->size());
    renewViewGeometry();
}

void JingShenFormHigh::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    renewViewGeometry();
    // Inside the column's margins, so that the box never reaches past it.
    const QMargins m = widgetContent->layout()->contentsMargins();
    const int side = std::min(widget_left->width() - m.left() - m.right(), 65 * uiSizeFactor);
    if (side <= 0 || side == frame->minimumWidth())
        return;
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    const QSize fs = cam ? cam->frameSize(false) : QSize(1920, 1080);
    if (fs.width() <= 0)
        return;
    const QSize s(side, side * fs.height() / fs.width());
    frame->setMinimumSize(s);
    frame->setMaximumSize(s);
    for (QObject* o : frame->children())
        if (auto* w = qobject_cast<QWidget*>(o)) {
            w->resize(s);
            break;
        }
}

void JingShenFormHigh::message(int which, const QString& detail) {
    static const char* const texts[5][3] = {
        {"请相机退出暂停状态，再试！", "Please the camera go to living and try again!",
         "請相機退出暫停狀態，再試！"},
        {"此相机不支持该功能。", "This camera does not support this feature.", "此相機不支持該功能。"},
        {"内存不足，景深合成已停止。已合成的图像仍可导出。",
         "Not enough memory: focus stacking has stopped. The picture stacked so far can still be exported.",
         "記憶體不足，景深合成已停止。已合成的圖像仍可匯出。"},
        {"内存不足，景深合成未能开始（%1）。", "Not enough memory: focus stacking could not start (%1).",
         "記憶體不足，景深合成未能開始（%1）。"},
        {"景深合成未能开始：无法载入所需的库（%1）。",
         "Focus stacking could not start: a library it needs did not load (%1).",
         "景深合成未能開始：無法載入所需的庫（%1）。"},
    };
    const int lang = interfaceLanguage();
    QString text = QString::fromUtf8(texts[which][lang]);
    if (text.contains("%1"))
        text = text.arg(detail);
    QMessageBox::information(nullptr, "Error", text, QMessageBox::Ok);
}

QString JingShenFormHigh::refusedMemory(const QString& what) const {
    static const char* const texts[3][3] = {
        {"%1 x %2 的图像", "%1 x %2 pictures", "%1 x %2 的圖像"},
        {"%1；程序占用 %2 MB 地址空间", "%1; the program holds %2 MB of address space",
         "%1；程式佔用 %2 MB 位址空間"},
        {"%1；程序占用 %2 MB 地址空间，上限 %3 MB",
         "%1; the program holds %2 MB of address space of the %3 MB it may use",
         "%1；程式佔用 %2 MB 位址空間，上限 %3 MB"},
    };
    const int lang = interfaceLanguage();
    QString refused = what;
    if (refused.isEmpty()) {
        QSize size = thread.outputSize();
        BaseCamera* cam = MessagePassing::instance()->currentCamera();
        if (size.isEmpty() && cam)
            size = cam->frameSize(false);
        refused = QString::fromUtf8(texts[0][lang]).arg(size.width()).arg(size.height());
    }
    long long held = 0, limit = 0;
    if (!MemoryRefusal::addressSpace(held, limit))
        return refused;
    const QString text = QString::fromUtf8(texts[limit > 0 ? 2 : 1][lang]).arg(refused).arg(held);
    return limit > 0 ? text.arg(limit) : text;
}

void JingShenFormHigh::startRefused(int which, const QString& detail) {
    // A refusal of memory says what was refused (the run's pictures or the
    // library) and how much of the address space the program held then.
    const QString told = which == 3 ? refusedMemory(detail) : detail;
    // Nothing was placed: the panel is as before Start, with nothing to
    // export, and the camera no longer feeds the worker; a frame still on
    // its way is dropped (it would try again behind the box). Close gives
    // back a view that Start had taken.
    releaseTimer();
    thread.resetData(true);
    startSuffix.clear();
    changeLanguageSLOT(MessagePassing::instance()->language());
    btnStart->setEnabled(true);
    btnStart->show();
    btnStop->setEnabled(true);
    btnStop->hide();
    btnExport->setEnabled(false);
    btnReset->setEnabled(false);
    btnClose->setEnabled(!viewAtHome());
    checkBox->setEnabled(true);
    message(which, told);
}

void JingShenFormHigh::goin() {
    thread.resetData();
    if (UVCCamera* cam = usbCamera())
        cam->setFocusConsumer(&thread);
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->snapImage(AppPaths::appDir() + "/jingshen", 7, true, false, Qt::red, 0, 0);
}

void JingShenFormHigh::btnStartClick() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam || !cam->isPlaying()) {
        message(0);
        return;
    }
    if (startSuffix == "_1") {
        thread.start();
        btnStart->hide();
        btnStop->show();
        checkBox->setEnabled(false);
        return;
    }
    if (viewAtHome() && !cam->supportComposite()) {
        message(1);
        return;
    }
    // What the run needs is loaded now, where a failure can be told.
    std::string why;
    if (!FocusStackMath::loadLibraries(why)) {
        const QString words = QString::fromLocal8Bit(why.c_str());
        // The loader's words when the system refused the library its memory.
        const bool memory = words.contains("map segment") || words.contains("allocate memory");
        startRefused(memory ? 3 : 4, words);
        return;
    }
    if (viewAtHome())
        emit moveLabImgHigh(graphicsView);
    else
        goin();
    const QSize fs = cam->frameSize(false);
    scene->setSceneRect(0, 0, fs.width(), fs.height());
    startSuffix = "_1";
    changeLanguageSLOT(MessagePassing::instance()->language());
    btnStart->hide();
    btnStop->show();
    checkBox->setEnabled(false);
}

void JingShenFormHigh::snapJingShenBeginSLOT() {
    if (previewTimer)
        return;
    const QSize out = thread.outputSize();
    labSize->setText(QString("%1x%2").arg(out.width()).arg(out.height()));
    if (!thread.prepareFirstFrame()) {
        // Refused, or an announcement a reset or a refusal has overtaken.
        if (thread.takeNoMemory())
            startRefused(3);
        return;
    }
    btnClose->setEnabled(true);
    btnReset->setEnabled(true);
    btnExport->setEnabled(true);
    shownFused = -1;
    previewTimer = new QTimer();
    previewTimer->setInterval(33);
    connect(previewTimer, SIGNAL(timeout()), this, SLOT(timeoutSLOT()));
    previewTimer->start();
}

void JingShenFormHigh::showProgress() {
    const int rising = previewTimer ? thread.risingCells() : -1;
    if (rising == shownRising)
        return;
    shownRising = rising;
    renewViewGeometry();
    const int lang = interfaceLanguage();
    if (rising < 0)
        labProgress->clear();
    else if (rising == 0)
        labProgress->setText(languageTable.value("progressDone").value(lang));
    else
        labProgress->setText(languageTable.value("progressRising").value(lang).arg(sharpShare(rising)));
}

bool JingShenFormHigh::exportWhileSharpening(int rising) {
    const int lang = interfaceLanguage();
    auto text = [&](const char* key) { return languageTable.value(key).value(lang); };
    QMessageBox box(QMessageBox::Question, text("askTitle"), text("askExport").arg(sharpShare(rising)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(text("askYes"));
    box.button(QMessageBox::No)->setText(text("askNo"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void JingShenFormHigh::timeoutSLOT() {
    showProgress();
    // The picture changes only when a frame is fused; converting a large one
    // for the view at every tick would keep the interface thread busy.
    const int fused = thread.fusedCount();
    if (fused == shownFused || exiting)
        return;
    shownFused = fused;
    // The picture shown so far goes first: the copy of the next one then
    // finds its room. Painting comes only after this slot.
    pixmapItem->setPixmap(QPixmap());
    // A copy of the latest complete picture, never the buffer being fused,
    // in the view's own format: the pixmap adopts it as it is.
    bool refused = false;
    const QPixmap whole = QPixmap::fromImage(thread.viewPicture(refused));
    if (!refused && whole.isNull())
        return; // the run's pictures are gone (a reset, the program ending)
    if (!whole.isNull()) {
        pixmapItem->setPixmap(whole);
        pixmapItem->setScale(1.0);
        return;
    }
    // The system refused the copy: the run stops and says so, and the view
    // keeps the work, reduced (a few megabytes, more than the screen shows
    // of it), over the scene the whole picture covers.
    const QPixmap reduced = QPixmap::fromImage(thread.reducedPicture(kReducedSide));
    pixmapItem->setPixmap(reduced);
    const QSize size = thread.outputSize();
    pixmapItem->setScale(reduced.isNull() || size.isEmpty() ? 1.0 : double(size.width()) / reduced.width());
    if (thread.isRunning())
        thread.refuse(); // the finished slot tells
    else
        message(2);
}

void JingShenFormHigh::releaseTimer() {
    if (!previewTimer)
        return;
    previewTimer->stop();
    previewTimer->deleteLater();
    previewTimer = nullptr;
    showProgress();
}

void JingShenFormHigh::btnStopClick() {
    btnStop->setEnabled(false);
    checkBox->setEnabled(true);
    thread.requestStop();
}

void JingShenFormHigh::finishedSLOT() {
    btnStop->setEnabled(true);
    btnStart->show();
    btnStop->hide();
    // An export's save dialog would hold the ending program, and a reset
    // would ask a closing camera for frames.
    if (exiting)
        return;
    if (thread.takeNoMemory()) {
        if (!previewTimer || thread.fusedCount() == 0) {
            // Refused the first frame (no run began), or before a frame was
            // fused: the run holds no more than the live picture.
            startRefused(3);
            return;
        }
        // Stopped as a Stop stops it.
        checkBox->setEnabled(true);
        message(2);
    }
    if (resetPending) {
        btnReset->setEnabled(false);
        btnResetRealClick();
    } else if (!btnReset->isEnabled()) {
        btnResetClick();
    } else if (!btnExport->isEnabled()) {
        btnExportClick();
    }
}

void JingShenFormHigh::btnResetRealClick() {
    btnReset->setEnabled(false);
    if (thread.isRunning()) {
        resetPending = true;
        btnStop->setEnabled(false);
        checkBox->setEnabled(true);
        thread.requestStop();
        return;
    }
    resetPending = false;
    thread.requestReset();
    btnStart->setEnabled(false);
    btnStop->setEnabled(false);
    btnClose->setEnabled(false);
    checkBox->setEnabled(false);
    releaseTimer();
    QTimer::singleShot(1000, this, SLOT(goin()));
    QTimer::singleShot(1100, this, SLOT(btnResetRealDelay()));
}

void JingShenFormHigh::btnResetRealDelay() {
    btnReset->setEnabled(true);
    btnStart->setEnabled(true);
    btnStop->setEnabled(true);
    btnClose->setEnabled(true);
    btnStart->hide();
    btnStop->show();
}

void JingShenFormHigh::btnResetClick() {
    btnReset->setEnabled(false);
    if (thread.isRunning()) {
        btnStop->setEnabled(false);
        checkBox->setEnabled(true);
        thread.requestStop();
        return;
    }
    thread.requestReset();
    btnReset->setEnabled(true);
    btnStart->setEnabled(true);
    btnStop->setEnabled(true);
    btnStart->show();
    btnStop->hide();
    startSuffix.clear();
    changeLanguageSLOT(MessagePassing::instance()->language());
    releaseTimer();
    if (closePending)
        closeSteps();
}

void JingShenFormHigh::btnCloseClick() {
    if (thread.isRunning()) {
        btnReset->setEnabled(false);
        closePending = true;
        btnStop->setEnabled(false);
        checkBox->setEnabled(true);
        thread.requestStop();
        return;
    }
    if (!closePending) {
        thread.requestReset();
        startSuffix.clear();
        changeLanguageSLOT(MessagePassing::instance()->language());
        releaseTimer();
    }
    closeSteps();
}

void JingShenFormHigh::closeSteps() {
    // Nothing of the run is kept past the mode: a Close gives back what the
    // run took (about a gigabyte for a 4K camera), the decoders and save
    // threads the camera grew to feed it (a picture or two each), the view's
    // last picture, and what the C library kept in its heaps of the pictures
    // freed on the way.
    if (UVCCamera* cam = usbCamera()) {
        cam->unlinkFocusConsumer(&thread);
        cam->releaseIdleWorkers();
    }
    thread.resetData(true);
    pixmapItem->setPixmap(QPixmap());
    // Decoders still at work at the Close (on a busy machine, longer than
    // the wait above) go too once done, unless a new run has begun.
    HeapReturn::afterRun(this, [this] {
        if (UVCCamera* cam = usbCamera(); cam && !thread.isRunning())
            cam->releaseIdleWorkers();
    });
    btnClose->setEnabled(false);
    btnReset->setEnabled(false);
    btnExport->setEnabled(false);
    btnStart->setEnabled(true);
    btnStop->setEnabled(true);
    btnStop->hide();
    checkBox->setEnabled(true);
    startSuffix.clear();
    closePending = false;
    changeLanguageSLOT(MessagePassing::instance()->language());
    emit MessagePassing::instance()->goOutJingShenHighSIGNAL();
}

void JingShenFormHigh::btnExportClick() {
    // Asked once, as the user presses Export: a busy machine makes the stack
    // slower, and a picture written now would keep bands blurred unseen.
    if (btnExport->isEnabled()) {
        const int rising = thread.risingCells();
        if (rising > 0 && !exportWhileSharpening(rising))
            return;
    }
    btnExport->setEnabled(false);
    if (thread.isRunning()) {
        btnStop->setEnabled(false);
        checkBox->setEnabled(true);
        thread.requestStop();
        return;
    }
    btnStart->show();
    btnStop->hide();
    btnExport->setEnabled(true);
    const QString folder = MessagePassing::instance()->checkImgPath(settings.get());
    const QString preselected = folder + "/CompositeImage.jpg";
    QString file;
    if (chooserSlot()) {
        file = chooserSlot()("保存文件", preselected);
    } else {
        SaveFileDialog dialog(nullptr, "保存文件", folder, "JPG(*.jpg)");
        dialog.selectFile(preselected);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            file = dialog.selectedFiles().first();
    }
    if (file.isEmpty())
        return;
    // Written from a copy of the picture; where the system refuses the copy,
    // from the worker's own picture (it is stopped), so that a run refused
    // memory can still be exported with what it holds.
    QString reason, thumbnail;
    bool written = false;
    auto write = [&](const QImage& picture) {
        written = SnapshotFiles::writeImage(picture, file, "jpg", 100, &reason);
        if (written)
            thumbnail = SnapshotFiles::prepareThumbnail(picture);
    };
    const QImage copy = thread.result();
    const bool any = !copy.isNull() ? (write(copy), true) : thread.readResult(write);
    if (!any || !written) {
        SnapshotFiles::reportSaveError(file, any ? reason : SnapshotFiles::noMemoryReason());
        return;
    }
    // The picture enters the recent list only once it is on disk.
    SnapshotFiles::addToHistory(file, thumbnail);
}

void JingShenFormHigh::btnPathClick() {
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    lineEditPath->setText(dialog.selectedFiles().first());
    store("imgPath", lineEditPath->text());
}

void JingShenFormHigh::checkBoxToggled(bool on) {
    store("isChecked", on);
    thread.alignEnabled = on;
}

void JingShenFormHigh::store(const char* key, const QVariant& value) {
    // Whole or refused with the reason in the program's box; the panel's own
    // copy then reads the file again (the export's folder comes from it).
    SaveErrorBox::editSettings(settings->fileName(), [&](QSettings& s) { s.setValue(key, value); });
    settings->sync();
}

void JingShenFormHigh::changeLanguageSLOT(int language) {
    if (language < 0 || language > 2)
        language = 0;
    auto set = [&](auto* w, const QString& key) { w->setText(languageTable.value(key).value(language)); };
    set(label, "label");
    groupBox_2->setTitle(languageTable.value("groupBox_2").value(language));
    set(labPath, "labPath");
    set(btnPath, "btnPath");
    set(btnExport, "btnExport");
    set(btnStart, "btnStart" + startSuffix);
    set(btnStop, "btnStop");
    set(btnClose, "btnClose");
    set(labTips, "labTips");
    set(btnReset, "btnReset");
    set(checkBox, "checkBox");
    shownRising = -1;
    showProgress();
}

void JingShenFormHigh::setVideoStateSLOT(bool recording) {
    btnStart->setEnabled(!recording && !MessagePassing::instance()->isCameraTiming());
}

void JingShenFormHigh::setCameraTimingSLOT() {
    MessagePassing* hub = MessagePassing::instance();
    btnStart->setEnabled(!hub->isCameraTiming() && !hub->isVideoState());
}

void JingShenFormHigh::setSceneScale() {
    graphicsView->resetTransform();
    const QRectF r = scene->sceneRect();
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const qreal s = std::min(graphicsView->width() / r.width(), graphicsView->height() / r.height());
    graphicsView->scale(s, s);
}
