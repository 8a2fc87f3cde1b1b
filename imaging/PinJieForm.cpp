#include "imaging/PinJieForm.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/SaveFileDialog.h"
#include "camera/SnapshotFiles.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "app/hub/FlatFieldGain.h"
#include "imaging/NoWheelGraphicsView.h"
#include "imaging/StitchMosaicItem.h"
#include "imaging/StitchRun.h"
#include "imaging/StitchStart.h"
#include "imaging/StitchViewPicture.h"
#include "platform/AppPaths.h"
#include "platform/FileCommit.h"
#include "platform/MemoryRefusal.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGraphicsEllipseItem>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace {

const char* const settingsFile = "./PinJieForm.ini";

int scaled(int designed) { return int(float(designed) * float(uiSizeFactor) * 0.1f); }

bool blackRow(const cv::Mat& m, int y, int x0, int x1) {
    const cv::Vec3b* row = m.ptr<cv::Vec3b>(y);
    for (int x = x0; x < x1; ++x)
        if (row[x][0] || row[x][1] || row[x][2])
            return false;
    return true;
}

// Does the union of `rects` cover [from, to) of a line: row `line` when
// `row`, column `line` otherwise? `spans` is working room.
bool coveredLine(const QList<QRect>& rects, bool row, int line, int from, int to,
                 std::vector<std::pair<int, int>>* spans) {
    spans->clear();
    for (const QRect& r : rects) {
        if (r.isEmpty())
            continue;
        const int lo = row ? r.y() : r.x(), hi = row ? r.y() + r.height() : r.x() + r.width();
        if (line >= lo && line < hi)
            spans->emplace_back(row ? r.x() : r.y(), row ? r.x() + r.width() : r.y() + r.height());
    }
    std::sort(spans->begin(), spans->end());
    int reach = from;
    for (const auto& s : *spans) {
        if (s.first > reach)
            break;
        reach = std::max(reach, s.second);
    }
    return reach >= to;
}

bool blackColumn(const cv::Mat& m, int x, int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
        const cv::Vec3b& p = m.at<cv::Vec3b>(y, x);
        if (p[0] || p[1] || p[2])
            return false;
    }
    return true;
}

} // namespace

PinJieForm::PinJieForm(QWidget* parent) : QWidget(parent) {
    setObjectName("PinJieForm");
    buildForm();
    m_run = new StitchRun(this);

    QSettings settings(RegularFile::settingsName(settingsFile), QSettings::IniFormat);
    MessagePassing* hub = MessagePassing::instance();
    m_lineEditPath->setText(hub->checkImgPath(&settings));
    const bool isRbtn1 = settings.value("isRbtn1", true).toBool();
    (isRbtn1 ? m_rbtn1 : m_rbtn2)->setChecked(true);
    m_run->setPrecision(isRbtn1);
    connect(m_run, &StitchRun::stepApplied, this, &PinJieForm::applyStep);
    connect(m_run, &StitchRun::regionMatchStarted, this, [this](const QPoint& pos) {
        if (m_placementOverlay)
            m_placementOverlay->setPos(pos);
    });
    connect(m_run, &StitchRun::rebuildStarting, this, &PinJieForm::clearScene);
    connect(m_run, &StitchRun::mosaicStarted, this, &PinJieForm::showNewMosaic);
    connect(m_run, &StitchRun::controlsReady, this, &PinJieForm::showRunControls);
    connect(m_run, &StitchRun::exportStep, this, &PinJieForm::btnExportClickDelay);
    connect(m_run, &StitchRun::resetStep, this, &PinJieForm::btnResetClickDelay);

    connect(m_rbtn1, SIGNAL(toggled(bool)), this, SLOT(rbtn1Toggled(bool)));
    connect(m_btnPath, SIGNAL(clicked()), this, SLOT(btnPathClick()));
    connect(m_btnClose, SIGNAL(clicked()), this, SLOT(btnCloseClick()));
    connect(m_btnReset, SIGNAL(clicked()), this, SLOT(btnResetRealClick()));
    connect(m_btnExport, SIGNAL(clicked()), this, SLOT(btnExportClick()));
    connect(m_btnRestore, SIGNAL(clicked()), this, SLOT(setSceneScale()));
    connect(m_btnXiaoZheng, SIGNAL(clicked()), this, SLOT(btnXiaoZhengClick()));
    connect(m_btnPlay, SIGNAL(clicked()), this, SLOT(btnPlayClick()));
    connect(m_btnStop, SIGNAL(clicked()), this, SLOT(btnStopClick()));
    connect(hub, SIGNAL(pinJieImageSIGNAL(QImage)), this, SLOT(pinJieImageSLOT(QImage)));
    connect(hub, SIGNAL(pinJieYinYingImageSIGNAL(QImage)), this, SLOT(pinJieYinYingImageSLOT(QImage)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(changeFenBianLv1080pFinishSIGNAL(int)), this, SLOT(changeFenBianLv1080pFinishSLOT(int)));
    connect(hub, SIGNAL(setVideoStateSIGNAL(bool)), this, SLOT(setVideoStateSLOT(bool)));
    connect(hub, SIGNAL(setCameraTimingSIGNAL()), this, SLOT(setCameraTimingSLOT()));
    connect(m_view, SIGNAL(addSIGN(QPoint)), this, SLOT(addSIGNSLOT(QPoint)));

    m_scene = new QGraphicsScene(this);
    m_scene->setSceneRect(0, 0, sceneSide(), sceneSide());
    m_scene->setBackgroundBrush(Qt::black);
    m_view->setScene(m_scene);

    m_rBtnOut->setChecked(true);
    m_labOut->installEventFilter(this);
    m_labIn->installEventFilter(this);
    changeLanguageSLOT(hub->language());

    m_btnPlay->show();
    m_btnStop->hide();
    m_btnExport->setEnabled(false);
    setControlsEnabled(true);
    BaseCamera* cam = hub->currentCamera();
    if (hub->isVideoState() || hub->isCameraTiming() || (cam && cam->isNetCamera())) {
        m_btnPlay->setEnabled(false);
        m_btnXiaoZheng->setEnabled(false);
    }
    m_btnClose->setEnabled(false);
    resize(scaled(300), sizeHint().height());
}

PinJieForm::~PinJieForm() {
    // The run's worker ends before any widget goes.
    delete m_run;
}

void PinJieForm::buildForm() {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_left = new QWidget(this);
    m_left->setObjectName("widget_left");
    outer->addWidget(m_left);
    // The view's home while no run hosts it elsewhere; the side panel has no
    // room to show it.
    m_right = new QWidget(this);
    m_right->setObjectName("widget_rigtht");
    m_right->setStyleSheet("QWidget#graphicsView{\nbackground-color:rgb(0, 0, 0)\n}");
    m_right->hide();
    auto* rightLayout = new QVBoxLayout(m_right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    m_view = new NoWheelGraphicsView(m_right);
    m_view->setObjectName("graphicsView");
    m_view->setInteractive(true);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    rightLayout->addWidget(m_view);

    auto* content = new QWidget(m_left);
    content->setObjectName("widgetContent");
    auto* leftLayout = new QVBoxLayout(m_left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(content);
    auto* v = new QVBoxLayout(content);
    const int h = scaled(30);
    auto button = [&](const char* name) {
        auto* b = new QPushButton(content);
        b->setObjectName(name);
        b->setMinimumHeight(h);
        return b;
    };
    m_btnXiaoZheng = button("btnXiaoZheng");
    v->addWidget(m_btnXiaoZheng);

    m_algorithmRow = new QWidget(content);
    m_algorithmRow->setObjectName("widget_10");
    auto* row = new QHBoxLayout(m_algorithmRow);
    row->setContentsMargins(0, 0, 0, 0);
    m_labR = new QLabel(m_algorithmRow);
    m_labR->setObjectName("labR");
    m_rbtn1 = new QRadioButton(m_algorithmRow);
    m_rbtn1->setObjectName("rbtn1");
    m_rbtn2 = new QRadioButton(m_algorithmRow);
    m_rbtn2->setObjectName("rbtn2");
    row->addWidget(m_labR);
    row->addWidget(m_rbtn1);
    row->addWidget(m_rbtn2);
    v->addWidget(m_algorithmRow);

    m_frame = new QFrame(content);
    m_frame->setObjectName("frame");
    m_frame->setFrameShape(QFrame::Box);
    m_frame->setFrameShadow(QFrame::Sunken);
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    const QSize frameSize = cam && cam->frameSize(false).width() > 0 ? cam->frameSize(false) : QSize(1920, 1080);
    const int fw = scaled(254);
    m_frame->setFixedSize(fw, fw * frameSize.height() / frameSize.width());
    v->addWidget(m_frame, 0, Qt::AlignHCenter);

    auto* sizeRow = new QHBoxLayout();
    m_label = new QLabel(content);
    m_label->setObjectName("label");
    m_labSize = new QLabel(content);
    m_labSize->setObjectName("labSize");
    sizeRow->addWidget(m_label);
    sizeRow->addWidget(m_labSize, 1);
    v->addLayout(sizeRow);

    m_groupBox2 = new QGroupBox(content);
    m_groupBox2->setObjectName("groupBox_2");
    auto* g = new QGridLayout(m_groupBox2);
    m_labPath = new QLabel(m_groupBox2);
    m_labPath->setObjectName("labPath");
    m_lineEditPath = new QLineEdit(m_groupBox2);
    m_lineEditPath->setObjectName("lineEditPath");
    m_lineEditPath->setReadOnly(true);
    m_btnPath = new QPushButton(m_groupBox2);
    m_btnPath->setObjectName("btnPath");
    g->addWidget(m_labPath, 0, 0);
    g->addWidget(m_lineEditPath, 0, 1);
    g->addWidget(m_btnPath, 0, 2);
    auto crop = [&](QRadioButton*& radio, QLabel*& picture, const char* radioName, const char* labelName,
                    const char* resource, int col) {
        radio = new QRadioButton(m_groupBox2);
        radio->setObjectName(radioName);
        picture = new QLabel(m_groupBox2);
        picture->setObjectName(labelName);
        const QPixmap pm(resource);
        if (!pm.isNull())
            picture->setPixmap(pm.scaledToWidth(scaled(pm.width()), Qt::SmoothTransformation));
        auto* box = new QHBoxLayout();
        box->addWidget(radio);
        box->addWidget(picture);
        g->addLayout(box, 1, col == 0 ? 0 : 1, 1, col == 0 ? 1 : 2);
    };
    crop(m_rBtnOut, m_labOut, "rBtnOut", "labOut", ":/res/PinJieForm/imgOut.png", 0);
    crop(m_rBtnIn, m_labIn, "rBtnIn", "labIn", ":/res/PinJieForm/imgIn.png", 1);
    m_btnExport = button("btnExport");
    g->addWidget(m_btnExport, 2, 0, 1, 3);
    v->addWidget(m_groupBox2);

    // Play and Stop lie on top of each other; one is visible at a time.
    auto* runRow = new QHBoxLayout();
    auto* playStop = new QWidget(content);
    playStop->setMinimumHeight(h);
    auto* same = new QGridLayout(playStop);
    same->setContentsMargins(0, 0, 0, 0);
    m_btnPlay = new QPushButton(playStop);
    m_btnPlay->setObjectName("btnPlay");
    m_btnStop = new QPushButton(playStop);
    m_btnStop->setObjectName("btnStop");
    for (QPushButton* b : {m_btnPlay, m_btnStop}) {
        b->setMinimumHeight(h);
        same->addWidget(b, 0, 0);
    }
    m_btnReset = button("btnReset");
    runRow->addWidget(playStop, 1);
    runRow->addWidget(m_btnReset, 1);
    v->addLayout(runRow);
    auto* endRow = new QHBoxLayout();
    m_btnRestore = button("btnRestore");
    m_btnClose = button("btnClose");
    endRow->addWidget(m_btnRestore);
    endRow->addWidget(m_btnClose);
    v->addLayout(endRow);
    v->addStretch(1);

    m_texts.insert("labR", {"算法选择：", "Algorithm Selection：", "算法選擇："});
    m_texts.insert("rbtn1", {"精准", "Precision", "精準"});
    m_texts.insert("rbtn2", {"快速", "Fast", "快速"});
    m_texts.insert("label", {"大图尺寸：", "Size:", "大圖尺寸："});
    m_texts.insert("groupBox_2", {"保存图片", "Save Image", "保存圖片"});
    m_texts.insert("labPath", {"路径:", "Path:", "路徑:"});
    m_texts.insert("btnPath", {"选择", "Select", "選擇"});
    m_texts.insert("btnExport", {"导出", "Export", "導出"});
    m_texts.insert("btnReset", {"重置", "Reset", "重置"});
    m_texts.insert("btnClose", {"退出", "Close", "退出"});
    m_texts.insert("btnRestore", {"还原场景", "Restore", "還原場景"});
    m_texts.insert("btnXiaoZheng", {"平场校正", "Flat-field", "平場校正"});
    m_texts.insert("btnPlay", {"开始", "Play", "開始"});
    m_texts.insert("btnStop", {"停止", "Stop", "停止"});
}

QWidget* PinJieForm::getGraphicsView() const { return m_frame; }

QGraphicsView* PinJieForm::graphicsView() const { return m_view; }

bool PinJieForm::viewHosted() const { return m_view->parentWidget() != m_right; }

bool PinJieForm::precision() const { return m_rbtn1->isChecked(); }

const StitchMosaic& PinJieForm::mosaic() const { return m_run->mosaic(); }

const QList<int>& PinJieForm::stepQueue() const { return m_run->stepQueue(); }

int PinJieForm::stopState() const { return m_run->stopState(); }

bool PinJieForm::hasWorker() const { return m_run->hasWorker(); }

QString PinJieForm::text(const char* zh, const char* en, const char* tw) const {
    switch (MessagePassing::instance()->language()) {
    case 0: return QString::fromUtf8(zh);
    case 2: return QString::fromUtf8(tw);
    default: return QString::fromUtf8(en);
    }
}

void PinJieForm::showMessage(const QString& title, const QString& message) {
    // Not modal to the loop: the run goes on while the box is shown.
    auto* box = new QMessageBox(QMessageBox::Information, title, message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void PinJieForm::changeLanguageSLOT(int language) {
    const int i = std::clamp(language, 0, 2);
    for (auto it = m_texts.constBegin(); it != m_texts.constEnd(); ++it) {
        QWidget* w = findChild<QWidget*>(it.key());
        if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(it.value()[i]);
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(it.value()[i]);
        else if (auto* gb = qobject_cast<QGroupBox*>(w))
            gb->setTitle(it.value()[i]);
    }
}

void PinJieForm::setControlsEnabled(bool on) {
    if (viewHosted()) {
        for (QWidget* w : {static_cast<QWidget*>(m_btnReset), static_cast<QWidget*>(m_btnExport),
                           static_cast<QWidget*>(m_btnPlay), static_cast<QWidget*>(m_btnStop),
                           static_cast<QWidget*>(m_btnRestore), m_algorithmRow})
            w->setEnabled(on);
    } else {
        for (QWidget* w : {static_cast<QWidget*>(m_btnReset), static_cast<QWidget*>(m_btnExport),
                           static_cast<QWidget*>(m_btnStop), static_cast<QWidget*>(m_btnRestore), m_algorithmRow})
            w->setEnabled(false);
        m_btnPlay->setEnabled(on);
    }
}

void PinJieForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    const QSize frame = cam && cam->frameSize(false).width() > 0 ? cam->frameSize(false) : QSize(1920, 1080);
    const int w = std::min(m_left->width(), int(67.0f * float(uiSizeFactor)));
    if (w <= 0)
        return;
    const QSize size(w, w * frame.height() / frame.width());
    m_frame->setMinimumSize(size);
    m_frame->setMaximumSize(size);
    for (QWidget* child : m_frame->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        child->resize(size);
}

void PinJieForm::renewViewGeometry() {
    QWidget* holder = m_btnPlay->parentWidget();
    holder->setMinimumSize(m_btnReset->size());
    m_btnPlay->setGeometry(0, 0, holder->width(), holder->height());
    m_btnStop->setGeometry(0, 0, holder->width(), holder->height());
}

bool PinJieForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == m_labOut)
            m_rBtnOut->setChecked(true);
        else if (watched == m_labIn)
            m_rBtnIn->setChecked(true);
    }
    return QWidget::eventFilter(watched, event);
}

void PinJieForm::setVideoStateSLOT(bool recording) {
    const bool busy = recording || MessagePassing::instance()->isCameraTiming();
    m_btnPlay->setEnabled(!busy);
    m_btnXiaoZheng->setEnabled(!busy);
}

void PinJieForm::setCameraTimingSLOT() {
    MessagePassing* hub = MessagePassing::instance();
    const bool busy = hub->isCameraTiming() || hub->isVideoState();
    m_btnPlay->setEnabled(!busy);
    m_btnXiaoZheng->setEnabled(!busy);
}

// ---------------------------------------------------------------- starting

void PinJieForm::btnPlayClick() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam || !cam->isPlaying()) {
        showMessage("Error", text("请相机退出暂停状态，再试！", "Please the camera go to living and try again!",
                                  "請相機退出暫停狀態，再試！"));
        return;
    }
    m_btnPlay->setEnabled(false);
    m_btnStop->setEnabled(false);
    if (viewHosted()) {
        m_run->setHead(1);
        m_btnPlay->hide();
        m_btnStop->show();
        m_btnXiaoZheng->setEnabled(false);
        m_run->requestFrame(67);
        return;
    }
    if (cam->supportComposite())
        MessagePassing::instance()->changeFenBianLv1080p(2);
    else
        showMessage("Error", text("此相机不支持该功能。", "This camera does not support this feature.",
                                  "此相機不支持該功能。"));
}

void PinJieForm::changeFenBianLv1080pFinishSLOT(int value) {
    if (value == 2)
        QTimer::singleShot(100, this, SLOT(changeFenBianLv1080pFinishDelay()));
}

void PinJieForm::changeFenBianLv1080pFinishDelay() {
    if (m_btnXiaoZheng->isEnabled())
        emit moveGraphicsView(m_view);
    m_btnXiaoZheng->setEnabled(false);
}

void PinJieForm::gotoStart() {
    if (m_run->start()) {
        m_btnPlay->setEnabled(true);
        m_btnStop->setEnabled(true);
        m_btnPlay->hide();
        m_btnStop->show();
        // Nothing to export before the first frame is placed.
        m_btnExport->setEnabled(false);
        m_run->requestFrame(67);
    }
    QTimer::singleShot(1000, this, SLOT(gotoStartDelay()));
}

void PinJieForm::gotoStartDelay() {
    m_btnClose->setEnabled(true);
    if (m_mosaicItem)
        m_mosaicItem->show();
}

void PinJieForm::takeBackGraphicsView() {
    m_right->layout()->addWidget(m_view);
    setControlsEnabled(false);
    QTimer::singleShot(1000, this, SLOT(moveGraphicsViewZeroDelay()));
}

void PinJieForm::moveGraphicsViewZeroDelay() {
    m_btnClose->setEnabled(false);
    m_btnXiaoZheng->setEnabled(true);
    m_btnPlay->setEnabled(true);
}

// ---------------------------------------------------------------- the run's steps

void PinJieForm::pinJieImageSLOT(QImage image) { m_run->takeFrame(image); }

void PinJieForm::showRunControls() {
    m_btnPlay->setEnabled(true);
    m_btnStop->setEnabled(true);
}

void PinJieForm::applyStep(const StitchStep& step) {
    if (step.grew) {
        m_scene->setSceneRect(0, 0, mosaic().size().width(), mosaic().size().height());
        if (m_mosaicItem)
            m_mosaicItem->setPos(0, 0);
        fitScene();
    }
    if (step.placed) {
        showMosaic(step.grew || step.rebuilt ? QRect() : QRect(step.placementPos, m_run->jobFrameSize()));
        if (step.grew && m_mosaicItem) // the grown picture holds the frame only where the mosaic grew
            m_mosaicItem->paste(mosaic().mosaicView(), QRect(step.placementPos, m_run->jobFrameSize()));
        m_labSize->setText(QString("%1x%2").arg(mosaic().size().width()).arg(mosaic().size().height()));
        fitScene();
        m_btnExport->setEnabled(true);
    }
    if (m_matchOverlay) {
        if (step.matchOverlay == StitchStep::Hide) {
            m_matchOverlay->hide();
        } else if (step.matchOverlay == StitchStep::Show) {
            m_matchOverlay->setPixmap(m_markers.value(step.matchMarker));
            m_matchOverlay->show();
        }
        if (step.matchMoved)
            m_matchOverlay->setPos(step.matchPos);
    }
    if (step.placementMoved && m_placementOverlay)
        m_placementOverlay->setPos(step.placementPos);
    if (step.hidePositionMarker && m_positionMarker)
        m_positionMarker->hide();
    const int language = MessagePassing::instance()->language();
    if (step.sizeLimit || step.noMemory) {
        // The run has stopped (the stop step re-enables Play): shown as a
        // Stop shows it, the mosaic kept for Export. Where no frame was
        // placed there is nothing to export, and the box says so.
        showStopped();
        const bool nothing = mosaic().placements().isEmpty();
        m_btnExport->setEnabled(!nothing && m_btnReset->isEnabled());
        showMessage("Error", step.sizeLimit ? StitchMosaic::sizeLimitText(language)
                             : nothing      ? StitchMosaic::noMemoryAtStartText(language)
                                            : StitchMosaic::noMemoryText(language));
    }
    if (step.notice != StitchStep::NoNotice)
        showMessage("Error", StitchMosaic::noticeText(step.notice, MessagePassing::instance()->language()));
}

void PinJieForm::showMosaic(QRect changed) {
    if (!m_mosaicItem)
        return;
    QImage picture = m_run->takePicture();
    const QImage view = mosaic().mosaicView();
    if (!changed.isEmpty() && m_mosaicItem->pixmap().size() == view.size()) {
        // Only the pasted frame changed: redrawn there alone, in the
        // picture and in the view.
        m_mosaicItem->paste(view, changed);
    } else {
        // Taken out of the item, the old picture is held once: the worker
        // frees it.
        QPixmap pixmap = m_mosaicItem->pixmap();
        m_mosaicItem->setPixmap(QPixmap());
        if (!picture.isNull() && picture.size() == view.size()) {
            // The worker's picture of the grown or rebuilt mosaic, adopted as
            // it is.
            m_run->discard(pixmap.toImage());
            pixmap = QPixmap::fromImage(std::move(picture));
        } else {
            pixmap = QPixmap::fromImage(view); // a deep copy: the mosaic is replaced when it grows
        }
        setMosaicPicture(pixmap);
    }
    // Dropped here, the worker's picture leaves the pixmap alone holding its
    // pixels: drawn into later without a copy.
    m_mosaicItem->setVisible(m_btnClose->isEnabled());
}

void PinJieForm::setMosaicPicture(const QPixmap& full) {
    const cv::Mat& m = mosaic().mosaic();
    QPixmap shown = full;
    if (shown.isNull() && !m.empty() && m.type() == CV_8UC3) {
        // Some 2,000 pixels a side: more than a screen shows of the whole
        // mosaic, a few megabytes where the whole took a hundred and more.
        const QImage reduced = StitchViewPicture::reduced(m);
        if (!reduced.isNull())
            shown = QPixmap::fromImage(reduced);
        QMetaObject::invokeMethod(m_run, [run = m_run] { run->pictureRefused(); }, Qt::QueuedConnection);
    }
    m_mosaicItem->setPixmap(shown);
    m_mosaicItem->setScale(shown.isNull() || m.empty() ? 1.0 : double(m.cols) / shown.width());
}

void PinJieForm::fitScene() { setSceneScale(); }

void PinJieForm::setSceneScale() {
    const QRectF r = m_scene->sceneRect();
    if (r.width() <= 0 || r.height() <= 0) {
        m_view->resetTransform();
        return;
    }
    const double s = std::min(m_view->width() / r.width(), m_view->height() / r.height());
    // Any change of the view's transform repaints the whole view: the same
    // scale again, at every placed frame, is left alone.
    if (m_view->transform() == QTransform::fromScale(s, s))
        return;
    m_view->resetTransform();
    m_view->scale(s, s);
}

void PinJieForm::showMatchLight() {
    if (!m_markers.isEmpty())
        return;
    const QSize size = m_run->frameSize();
    for (int i = 0; i < 3; ++i)
        m_markers.insert(i, QPixmap::fromImage(StitchStart::markerPicture(i, size, AppPaths::appFile("pinjie"))));
}

// ---------------------------------------------------------------- reset, rebuild, stop, close

void PinJieForm::btnResetRealClick() {
    m_resumeAfterReset = true;
    btnResetClick();
}

void PinJieForm::btnResetClick() {
    setControlsEnabled(false);
    if (!m_run->queueReset(m_resumeAfterReset ? 1 : 0))
        btnResetClickDelay();
}

void PinJieForm::btnResetClickDelay() {
    if (m_resumeAfterReset) {
        m_resumeAfterReset = false;
        m_btnPlay->hide();
        m_btnStop->show();
    } else {
        m_btnPlay->show();
        m_btnStop->hide();
    }
    m_btnExport->setEnabled(false);
    m_run->requestFrame(67);
}

void PinJieForm::clearScene() {
    const int side = sceneSide();
    if (m_mosaicItem && m_run->hasWorker()) {
        // The old mosaic's picture is freed by the worker.
        m_run->discard(m_mosaicItem->pixmap().toImage());
        m_mosaicItem->setPixmap(QPixmap());
    }
    m_scene->clear();
    m_mosaicItem = nullptr;
    m_placementOverlay = nullptr;
    m_matchOverlay = nullptr;
    m_positionMarker = nullptr;
    m_scene->setSceneRect(0, 0, side, side);
    m_labSize->setText(QString("%1x%2").arg(side).arg(side));
}

void PinJieForm::showNewMosaic() {
    QList<QImage> markers = m_run->takeStartMarkers();
    for (int i = 0; i < markers.size(); ++i)
        m_markers.insert(i, QPixmap::fromImage(std::move(markers[i])));
    showMatchLight();
    m_run->setMarkersDue(false);

    const QPoint first = mosaic().placements().value(0).topLeft();
    // The picture the worker drew, adopted as it is: in the scene's format
    // it is neither converted nor copied.
    m_mosaicItem = new StitchMosaicItem(QPixmap());
    setMosaicPicture(QPixmap::fromImage(m_run->takeStartView()));
    m_scene->addItem(m_mosaicItem);
    m_mosaicItem->hide();
    m_placementOverlay = m_scene->addPixmap(m_markers.value(1));
    m_placementOverlay->setPos(first);
    m_matchOverlay = m_scene->addPixmap(m_markers.value(0));
    m_matchOverlay->setPos(first);
    m_positionMarker = m_scene->addEllipse(-100, -100, 200, 200, QPen(QColor(255, 0, 0, 128), 20), Qt::NoBrush);
    m_positionMarker->hide();
    for (QGraphicsItem* item : m_scene->items())
        item->setZValue(0);
    fitScene();
    QTimer::singleShot(100, this, SLOT(btnResetFuncDelay()));
}

void PinJieForm::btnResetFuncDelay() {
    // The item holds the new mosaic's picture already.
    if (m_mosaicItem)
        m_mosaicItem->setVisible(m_btnClose->isEnabled());
    setControlsEnabled(true);
    m_btnExport->setEnabled(false);
    m_run->requestFrame(67);
}

void PinJieForm::btnStopClick() {
    m_run->setHead(0);
    showStopped();
}

void PinJieForm::showStopped() {
    m_btnPlay->show();
    m_btnStop->hide();
    m_btnPlay->setEnabled(false);
    m_btnStop->setEnabled(false);
}

void PinJieForm::btnCloseClick() {
    if (!m_run->hasWorker())
        return;
    m_btnClose->setEnabled(false);
    m_resumeAfterReset = false;
    setControlsEnabled(false);
    m_btnPlay->show();
    m_btnStop->hide();
    // The old mosaic is not shown again: the next run starts a new one,
    // and draws its markers anew.
    clearScene();
    m_markers.clear();
    m_run->setMarkersDue(true);
    m_run->close();
}

void PinJieForm::btnCloseFunc() { m_run->shutDown(); }

void PinJieForm::addSIGNSLOT(QPoint pos) {
    if (!m_positionMarker)
        return;
    const QPointF at = m_view->mapToScene(pos);
    m_positionMarker->setPos(at);
    m_positionMarker->show();
    m_run->setPositionMarker(at);
}

void PinJieForm::rbtn1Toggled(bool checked) {
    // Frames arriving while the question is open are taken in the new mode,
    // as the buttons show it.
    m_run->setPrecision(m_rbtn1->isChecked());
    QMessageBox box(QMessageBox::NoIcon, QString(),
                    text("切换算法需要重置图像，请确认是否切换？", "Switch algorithm requires reset the image, please confirm?",
                         "切換算法需要重置圖像，請確認是否切換？"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setWindowFlags(box.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    box.button(QMessageBox::Ok)->setText(text("确定", "Ok", "確定"));
    box.button(QMessageBox::Cancel)->setText(text("取消", "Cancel", "取消"));
    box.setMinimumSize(600, 400);
    if (box.exec() == QMessageBox::Ok) {
        SaveErrorBox::editSettings(settingsFile,
                                   [checked](QSettings& settings) { settings.setValue("isRbtn1", checked); });
        m_markers.clear();
        m_run->setMarkersDue(true);
        m_resumeAfterReset = true;
        btnResetClick();
        return;
    }
    const QSignalBlocker b1(m_rbtn1), b2(m_rbtn2);
    m_rbtn1->setChecked(!checked);
    m_rbtn2->setChecked(checked);
    m_run->setPrecision(m_rbtn1->isChecked());
}

// ---------------------------------------------------------------- export

void PinJieForm::btnPathClick() {
    const QString dir = QFileDialog::getExistingDirectory(this, QString(), m_lineEditPath->text());
    if (dir.isEmpty())
        return;
    m_lineEditPath->setText(dir);
    SaveErrorBox::editSettings(settingsFile, [&dir](QSettings& settings) { settings.setValue("imgPath", dir); });
}

void PinJieForm::btnExportClick() {
    setControlsEnabled(false);
    if (!m_run->queueExport())
        btnExportClickDelay();
}

QRect PinJieForm::exportRect(const cv::Mat& mosaic, const QMap<int, QRect>& placements, bool inner) {
    if (mosaic.empty() || mosaic.type() != CV_8UC3)
        return QRect();
    // Trim whole black lines: top rows, left columns, right columns, bottom rows.
    int top = 0, bottom = mosaic.rows, left = 0, right = mosaic.cols;
    while (top < bottom && blackRow(mosaic, top, left, right))
        ++top;
    if (top == bottom)
        return QRect(); // nothing but black: nothing to export
    while (left < right && blackColumn(mosaic, left, top, bottom))
        ++left;
    while (right > left && blackColumn(mosaic, right - 1, top, bottom))
        --right;
    while (bottom > top && blackRow(mosaic, bottom - 1, left, right))
        --bottom;
    if (!inner)
        return QRect(left, top, right - left, bottom - top);

    // Shrink to where every pixel lies in a placed frame.
    const QList<QRect> placed = placements.values();
    std::vector<std::pair<int, int>> spans;
    auto rowUnmarked = [&](int y, int x, int w) { return !coveredLine(placed, true, y, x, x + w, &spans); };
    auto colUnmarked = [&](int x, int y, int h) { return !coveredLine(placed, false, x, y, y + h, &spans); };
    int x = left, y = top, w = right - left, h = bottom - top;
    bool moved = true;
    while (moved && w > 1080 && h > 1080) {
        moved = false;
        if (rowUnmarked(y, x, w)) {
            ++y, --h, moved = true;
            if (w < 1081 || h < 1081)
                break;
        }
        if (colUnmarked(x, y, h)) {
            ++x, --w, moved = true;
            if (w < 1081 || h < 1081)
                break;
        }
        if (colUnmarked(x + w - 1, y, h)) {
            --w, moved = true;
            if (w < 1081 || h < 1081)
                break;
        }
        if (rowUnmarked(y + h - 1, x, w)) {
            --h, moved = true;
            if (w < 1081 || h < 1081)
                break;
        }
    }
    return QRect(x, y, w, h);
}

QImage PinJieForm::exportPicture(const cv::Mat& mosaic, const QMap<int, QRect>& placements, bool inner) {
    const QRect r = exportRect(mosaic, placements, inner);
    if (r.isEmpty())
        return QImage();
    // The mosaic's own rows, read where they are: a copy of a whole mosaic
    // is hundreds of megabytes the system may not have beside it.
    auto* part = new cv::Mat(mosaic(cv::Rect(r.x(), r.y(), r.width(), r.height())));
    return QImage(
        part->data, part->cols, part->rows, int(part->step), QImage::Format_RGB888,
        [](void* held) { delete static_cast<cv::Mat*>(held); }, part);
}

QString PinJieForm::writeExport(const QImage& picture, const QString& path) {
    const int language = MessagePassing::instance()->language();
    QString why;
    if (!MemoryRefusal::within([&] { why = FileCommit::streamImage(path, picture, "jpg", 100, language); }))
        why = SnapshotFiles::noMemoryReason();
    return why;
}

void PinJieForm::btnExportClickDelay() {
    QImage picture;
    const bool room =
        MemoryRefusal::within([&] { picture = exportPicture(mosaic().mosaic(), mosaic().placements(), m_rBtnIn->isChecked()); });
    if (!room) {
        showMessage("Error", SnapshotFiles::noMemoryReason());
    } else if (picture.isNull()) {
        showMessage("Error", text("没有可导出的图像。", "There is no picture to export.", "沒有可導出的圖像。"));
    } else {
        SaveFileDialog dialog(this, QString::fromUtf8("保存文件"), m_lineEditPath->text(), "JPG(*.jpg)");
        dialog.selectFile(m_lineEditPath->text() + "/max.jpg");
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            const QString path = dialog.selectedFiles().first();
            const QString why = writeExport(picture, path); // whole or not at all, and why not
            if (!why.isEmpty()) {
                showMessage("Error", text("图片保存失败：", "The picture could not be saved: ", "圖片保存失敗：") + path +
                                         "\n" + why);
            } else {
                MessagePassing* hub = MessagePassing::instance();
                const int n = hub->addImageHistory(path);
                const QString thumb = QString("./.scaleImage/%1.jpg").arg(n);
                QDir().mkpath("./.scaleImage");
                QFile::remove(thumb);
                // A few hundred pixels: where even those are refused, the
                // strip goes without its thumbnail.
                QImage small;
                if (MemoryRefusal::within([&] { small = SnapshotFiles::thumbnail(picture); }))
                    small.save(thumb, "JPG", 90);
            }
        }
    }
    setControlsEnabled(true);
    m_run->requestFrame(67);
}

// ---------------------------------------------------------------- flat field

void PinJieForm::btnXiaoZhengClick() {
    m_btnPlay->setEnabled(false);
    QFile::remove(AppPaths::appFile("pinjie/YinYing.bmp"));
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        cam->snapImage(AppPaths::appFile("pinjie/YinYing"), 4, true, false, Qt::red, 0, 0);
    else
        m_btnPlay->setEnabled(true);
}

void PinJieForm::pinJieYinYingImageSLOT(QImage image) {
    // The centre brightness is the mean of an 11 x 11 window: a smaller
    // frame has no such window and is ignored.
    if (image.isNull() || image.width() < 11 || image.height() < 11) {
        m_btnPlay->setEnabled(true);
        return;
    }
    const cv::Mat gain = FlatFieldGain::computeGainPicture(image);
    MessagePassing* hub = MessagePassing::instance();
    hub->hasYinYing = true;
    QString why;
    const bool written = FlatFieldGain::save(gain, AppPaths::appFile("pinjie/YinYingData.bmp"), &why);
    hub->yinYingMat = FlatFieldGain::gainTable(gain);
    if (written)
        showMessage("Finish", text("平场校正已完成！", "Flat-field finish!", "平場校正已完成！"));
    else
        showMessage("Error", text("平场校正数据保存失败！", "The flat-field reference could not be saved!",
                                  "平場校正數據保存失敗！") +
                                 "\n" + why);
    m_btnPlay->setEnabled(true);
}
