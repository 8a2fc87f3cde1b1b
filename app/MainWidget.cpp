#include "app/MainWidget.h"

#include "app/CustomSplitter.h"
#include "app/IconWidget.h"
#include "app/hub/MessagePassing.h"
#include "app/hub/SaveFileDialog.h"
#include "app/MyWidget.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "camera/deviceForm.h"
#include "camera/NetCamera.h"
#include "camera/SnapshotFiles.h"
#include "measure/shapes/ShapeRegistration.h"
#include "platform/ProcessEnd.h"
#include "export/forms/XlsSet.h"
#include "imaging/FrameForm.h"
#include "imaging/FrameFormMINI.h"
#include "app/InfoDialog.h"
#include "measure/engine/ItemLayer.h"
#include "measure/engine/OzaMeasureSys.h"
#include "camera/SDLBackground.h"
#include "camera/VideoWidget.h"
#include "app/MainWindow.h"
#include "camera/VideoZoom.h"
#include "imaging/JingShenFormHigh.h"
#include "imaging/OpacityForm.h"
#include "imaging/PinJieForm.h"
#include "imaging/SnapHistory.h"
#include "imaging/SnapOpenSave.h"
#include "panels/camera/CameraForm.h"
#include "panels/camera/CameraParaForm.h"
#include "panels/camera/CameraSet.h"
#include "panels/camera/CameraTimeSet.h"
#include "panels/camera/ImageReceiveForm.h"
#include "panels/camera/LensForm.h"
#include "panels/camera/OtherSet.h"
#include "panels/camera/VideoSet.h"
#include "panels/measure/CrossLineSetWidget.h"
#include "panels/measure/LineForm.h"
#include "panels/measure/MarkForm.h"
#include "panels/measure/MeasureDataForm.h"
#include "panels/measure/MeasureForm.h"
#include "panels/measure/MeasureSet.h"
#include "panels/measure/ScaleSet.h"
#include "panels/measure/SetScaleInfoDialog.h"
#include "panels/measure/SetTextDialog.h"
#include "platform/RegularFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QHoverEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Single widths and heights scale in single precision and truncate.
int scaled(int designed) { return int(float(designed) * float(uiSizeFactor) * 0.1f); }
QRect scaledRect(const QRect& r) {
    const QSize pos = scaleSize(scaleSize(QSize(r.x(), r.y()), uiSizeFactor), 0.1);
    const QSize size = scaleSize(scaleSize(r.size(), uiSizeFactor), 0.1);
    return QRect(pos.width(), pos.height(), size.width(), size.height());
}
void fixHeight(QWidget* w, int h) {
    w->setMinimumHeight(scaled(h));
    w->setMaximumHeight(scaled(h));
}
void fixWidth(QWidget* w, int width) {
    w->setMinimumWidth(scaled(width));
    w->setMaximumWidth(scaled(width));
}
QWidget* named(QWidget* parent, const char* name) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    return w;
}
} // namespace

int MainWidget::panelMargin() const { return int(float(uiSizeFactor) * 5.0f * 0.1f); }
int MainWidget::historyMargin() const { return int(float(uiSizeFactor) * 20.0f * 0.1f); }
QWidget* MainWidget::viewArea() const { return widget_center; }

QToolButton* MainWidget::makeTitleButton(const char* name, int x) {
    auto* b = new QToolButton(widget_3);
    b->setObjectName(name);
    b->setGeometry(x, 4, 23, 23);
    b->setMinimumSize(23, 23);
    b->setMaximumSize(100, 100);
    b->setAutoRaise(true);
    return b;
}

void MainWidget::buildForm() {
    setObjectName("MianWidget");
    resize(1097, 976);
    auto* rootLayout = new QVBoxLayout(this);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    widget_root = named(this, "widget_root");
    widget_root->setMinimumSize(1024, 720);
    rootLayout->addWidget(widget_root);
    auto* v = new QVBoxLayout(widget_root);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    // Title bar.
    widget_top = named(widget_root, "widget_top");
    widget_top->setAttribute(Qt::WA_StyledBackground);
    fixHeight(widget_top, 30);
    auto* top = new QHBoxLayout(widget_top);
    top->setContentsMargins(0, 0, 0, 0);
    widget_2 = named(widget_top, "widget_2");
    widget_2->setMinimumWidth(500);
    labLogo = new QLabel(widget_2);
    labLogo->setObjectName("labLogo");
    labLogo->setGeometry(10, 4, 23, 23);
    label = new QLabel(widget_2);
    label->setObjectName("label");
    label->setGeometry(43, 0, 400, 30);
    label->setStyleSheet("color:rgb(240,240,240);");
    top->addWidget(widget_2);
    top->addStretch(1);
    widget_3 = named(widget_top, "widget_3");
    widget_3->setMinimumWidth(205);
    btnInfo = makeTitleButton("btnInfo", 0);
    btnMin = makeTitleButton("btnMin", 33);
    btnBig = makeTitleButton("btnBig", 66);
    btnSmall = makeTitleButton("btnSmall", 66);
    btnNoBorder = makeTitleButton("btnNoBorder", 99);
    btnFullScreen = makeTitleButton("btnFullScreen", 140);
    btnClose = makeTitleButton("btnClose", 173);
    top->addWidget(widget_3);
    v->addWidget(widget_top);

    // Content: left column | centre.
    widget_content = named(widget_root, "widget_content");
    auto* contentLayout = new QVBoxLayout(widget_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    splitterLeft = new CustomSplitter(Qt::Horizontal, widget_content);
    splitterLeft->setObjectName("splitterLeft");
    splitterLeft->setFrameShape(QFrame::NoFrame);
    splitterLeft->setHandleWidth(6);
    splitterLeft->setChildrenCollapsible(true);
    contentLayout->addWidget(splitterLeft);

    auto* left = named(splitterLeft, "widget_Center_Left");
    left->setStyleSheet("background-color:rgb(210, 210, 210);");
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto* leftGrid = named(left, "widgetLeftGrid");
    leftLayout->addWidget(leftGrid);
    auto* gridLayout = new QHBoxLayout(leftGrid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setSpacing(0);
    widgetBtn = named(leftGrid, "widgetBtn");
    widgetBtn->setStyleSheet("background-color:rgb(163, 163, 163)");
    fixWidth(widgetBtn, 60);
    auto* btnColumn = new QVBoxLayout(widgetBtn);
    btnColumn->setContentsMargins(0, 0, 0, 0);
    btnColumn->setSpacing(0);
    for (const char* name : {"btnDevice", "btnArgs", "btnMeasure", "btnComposite", "btnLine", "btnSet", "btnHistory"}) {
        auto* b = new QToolButton(widgetBtn);
        b->setObjectName(name);
        btnColumn->addWidget(b);
        tabButtons << b;
    }
    btnColumn->addStretch(1);
    gridLayout->addWidget(widgetBtn);
    auto* widget_4 = named(leftGrid, "widget_4");
    auto* col = new QVBoxLayout(widget_4);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);
    widgetTab = named(widget_4, "widgetTab");
    fixHeight(widgetTab, 40);
    auto* tabLayout = new QHBoxLayout(widgetTab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    btnPinJie = new QToolButton(widgetTab);
    btnPinJie->setObjectName("btnPinJie");
    btnPinJie->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    btnRongHeHigh = new QToolButton(widgetTab);
    btnRongHeHigh->setObjectName("btnRongHeHigh");
    btnRongHeHigh->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    tabLayout->addWidget(btnPinJie);
    tabLayout->addWidget(btnRongHeHigh);
    col->addWidget(widgetTab);
    scrollArea = new QScrollArea(widget_4);
    scrollArea->setObjectName("scrollArea");
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollContent = named(nullptr, "scrollContent");
    scrollArea->setWidget(scrollContent);
    col->addWidget(scrollArea);
    gridLayout->addWidget(widget_4);

    auto* centre0 = named(splitterLeft, "widget_center_0");
    auto* centre0Layout = new QVBoxLayout(centre0);
    centre0Layout->setContentsMargins(0, 0, 0, 0);
    splitterCenter = new CustomSplitter(Qt::Vertical, centre0);
    splitterCenter->setObjectName("splitterCenter");
    splitterCenter->setHandleWidth(6);
    centre0Layout->addWidget(splitterCenter);
    auto* widget100 = named(splitterCenter, "widget100");
    auto* w100 = new QVBoxLayout(widget100);
    w100->setContentsMargins(0, 0, 0, 0);
    w100->setSpacing(0);
    widgetTop = named(widget100, "widgetTop");
    widgetTop->setStyleSheet("background-color:rgb(180, 180, 180);");
    fixHeight(widgetTop, 50);
    w100->addWidget(widgetTop);
    auto* centre1 = named(widget100, "widget_center_1");
    w100->addWidget(centre1, 1);
    auto* c1 = new QVBoxLayout(centre1);
    c1->setContentsMargins(0, 0, 0, 0);
    c1->setSpacing(0);
    auto* widget_6 = named(centre1, "widget_6");
    auto* w6 = new QHBoxLayout(widget_6);
    w6->setContentsMargins(0, 0, 0, 0);
    w6->setSpacing(0);
    widget_center = new MyWidget(widget_6);
    widget_center->setObjectName("widget_center");
    w6->addWidget(widget_center, 1);
    widgetV = named(widget_6, "widgetV");
    fixWidth(widgetV, 20);
    auto* vv = new QVBoxLayout(widgetV);
    vv->setContentsMargins(0, 0, 0, 0);
    scrollBarV = new QScrollBar(Qt::Vertical, widgetV);
    scrollBarV->setObjectName("scrollBarV");
    vv->addWidget(scrollBarV);
    w6->addWidget(widgetV);
    c1->addWidget(widget_6, 1);
    widgetH = named(centre1, "widgetH");
    fixHeight(widgetH, 20);
    auto* hh = new QHBoxLayout(widgetH);
    hh->setContentsMargins(0, 0, 0, 0);
    scrollBarH = new QScrollBar(Qt::Horizontal, widgetH);
    scrollBarH->setObjectName("scrollBarH");
    hh->addWidget(scrollBarH);
    c1->addWidget(widgetH);
    auto* bottom = named(splitterCenter, "widget_bottom");
    bottom->setMaximumSize(1666666, 1666666);
    auto* bl = new QVBoxLayout(bottom);
    bl->setContentsMargins(0, 0, 0, 0);
    widgetBottomGrid = named(bottom, "widgetBottomGrid");
    widgetBottomGrid->setAttribute(Qt::WA_StyledBackground);
    widgetBottomGrid->setStyleSheet("QWidget#widgetBottomGrid{background-color:rgb(255,255,255);}");
    bl->addWidget(widgetBottomGrid);
    v->addWidget(widget_content, 1);

    // Status line.
    widget_down = named(widget_root, "widget_down");
    widget_down->setAttribute(Qt::WA_StyledBackground);
    fixHeight(widget_down, 30);
    auto* down = new QHBoxLayout(widget_down);
    down->setContentsMargins(6, 0, 6, 0);
    auto mkLabel = [&](const char* name, const QString& text = QString()) {
        auto* l = new QLabel(text, widget_down);
        l->setObjectName(name);
        l->setStyleSheet("color:rgb(240,240,240);");
        down->addWidget(l);
        return l;
    };
    labRateName = mkLabel("labRateName");
    labRate = mkLabel("labRate"); // empty until a camera reports its rate
    labImagSizeName = mkLabel("labImagSizeName");
    labImagSize = mkLabel("labImagSize");
    down->addStretch(1);
    widgetImgBar = named(widget_down, "widgetImgBar");
    widgetImgBar->setMinimumWidth(314);
    btnScaleAddEditImg = new QToolButton(widgetImgBar);
    btnScaleAddEditImg->setObjectName("btnScaleAddEditImg");
    btnScaleAddEditImg->setGeometry(0, 4, 23, 23);
    sliderEditImg = new QSlider(Qt::Horizontal, widgetImgBar);
    sliderEditImg->setObjectName("sliderEditImg");
    sliderEditImg->setGeometry(30, 6, 160, 20);
    btnSacleOKEditImg = new QToolButton(widgetImgBar);
    btnSacleOKEditImg->setObjectName("btnSacleOKEditImg");
    btnSacleOKEditImg->setGeometry(196, 4, 90, 23);
    btnScaleSubEditImg = new QToolButton(widgetImgBar);
    btnScaleSubEditImg->setObjectName("btnScaleSubEditImg");
    btnScaleSubEditImg->setGeometry(290, 4, 23, 23);
    down->addWidget(widgetImgBar);
    widgetCamBar = named(widget_down, "widgetCamBar");
    widgetCamBar->setMinimumWidth(314);
    btnSacleOK = new QToolButton(widgetCamBar);
    btnSacleOK->setObjectName("btnSacleOK");
    btnSacleOK->setGeometry(0, 4, 90, 23);
    btnScaleSub = new QToolButton(widgetCamBar);
    btnScaleSub->setObjectName("btnScaleSub");
    btnScaleSub->setGeometry(96, 4, 23, 23);
    slider = new QSlider(Qt::Horizontal, widgetCamBar);
    slider->setObjectName("slider");
    slider->setGeometry(124, 6, 160, 20);
    btnScaleAdd = new QToolButton(widgetCamBar);
    btnScaleAdd->setObjectName("btnScaleAdd");
    btnScaleAdd->setGeometry(290, 4, 23, 23);
    down->addWidget(widgetCamBar);
    for (QSlider* s : {slider, sliderEditImg}) {
        s->setMaximum(10);
        s->setPageStep(1);
    }
    labScaleName = mkLabel("labScaleName");
    labScaleEditImg = mkLabel("labScaleEditImg");
    labScaleEditImg->setMinimumWidth(60);
    labScale = mkLabel("labScale", "100%");
    labScale->setMinimumWidth(60);
    labGongSi = mkLabel("labGongSi");
    v->addWidget(widget_down);
}

void MainWidget::scaleForm() {
    // Fixed heights and widths were scaled as they were set (fixHeight, fixWidth).
    for (QWidget* w : {widget_3, widgetCamBar, widgetImgBar, scrollContent})
        w->setMinimumWidth(scaled(w->minimumWidth()));
    for (QWidget* w : std::initializer_list<QWidget*>{labLogo, label, btnInfo, btnMin, btnFullScreen, btnClose, btnBig,
                                                      btnSmall, btnNoBorder, slider, btnSacleOK, btnScaleAdd,
                                                      btnScaleSub, sliderEditImg, btnSacleOKEditImg,
                                                      btnScaleAddEditImg, btnScaleSubEditImg})
        w->setGeometry(scaledRect(w->geometry()));
    const QString f = QString::number(uiSizeFactor);
    for (QToolButton* b : {btnScaleAdd, btnScaleSub, btnScaleAddEditImg, btnScaleSubEditImg}) {
        b->setText(QString());
        b->setAutoRaise(true);
        b->setIconSize(b->size());
    }
    btnScaleAdd->setIcon(QIcon(":/res/btnAdd_" + f + ".png"));
    btnScaleAddEditImg->setIcon(QIcon(":/res/btnAdd_" + f + ".png"));
    btnScaleSub->setIcon(QIcon(":/res/btnSub_" + f + ".png"));
    btnScaleSubEditImg->setIcon(QIcon(":/res/btnSub_" + f + ".png"));
    MessagePassing* hub = MessagePassing::instance();
    btnSacleOK->setStyleSheet(hub->getQToolButtonStyle());
    btnSacleOKEditImg->setStyleSheet(hub->getQToolButtonStyle());
    slider->setStyleSheet(hub->getQSliderStyle());
    sliderEditImg->setStyleSheet(hub->getQSliderStyle());
}

void MainWidget::setupTabButtons() {
    const int lang = MessagePassing::instance()->language();
    const QSize size = scaleSize(scaleSize(QSize(60, 60), uiSizeFactor), 0.1);
    for (QToolButton* b : tabButtons) {
        b->setText(QString());
        b->setMinimumSize(size);
        b->setMaximumSize(size);
        b->setIconSize(size);
        b->setIcon(QIcon(QPixmap(QString(":/res/%1_%2.png").arg(b->objectName()).arg(lang))
                             .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        disconnect(b, SIGNAL(clicked()), this, SLOT(btnWidgetBtnClick()));
        connect(b, SIGNAL(clicked()), this, SLOT(btnWidgetBtnClick()));
    }
}

MainWidget::MainWidget(QWidget* parent) : QWidget(parent) {
    hide();
    restoreAction = [] {};
    buildForm();
    texts.insert("labRateName", {"帧率:", "FrameRate:", "幀率"});
    texts.insert("btnSacleOK", {"窗口自适应", "Auto Size", "窗口自適應"});
    texts.insert("labScaleName", {"窗口缩放比例:", "Scaling:", "窗口縮放比例:"});
    texts.insert("labImagSizeName", {"尺寸", "Size", "尺寸"});
    texts.insert("btnPinJie", {"大图拼接", "Stitch", "大圖拼接"});
    texts.insert("btnRongHeHigh", {"融合", "Fusion", "融合"});
    scaleForm();
    largeSize = QSize(0, 0);
    textPreview = new QLabel(this);
    textPreview->setAlignment(Qt::AlignCenter);
    textPreview->setAutoFillBackground(true);
    textPreview->setFocusPolicy(Qt::NoFocus);
    textPreview->setFrameShape(QFrame::Box);
    textPreview->hide();

    const QString f = QString::number(uiSizeFactor);
    widget_top->setStyleSheet(QString("QWidget#widget_top{background:url(:/res/top_%1.png);}").arg(f));
    widget_down->setStyleSheet(QString("QWidget#widget_down{background:url(:/res/bottom_%1.png);}").arg(f));
    splitterLeft->setStyleSheet(
        "QSplitter::handle#splitterLeft{border-image:url(:/res/splitterLeft.png) 0 0 0 0 stretch stretch;}");
    splitterCenter->setStyleSheet(
        "QSplitter::handle#splitterCenter{border-image:url(:/res/splitterCenter.png) 0 0 0 0 stretch stretch;}");
    setupTabButtons();

    connect(btnMin, SIGNAL(clicked()), this, SLOT(btnMinClick()));
    connect(btnFullScreen, SIGNAL(clicked()), this, SLOT(btnFullScreenClick()));
    connect(btnClose, SIGNAL(clicked()), this, SLOT(btnCloseClick()));
    connect(btnInfo, SIGNAL(clicked()), this, SLOT(btnInfoClick()));
    connect(btnBig, SIGNAL(clicked()), this, SLOT(btnBigSmallClick()));
    connect(btnSmall, SIGNAL(clicked()), this, SLOT(btnBigSmallClick()));
    connect(btnNoBorder, SIGNAL(clicked()), this, SLOT(slo_btnNoBorder()));
    labLogo->setPixmap(QPixmap(":/res/logoIcon_" + f + ".png").scaledToWidth(labLogo->width()));
    label->setText("Varnel显微镜软件V4.1");
    labGongSi->setText(QString());
    const QList<QPair<QToolButton*, const char*>> titleIcons = {
        {btnMin, "btnMin"},   {btnFullScreen, "btnFullScreen"}, {btnClose, "btnClose"},      {btnInfo, "btnInfo"},
        {btnBig, "btnBig"},   {btnSmall, "btnSmall"},           {btnNoBorder, "btnNoBorder"}};
    for (const auto& t : titleIcons) {
        t.first->setIconSize(t.first->size());
        t.first->setIcon(QIcon(QPixmap(QString(":/res/MainWindow/%1_%2.png").arg(t.second).arg(f))
                                   .scaledToWidth(t.first->width(), Qt::SmoothTransformation)));
    }
    btnBig->hide();
    currentCompositeTab = nullptr;

    auto* timer = new QTimer(this);
    connect(timer, SIGNAL(timeout()), this, SLOT(oneSecondUpdate()));
    timer->start(1000);

    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(quitFullScreenSIGNAL()), this, SLOT(quitFullScreenSLOT()));
    connect(hub, SIGNAL(initImageScaleIndexSIGNAL(int)), this, SLOT(initImageScaleIndexSLOT(int)));
    connect(hub, SIGNAL(wheelEventAddSIGNAL(QPoint)), this, SLOT(wheelEventAddSLOT(QPoint)));
    connect(hub, SIGNAL(wheelEventSubSIGNAL(QPoint)), this, SLOT(wheelEventSubSLOT(QPoint)));
    connect(hub, SIGNAL(bewriteTextUpdateSIGNAL(bool, QPoint, QString)), this,
            SLOT(bewriteTextUpdateSLOT(bool, QPoint, QString)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(goOutPinJieSIGNAL()), this, SLOT(goOutPinJieSLOT()));
    connect(hub, SIGNAL(goOutJingShenSIGNAL()), this, SLOT(goOutJingShenSLOT()));
    connect(hub, SIGNAL(goOutJingShenHighSIGNAL()), this, SLOT(goOutJingShenHighSLOT()));
    connect(hub, SIGNAL(ForceSliderSIGNAL()), this, SLOT(ForceSliderSLOT()));
    connect(hub, SIGNAL(setEditImageOKSIGNAL()), this, SLOT(setEditImageOKSLOT()));
    connect(hub, SIGNAL(clickBtnMinSIGNAL()), this, SLOT(btnMinClick()));
    connect(hub, SIGNAL(saveImageByFileDialogSIGNAL(QImage, QString, bool, bool)), this,
            SLOT(saveImageByFileDialogSLOT(QImage, QString, bool, bool)));
    connect(hub, SIGNAL(renewScrollBarSignal()), this, SLOT(renewScrollBarSLOT()));
    connect(hub, SIGNAL(setIsCameraModeSIGNAL(bool)), this, SLOT(setIsCameraModeSLOT(bool)));
    connect(hub, SIGNAL(btnScaleOKSIGNAL()), this, SLOT(btnScaleOKSLOT()));
    connect(hub, SIGNAL(changeFenBianLv1080pReturnFinishSIGNAL(int)), this,
            SLOT(changeFenBianLv1080pReturnFinishSLOT(int)));
    connect(hub, SIGNAL(setCurCameraNULLSIGNAL()), this, SLOT(setCurCameraNULLSLOT()));
    connect(hub, SIGNAL(setIsCameraModeSIGNAL(bool)), this, SLOT(slo_noBorderEnable(bool)));

    changeLanguageSLOT(hub->language());
    labImagSize->hide();
    labImagSizeName->hide();
    labScaleEditImg->hide();
    connect(sliderEditImg, SIGNAL(valueChanged(int)), this, SLOT(sliderEditImgValueChanged(int)));
    connect(btnScaleAddEditImg, SIGNAL(clicked()), this, SLOT(btnScaleAddEditImgAddClick()));
    connect(btnScaleSubEditImg, SIGNAL(clicked()), this, SLOT(btnScaleSubEditImgClick()));

    installEventFilter(this);
    setAttribute(Qt::WA_MouseTracking);
    setAttribute(Qt::WA_Hover);
    connect(widget_center, SIGNAL(posAndSizeChanged(int, int, int, int)), this,
            SLOT(posAndSizeChangedSLOT(int, int, int, int)));

    auto* cameraBar = new CameraForm(widgetTop);
    cameraBar->move(0, 0);
    cameraBar->show();
    cameraBar->setEnabled(false);
    auto* imageBar = new SnapOpenSave(widgetTop);
    imageBar->move(cameraBar->width(), 0);
    imageBar->show();
    imageBar->setEnabled(false);

    auto* tableLayout = new QVBoxLayout(widgetBottomGrid);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    auto* table = new MeasureDataForm();
    tableLayout->addWidget(table);
    table->show();

    connect(scrollBarH, SIGNAL(valueChanged(int)), this, SLOT(scrollBarHValueChanged(int)));
    connect(scrollBarV, SIGNAL(valueChanged(int)), this, SLOT(scrollBarVValueChanged(int)));
    widgetTab->hide();
    connect(btnPinJie, SIGNAL(clicked()), this, SLOT(btnPinJieClick()));
    connect(btnRongHeHigh, SIGNAL(clicked()), this, SLOT(btnRongHeHighClick()));
    btnWidgetBtnColorChange(tabButtons.first());
    btnPinJieRongHeColorChange(btnPinJie);
    widgetCamBar->hide();
    widgetImgBar->hide();

    QTimer::singleShot(30, this, SLOT(oneSecondDelay()));
}

MainWidget::~MainWidget() = default;

void MainWidget::initCenter(QList<int> codes, QList<int> indexes) {
    show();
    // The live picture is painted by the lowest child of the view area, so
    // it shows under the interface everywhere and grab() captures both.
    if (videoWindow) {
        auto* video = new VideoWidget(videoWindow, widget_center);
        video->setObjectName("videoWidget");
        video->setGeometry(0, 0, widget_center->width(), widget_center->height());
        video->lower();
        video->show();
        m_video = video;
    }
    auto* icons = new IconWidget(widget_center);
    // Hidden until an icon comes: an empty strip would cover the picture's corner.
    icons->moveAndHide(QPoint(widget_center->width() - icons->width(), 0));
    auto* frame = new FrameForm(widget_center);
    frame->resize(widget_center->size());
    frame->hide();
    auto* overlay = new OpacityForm(widget_center);
    overlay->resize(widget_center->size());
    overlay->hide();
    RegisterMeasureShapes();
    auto* layer = new ItemLayer(widget_center);
    layer->setCameraNumber(0);
    layer->init();
    layer->SetCurScaleName(layer->measureSystem()->ReadLastScaleName());
    layer->setObjectName("itemLayer");
    layer->syncToVideoRect(QRect(QPoint(0, 0), widget_center->size()), QSize(1920, 1080));
    layer->setScaleDialogHook(&SetScaleInfoDialog::askScale);
    layer->setTextDialogHook(&SetTextDialog::askText);
    layer->setVideoMoveHook([](const QPoint& p) {
        if (videoWindow && videoWindow->isShown())
            videoWindow->move(p);
    });
    layer->hide();
    views.insert(0, layer);
    views.insert(1, overlay);
    views.insert(2, frame);

    deviceForm::lensPanelMaker = [](QWidget* parent) -> QWidget* { return new LensForm(parent); };
    auto* devices = new deviceForm(scrollContent);
    devices->initDeviceList(codes, indexes);
    devices->show();
    devices->move(0, panelMargin());
    devices->resize(scrollContent->width(), devices->height());
    connect(devices, SIGNAL(newCameraParaForm()), this, SLOT(newCameraParaFormSLOT()));
}

template <class T> T* MainWidget::panel(bool create) {
    for (QObject* o : scrollContent->children())
        if (T* p = qobject_cast<T*>(o))
            return p;
    return create ? new T(scrollContent) : nullptr;
}

template <class T> T* MainWidget::newPanelIfMissing() {
    if (panel<T>(false))
        return nullptr;
    T* p = panel<T>(true);
    p->hide();
    return p;
}

void MainWidget::newCameraParaFormSLOT() {
    if (auto* p = newPanelIfMissing<CameraParaForm>()) {
        p->syncParamsOnce();
        p->initAEState();
    }
    if (auto* p = newPanelIfMissing<CameraSet>())
        p->initImgTypeByCamera();
    newPanelIfMissing<VideoSet>();
    if (auto* p = newPanelIfMissing<OtherSet>())
        p->initFPSList();
    newPanelIfMissing<ScaleSet>();
    if (auto* p = newPanelIfMissing<CrossLineSetWidget>())
        p->setEnabled(false);
    newPanelIfMissing<MeasureForm>();
    if (auto* p = newPanelIfMissing<SnapHistory>()) {
        p->resize(scrollContent->width(), scrollArea->height() - historyMargin());
        p->showAndReload();
    }
    for (QWidget* v : views) {
        if (auto* layer = qobject_cast<ItemLayer*>(v))
            layer->GetScaleInfo();
        v->show();
    }
    for (QObject* o : widgetTop->children()) {
        if (auto* bar = qobject_cast<CameraForm*>(o)) {
            bar->setEnabled(true);
            bar->playIfPaused();
        } else if (auto* imageBar = qobject_cast<SnapOpenSave*>(o)) {
            imageBar->setEnabled(true);
        }
    }
    tabButtons.first()->click();
    QTimer::singleShot(100, this, SLOT(btnSacleOKClick()));
}

void MainWidget::setCurCameraNULLSLOT() {
    for (QObject* o : scrollContent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || qobject_cast<PinJieForm*>(w) || qobject_cast<JingShenFormHigh*>(w) || qobject_cast<deviceForm*>(w))
            continue;
        w->deleteLater();
    }
    for (QWidget* v : views)
        v->hide();
    for (QObject* o : widgetTop->children()) {
        if (auto* bar = qobject_cast<CameraForm*>(o))
            bar->setEnabled(false);
        else if (auto* imageBar = qobject_cast<SnapOpenSave*>(o))
            imageBar->setEnabled(false);
    }
}

void MainWidget::oneSecondUpdate() {
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera())
        labRate->setText(QString::number(cam->frameRate(), 'f', 1));
}

void MainWidget::changeLanguageSLOT(int language) {
    if (language < 0 || language > 2)
        language = 0;
    labRateName->setText(texts["labRateName"][language]);
    btnSacleOK->setText(texts["btnSacleOK"][language]);
    btnSacleOKEditImg->setText(texts["btnSacleOK"][language]);
    labScaleName->setText(texts["labScaleName"][language]);
    labImagSizeName->setText(texts["labImagSizeName"][language]);
    btnPinJie->setText(texts["btnPinJie"][language]);
    btnRongHeHigh->setText(texts["btnRongHeHigh"][language]);
    setupTabButtons();
}

void MainWidget::setIsCameraModeSLOT(bool cameraMode) {
    labRate->setVisible(cameraMode);
    labRateName->setVisible(cameraMode);
    labScale->setVisible(cameraMode);
    labImagSize->setVisible(!cameraMode);
    labImagSizeName->setVisible(!cameraMode);
    labScaleEditImg->setVisible(!cameraMode);
    if (!cameraMode)
        return;
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (cam && slider->value() != cam->scaleIndex())
        btnSacleOKClick();
    else if (!fullScreen)
        sliderValueChangedDelay();
}

void MainWidget::setEditImageOKSLOT() {
    auto* frame = qobject_cast<FrameForm*>(views.value(2));
    if (!frame)
        return;
    if (frame->isImageLoaded()) {
        labImagSize->setText(QString("(%1x%2)").arg(frame->imageSize().width()).arg(frame->imageSize().height()));
        sliderEditImg->setValue(frame->getScaleIndex());
        for (QWidget* v : views)
            v->show();
    }
    QTimer::singleShot(100, this, SLOT(setEditImageOKDelay()));
}

void MainWidget::setEditImageOKDelay() { sliderEditImgValueChanged(sliderEditImg->value()); }

void MainWidget::changeFenBianLv1080pReturnFinishSLOT(int value) {
    if (value != 2)
        return;
    btnSacleOKClick();
    sliderValueChangedDelay();
    btnFullScreen->setEnabled(true);
}


void MainWidget::btnMinClick() {
    minimised = true;
    if (parentWidget())
        parentWidget()->showMinimized();
}

void MainWidget::dismissOpenDialogs() {
    // Each open dialog runs a nested event loop; until it returns, the
    // program's own loop cannot see that it has to stop.
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}

void MainWidget::closeEvent(QCloseEvent* event) {
    // A close request of the window manager takes the program's own
    // shutdown road, as the close button does.
    if (event->spontaneous()) {
        event->ignore();
        btnCloseClick();
        return;
    }
    QWidget::closeEvent(event);
}

void MainWidget::btnCloseClick() {
    if (parentWidget())
        parentWidget()->hide();
    hide();
    // An exit request made while a dialog is open ends the program too.
    dismissOpenDialogs();
    // Focus stacking stops now, beside the camera's shutdown, not when the
    // window is deleted after it.
    if (JingShenFormHigh* focus = panel<JingShenFormHigh>(false))
        focus->stopForExit();
    auto* devices = panel<deviceForm>(false);
    if (!devices) {
        // Nothing opened yet: there is no camera to close.
        ProcessEnd::requestExit(0);
        return;
    }
    devices->setExitAction([this](bool netCameraUsed) {
        if (netCameraUsed)
            NetCamera::uninitSDK();
        if (parentWidget())
            parentWidget()->close();
        ProcessEnd::requestExit(0);
    });
    devices->stopSDLLoop();
}

// ---------------------------------------------------------------- panel switching

void MainWidget::btnWidgetBtnColorChange(QToolButton* chosen) {
    for (QToolButton* b : tabButtons)
        b->setStyleSheet(b == chosen ? "background-color:rgb(163, 163, 163);" : "background-color:rgb(100, 100, 100);");
}

void MainWidget::btnPinJieRongHeColorChange(QToolButton* chosen) {
    btnPinJie->setStyleSheet(chosen == btnPinJie ? "background-color:rgb(210, 210, 210);"
                                                 : "background-color:rgb(119, 120, 122);");
    btnRongHeHigh->setStyleSheet(chosen == btnRongHeHigh ? "background-color:rgb(210, 210, 210);"
                                                         : "background-color:rgb(119, 120, 122);");
}

void MainWidget::fitScrollContent(int total) {
    const int least = scrollArea->height() - historyMargin();
    scrollContent->setMinimumHeight(total > least ? total : least);
}

void MainWidget::btnWidgetBtnClick() {
    switchTo(qobject_cast<QToolButton*>(sender()));
}

void MainWidget::switchTo(QToolButton* b) {
    if (!b || !panel<CameraParaForm>(false))
        return;
    btnWidgetBtnColorChange(b);
    hideAllPanels();
    widgetTab->setVisible(b->objectName() == "btnComposite");
    int total = 0;
    int y = 0;
    auto place = [&](QWidget* w, int atY) {
        if (!w)
            return;
        w->move(0, atY);
        w->show();
        total += w->height();
        y = atY + w->height();
    };
    const QString name = b->objectName();
    if (name == "btnDevice") {
        place(panel<deviceForm>(false), panelMargin());
    } else if (name == "btnArgs") {
        place(panel<CameraParaForm>(false), panelMargin());
    } else if (name == "btnMeasure") {
        place(panel<ScaleSet>(true), 0);
        place(panel<MeasureForm>(true), y);
        place(panel<MeasureSet>(true), y);
        place(panel<MarkForm>(true), y);
    } else if (name == "btnComposite") {
        if (!currentCompositeTab || currentCompositeTab == btnPinJie) {
            PinJieForm* p = panel<PinJieForm>(false);
            if (!p) {
                p = panel<PinJieForm>(true);
                connect(p, SIGNAL(moveGraphicsView(QGraphicsView*)), this, SLOT(moveGraphicsViewSLOT(QGraphicsView*)));
            }
            place(p, panelMargin());
        } else {
            JingShenFormHigh* p = panel<JingShenFormHigh>(false);
            if (!p)
                return;
            place(p, panelMargin());
        }
    } else if (name == "btnLine") {
        place(panel<LineForm>(true), panelMargin());
        place(panel<CrossLineSetWidget>(true), y);
    } else if (name == "btnSet") {
        place(panel<CameraSet>(true), panelMargin());
        BaseCamera* cam = MessagePassing::instance()->currentCamera();
        if (cam && cam->isNetCamera())
            place(panel<ImageReceiveForm>(true), y);
        else
            place(panel<CameraTimeSet>(true), y);
        place(panel<VideoSet>(true), y);
        place(panel<XlsSet>(true), y);
        place(panel<OtherSet>(true), y);
    }
    fitScrollContent(total);
    if (name == "btnHistory") {
        if (SnapHistory* h = panel<SnapHistory>(false)) {
            h->move(0, panelMargin());
            h->resize(scrollContent->width(), scrollArea->height() - historyMargin());
            h->show();
            h->renewLayout();
        }
    }
    fitShownPanels();
}

void MainWidget::fitShownPanels() {
    // Fitted at once: clicks the program has not read yet (it ran late) reach
    // the shown panels before the event loop runs again, and would miss
    // controls of a panel still at its first width, or at the width the
    // column had before its scroll bar came or went (the content's new
    // height asks the viewport for a layout pass, in which the scroll area
    // shows or hides the bar: made now). Fitted again after the next pass.
    QCoreApplication::sendPostedEvents(scrollArea->viewport(), QEvent::LayoutRequest);
    btnWidgetBtnClickDelay();
    QTimer::singleShot(10, this, SLOT(btnWidgetBtnClickDelay()));
}

void MainWidget::btnWidgetBtnClickDelay() {
    for (QObject* o : scrollContent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || !w->isVisible())
            continue;
        w->resize(scrollContent->width(), w->height());
        // The composite panels lay their picture views out for the new width.
        if (auto* p = qobject_cast<PinJieForm*>(w))
            p->renewViewGeometry();
        else if (auto* j = qobject_cast<JingShenFormHigh*>(w))
            j->renewViewGeometry();
    }
}

void MainWidget::chooseCompositeTab(QToolButton* tab) {
    btnPinJieRongHeColorChange(tab);
    currentCompositeTab = tab;
    hideAllPanels();
}

void MainWidget::showCompositePanel(QWidget* p) {
    p->move(0, panelMargin());
    p->show();
    fitScrollContent(p->height());
    fitShownPanels();
}

void MainWidget::btnPinJieClick() {
    chooseCompositeTab(btnPinJie);
    if (PinJieForm* p = panel<PinJieForm>(false))
        showCompositePanel(p);
}

void MainWidget::btnRongHeHighClick() {
    chooseCompositeTab(btnRongHeHigh);
    JingShenFormHigh* p = panel<JingShenFormHigh>(false);
    if (!p) {
        p = panel<JingShenFormHigh>(true);
        connect(p, SIGNAL(moveLabImgHigh(QGraphicsView*)), this, SLOT(moveLabImgHighSLOT(QGraphicsView*)));
    }
    showCompositePanel(p);
}

void MainWidget::hideAllPanels() {
    for (QObject* o : scrollContent->children())
        if (auto* w = qobject_cast<QWidget*>(o))
            w->hide();
}

// ---------------------------------------------------------------- splitter state

void MainWidget::oneSecondDelay() {
    // Once: the main window may have asked for it before the timer came.
    if (splitterSettings)
        return;
    connect(splitterLeft, SIGNAL(saveDataSIGNAL()), this, SLOT(saveDataSLOT()));
    connect(splitterCenter, SIGNAL(saveDataSIGNAL()), this, SLOT(saveDataSLOT()));
    splitterSettings =
        std::make_unique<QSettings>(RegularFile::settingsName("./MainWidget.ini"), QSettings::IniFormat);
    // A stored state that does not restore (a damaged file) counts as none:
    // the next source, and last the default stretch, lay the panels out.
    // (restoreState changes nothing when it fails.)
    const auto restore = [this](const QByteArray& left, const QByteArray& center) {
        if (left.isEmpty())
            return false;
        const QByteArray leftBefore = splitterLeft->saveState();
        if (!splitterLeft->restoreState(left))
            return false;
        if (splitterCenter->restoreState(center))
            return true;
        splitterLeft->restoreState(leftBefore);
        return false;
    };
    if (restore(splitterSettings->value("splitterLeft").toByteArray(),
                splitterSettings->value("splitterCenter").toByteArray()))
        return;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QSettings zero(RegularFile::settingsName("./MainWidget_zero.ini"), QSettings::IniFormat);
    if (restore(zero.value(QString("splitterLeft_%1").arg(screen.width())).toByteArray(),
                zero.value(QString("splitterCenter_%1").arg(screen.height())).toByteArray()))
        return;
    splitterLeft->setStretchFactor(0, uiSizeFactor == 10 ? 18 : 35);
    splitterLeft->setStretchFactor(1, 100);
    splitterCenter->setStretchFactor(0, 100);
    splitterCenter->setStretchFactor(1, 0);
}

void MainWidget::saveDataSLOT() {
    if (!splitterSettings)
        return;
    splitterSettings->setValue("splitterLeft", splitterLeft->saveState());
    splitterSettings->setValue("splitterCenter", splitterCenter->saveState());
    splitterSettings->sync();
}

void MainWidget::restoreFunc() {
    if (!minimised)
        return;
    minimised = false;
    if (restoreAction)
        restoreAction();
}

// ---------------------------------------------------------------- view area, zoom and scrolling

namespace {
const QPoint kNoAnchor(-10000, -10000);
}

QString MainWidget::percentText(float factor) { return QString::number(double(factor) * 100.0, 'f', 0) + "%"; }

QWidget* MainWidget::mainWindowRoot() const {
    return parentWidget() ? parentWidget()->findChild<QWidget*>("widget_root") : nullptr;
}

QWidget* MainWidget::videoHost() const { return videoHostWidget; }

void MainWidget::placeViews(const QPoint& p, const QSize& s) {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    for (QWidget* v : views) {
        v->move(p);
        v->resize(s);
        if (auto* layer = qobject_cast<ItemLayer*>(v)) {
            layer->setDisplaySize(s);
            if (cam)
                layer->setImageSize(cam->frameSize(false));
        }
        v->update();
    }
}

void MainWidget::updateScrollRanges(const QSize& picture) {
    const QSignalBlocker bh(scrollBarH);
    const QSignalBlocker bv(scrollBarV);
    scrollBarH->setRange(0, std::max(0, picture.width() - widget_center->width()));
    scrollBarV->setRange(0, std::max(0, picture.height() - widget_center->height()));
}

void MainWidget::placeMosaicView() {
    if (auto* view = widget_center->findChild<QGraphicsView*>(QString(), Qt::FindDirectChildrenOnly)) {
        view->move(0, 0);
        view->resize(widget_center->size());
        view->show();
    }
}

void MainWidget::posAndSizeChangedSLOT(int x, int y, int width, int height) {
    if (QWidget* host = videoHost()) {
        host->resize(width, height);
        host->move(x, y);
    }
    if (m_video)
        m_video->setGeometry(0, 0, width, height);
    btnWidgetBtnClickDelay();
    if (auto* leftGrid = findChild<QWidget*>("widgetLeftGrid"))
        if (auto* left = findChild<QWidget*>("widget_Center_Left"))
            leftGrid->resize(left->size());
    if (auto* bottom = findChild<QWidget*>("widget_bottom"))
        widgetBottomGrid->resize(bottom->size());
    if (SnapHistory* h = panel<SnapHistory>(false))
        if (h->isVisible())
            h->renewLayout();
    posAndSizeChangedDelay();
}

void MainWidget::posAndSizeChangedDelay() {
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera()) {
        cam->initScaleList();
        btnSacleOKClick();
        if (!MessagePassing::instance()->getIsCameraMode())
            if (auto* frame = qobject_cast<FrameForm*>(views.value(2)))
                frame->fitToWindow();
    }
    placeMosaicView();
}

void MainWidget::btnSacleOKClick() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    {
        const QSignalBlocker block(slider);
        if (cam)
            slider->setValue(cam->scaleIndex());
    }
    if (!fullScreen)
        sliderValueChangedDelay();
}

void MainWidget::btnScaleAddClick() { slider->setValue(slider->value() + 1); }
void MainWidget::btnScaleSubClick() { slider->setValue(slider->value() - 1); }

void MainWidget::sliderValueChanged(int value) {
    Q_UNUSED(value)
    if (!fullScreen)
        sliderValueChangedDelay();
}

void MainWidget::sliderValueChangedForce(int value) { sliderValueChanged(value); }

void MainWidget::sliderValueChangedDelay() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam)
        return;
    const float factor = cam->setScaleIndex(slider->value(), kNoAnchor);
    labScale->setText(percentText(factor));
    QTimer::singleShot(100, this, SLOT(sliderValueChangedDelay2()));
}

void MainWidget::sliderValueChangedDelay2() {
    if (!videoWindow)
        return;
    const QSize s = videoWindow->size();
    placeViews(videoWindow->pos(), s);
    updateScrollRanges(s);
    MessagePassing::instance()->renewScrollBar();
}

void MainWidget::ForceSliderSLOT() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (cam && slider->value() != cam->scaleIndex())
        btnSacleOKClick();
    else if (!fullScreen)
        sliderValueChangedDelay();
}

void MainWidget::initImageScaleIndexSLOT(int index) {
    slider->setValue(index);
    if (!fullScreen)
        sliderValueChangedDelay();
    // Made again on every call, as a fresh live view starts.
    disconnect(slider, SIGNAL(valueChanged(int)), this, SLOT(sliderValueChanged(int)));
    disconnect(btnScaleAdd, SIGNAL(clicked()), this, SLOT(btnScaleAddClick()));
    disconnect(btnScaleSub, SIGNAL(clicked()), this, SLOT(btnScaleSubClick()));
    connect(slider, SIGNAL(valueChanged(int)), this, SLOT(sliderValueChanged(int)));
    connect(btnScaleAdd, SIGNAL(clicked()), this, SLOT(btnScaleAddClick()));
    connect(btnScaleSub, SIGNAL(clicked()), this, SLOT(btnScaleSubClick()));
}

void MainWidget::sliderEditImgValueChanged(int value) {
    auto* frame = qobject_cast<FrameForm*>(views.value(2));
    if (!frame)
        return;
    labScaleEditImg->setText(percentText(frame->setScaleIndex(value, kNoAnchor)));
    sliderValueChangedDelayEdit();
}

void MainWidget::btnScaleAddEditImgAddClick() {
    if (qobject_cast<FrameForm*>(views.value(2)))
        sliderEditImg->setValue(sliderEditImg->value() + 1);
}

void MainWidget::btnScaleSubEditImgClick() {
    if (qobject_cast<FrameForm*>(views.value(2)))
        sliderEditImg->setValue(sliderEditImg->value() - 1);
}

void MainWidget::btnSacleOKEditImgClick() {
    auto* frame = qobject_cast<FrameForm*>(views.value(2));
    if (!frame)
        return;
    {
        const QSignalBlocker block(sliderEditImg);
        sliderEditImg->setValue(frame->getScaleIndex());
    }
    sliderEditImgValueChanged(sliderEditImg->value());
}

void MainWidget::btnScaleOKSLOT() {
    if (MessagePassing::instance()->getIsCameraMode())
        btnSacleOKClick();
    else
        btnSacleOKEditImgClick();
}

void MainWidget::sliderValueChangedDelayEdit() {
    auto* frame = qobject_cast<FrameForm*>(views.value(2));
    if (!frame)
        return;
    const QSize s = frame->size();
    const QPoint p = frame->pos();
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    for (QWidget* v : views) {
        if (v == frame)
            continue;
        v->move(p);
        v->resize(s);
        if (auto* layer = qobject_cast<ItemLayer*>(v)) {
            layer->setDisplaySize(s);
            if (cam)
                layer->setImageSize(cam->frameSize(false));
        }
    }
    updateScrollRanges(s);
    MessagePassing::instance()->renewScrollBar();
}

void MainWidget::wheelEventAddSLOT(QPoint pos) { wheelZoom(pos, +1); }
void MainWidget::wheelEventSubSLOT(QPoint pos) { wheelZoom(pos, -1); }

void MainWidget::wheelZoom(const QPoint& p, int step) {
    // The wheel position is in this window; the picture lies in its view
    // area (the video is painted there, under the overlay views).
    const QPoint hostOffset = viewArea()->mapTo(this, QPoint(0, 0));
    if (MessagePassing::instance()->getIsCameraMode()) {
        if (!videoWindow)
            return;
        const QPoint anchor = p - hostOffset - videoWindow->pos();
        if (!QRect(QPoint(0, 0), videoWindow->size()).contains(anchor))
            return;
        {
            const QSignalBlocker block(slider);
            slider->setValue(slider->value() + step);
        }
        BaseCamera* cam = MessagePassing::instance()->currentCamera();
        if (fullScreen || !cam)
            return;
        labScale->setText(percentText(cam->setScaleIndex(slider->value(), anchor)));
        sliderValueChangedDelay2();
        return;
    }
    auto* frame = qobject_cast<FrameForm*>(views.value(2));
    if (!frame)
        return;
    const QPoint anchor = p - hostOffset - frame->pos();
    if (!QRect(QPoint(0, 0), frame->size()).contains(anchor))
        return;
    {
        const QSignalBlocker block(sliderEditImg);
        sliderEditImg->setValue(sliderEditImg->value() + step);
    }
    labScaleEditImg->setText(percentText(frame->setScaleIndex(sliderEditImg->value(), anchor)));
    sliderValueChangedDelayEdit();
}

void MainWidget::scrollBarHValueChanged(int value) {
    if (!MessagePassing::instance()->currentCamera())
        return;
    for (QWidget* v : views)
        v->move(-value, v->y());
    // The picture follows the bar whether or not the views are built yet.
    if (videoWindow)
        videoWindow->move(QPoint(-value, videoWindow->pos().y()));
}

void MainWidget::scrollBarVValueChanged(int value) {
    if (!MessagePassing::instance()->currentCamera())
        return;
    for (QWidget* v : views)
        v->move(v->x(), -value);
    if (videoWindow)
        videoWindow->move(QPoint(videoWindow->pos().x(), -value));
}

void MainWidget::renewScrollBarSLOT() {
    QPoint pos;
    if (MessagePassing::instance()->getIsCameraMode()) {
        if (!videoWindow)
            return;
        pos = videoWindow->pos();
    } else {
        auto* frame = qobject_cast<FrameForm*>(views.value(2));
        if (!frame)
            return;
        pos = frame->pos();
    }
    const QSignalBlocker bh(scrollBarH);
    const QSignalBlocker bv(scrollBarV);
    scrollBarH->setValue(std::abs(pos.x()));
    scrollBarV->setValue(std::abs(pos.y()));
}

void MainWidget::bewriteTextUpdateSLOT(bool show, QPoint point, QString text) {
    if (!show) {
        textPreview->hide();
        return;
    }
    const QFontMetrics fm(font());
    textPreview->setFixedWidth(fm.horizontalAdvance(text) + 10);
    textPreview->setFixedHeight(fm.height() + 5);
    textPreview->setText(text);
    const QPoint centre = mapFromGlobal(point);
    textPreview->move(centre.x() - textPreview->width() / 2, centre.y() - textPreview->height() / 2);
    textPreview->show();
    textPreview->raise();
}

// ---------------------------------------------------------------- mosaic view of stitching and focus stacking

void MainWidget::enterMosaic(QGraphicsView* view, QWidget* formView, QToolButton* alsoDisabled) {
    btnFullScreen->setEnabled(false);
    for (QWidget* v : views)
        v->hide();
    for (const char* n : {"widget_bottom"})
        if (auto* w = findChild<QWidget*>(n))
            w->hide();
    widgetTop->hide();
    widgetH->hide();
    widgetV->hide();
    widgetBtn->setEnabled(false);
    if (alsoDisabled)
        alsoDisabled->setEnabled(false);
    if (formView) {
        // Small live preview fitted into the form's own view widget.
        auto* mini = new FrameFormMINI(formView);
        BaseCamera* cam = MessagePassing::instance()->currentCamera();
        const QSize frame = cam ? cam->frameSize() : QSize(1920, 1080);
        const QSize area = formView->size();
        const double scale = std::min(double(area.width()) / frame.width(), double(area.height()) / frame.height());
        const QSize size(int(frame.width() * scale), int(frame.height() * scale));
        mini->setGeometry((area.width() - size.width()) / 2, (area.height() - size.height()) / 2, size.width(),
                          size.height());
        mini->show();
    }
    if (view)
        view->setParent(widget_center);
}

void MainWidget::leaveMosaic() {
    if (auto* w = findChild<QWidget*>("widget_bottom"))
        w->show();
    widgetTop->show();
    widgetH->show();
    widgetV->show();
    widgetBtn->setEnabled(true);
    btnPinJie->setEnabled(true);
    btnRongHeHigh->setEnabled(true);
}

void MainWidget::moveGraphicsViewSLOT(QGraphicsView* view) {
    // The panel's worker builds the run's feather masks with its first mosaic.
    PinJieForm* form = panel<PinJieForm>(false);
    enterMosaic(view, form ? form->getGraphicsView() : nullptr, btnRongHeHigh);
    QTimer::singleShot(10, this, SLOT(moveGraphicsViewDelay()));
}

void MainWidget::moveGraphicsViewDelay() {
    placeMosaicView();
    if (PinJieForm* form = panel<PinJieForm>(false))
        form->gotoStart();
}

void MainWidget::moveLabImgHighSLOT(QGraphicsView* view) {
    JingShenFormHigh* form = panel<JingShenFormHigh>(false);
    enterMosaic(view, form ? form->getPreviewFrame() : nullptr, btnPinJie);
    if (form)
        form->goin();
    QTimer::singleShot(10, this, SLOT(moveLabImgHighDelay()));
}

void MainWidget::moveLabImgHighDelay() {
    placeMosaicView();
    if (JingShenFormHigh* form = panel<JingShenFormHigh>(false))
        form->setSceneScale();
}

void MainWidget::stopMiniPreviews(QWidget* formView) {
    if (!formView)
        return;
    for (FrameFormMINI* mini : formView->findChildren<FrameFormMINI*>())
        mini->stopRenew();
}

void MainWidget::goOutPinJieSLOT() {
    leaveMosaic();
    if (PinJieForm* form = panel<PinJieForm>(false)) {
        form->takeBackGraphicsView();
        stopMiniPreviews(form->getGraphicsView());
    }
    for (QWidget* v : views)
        v->show();
    MessagePassing::instance()->changeFenBianLv1080pReturn(2);
    QTimer::singleShot(100, this, SLOT(goOutDelaySLOT()));
}

void MainWidget::refitLiveZoom() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    {
        const QSignalBlocker block(slider);
        if (cam)
            slider->setValue(cam->scaleIndex());
    }
    if (!fullScreen)
        sliderValueChangedDelay();
    sliderValueChangedDelay();
}

void MainWidget::goOutJingShenSLOT() {
    // The older focus-stacking form is never constructed; only the layout returns.
    leaveMosaic();
    for (QWidget* v : views)
        v->show();
    refitLiveZoom();
    btnFullScreen->setEnabled(true);
}

void MainWidget::goOutJingShenHighSLOT() {
    leaveMosaic();
    for (QWidget* v : views)
        v->show();
    refitLiveZoom();
    if (JingShenFormHigh* form = panel<JingShenFormHigh>(false)) {
        form->takeBackGraphicsView();
        stopMiniPreviews(form->getPreviewFrame());
    }
    btnFullScreen->setEnabled(true);
    QTimer::singleShot(100, this, SLOT(goOutDelaySLOT()));
}

void MainWidget::goOutDelaySLOT() {
    if (auto* bottom = findChild<QWidget*>("widget_bottom"))
        widgetBottomGrid->resize(bottom->size());
}

// ---------------------------------------------------------------- window modes, dragging and edge resizing

void MainWidget::btnFullScreenClick() {
    fullScreen = true;
    QWidget* main = parentWidget();
    if (main) {
        main->showFullScreen();
        if (QWidget* root = mainWindowRoot())
            root->resize(main->size());
        main->move(0, 0);
        move(0, 0);
        resize(main->size());
    }
    for (QWidget* w : {widget_top, widget_down, findChild<QWidget*>("widget_Center_Left"), widgetTop,
                       findChild<QWidget*>("widget_bottom"), widgetH, widgetV})
        if (w)
            w->hide();
    QTimer::singleShot(100, this, SLOT(btnFullScreenDelay()));
}

void MainWidget::btnFullScreenDelay() {
    BaseCamera* cam = MessagePassing::instance()->currentCamera();
    if (!cam || !videoWindow)
        return;
    cam->fitToWindow();
    placeViews(videoWindow->pos(), videoWindow->size());
}

void MainWidget::quitFullScreenSLOT() {
    if (!fullScreen)
        return;
    fullScreen = false;
    noBorder = false;
    if (QWidget* main = parentWidget()) {
        main->showMaximized();
        if (QWidget* root = mainWindowRoot())
            root->resize(main->size());
        resize(main->size());
    }
    for (QWidget* w : {widget_top, widget_down, findChild<QWidget*>("widget_Center_Left"), widgetTop,
                       findChild<QWidget*>("widget_bottom"), widgetH, widgetV,
                       static_cast<QWidget*>(btnSmall), static_cast<QWidget*>(btnMin),
                       static_cast<QWidget*>(btnFullScreen), static_cast<QWidget*>(btnInfo)})
        if (w)
            w->show();
    btnBig->hide();
    btnNoBorder->setVisible(MessagePassing::instance()->getIsCameraMode());
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera()) {
        cam->initScaleList();
        if (slider->value() != cam->scaleIndex())
            btnSacleOKClick();
        else
            sliderValueChangedDelay();
    }
    move(0, 0);
}

void MainWidget::slo_btnNoBorder() {
    if (!largeMode) {
        btnBigSmallFunc(false);
        restoreAction = [this] { btnBigSmallFunc(false); };
    }
    fullScreen = true;
    if (QWidget* main = parentWidget()) {
        main->showFullScreen();
        if (QWidget* root = mainWindowRoot())
            root->resize(main->size());
        main->move(0, 0);
    }
    move(0, 0);
    for (QWidget* w : {widget_down, findChild<QWidget*>("widget_Center_Left"), widgetTop,
                       findChild<QWidget*>("widget_bottom"), widgetH, widgetV, static_cast<QWidget*>(btnNoBorder),
                       static_cast<QWidget*>(btnMin), static_cast<QWidget*>(btnFullScreen),
                       static_cast<QWidget*>(btnInfo), static_cast<QWidget*>(btnBig),
                       static_cast<QWidget*>(btnSmall)})
        if (w)
            w->hide();
    QTimer::singleShot(100, this, SLOT(btnFullScreenDelay()));
    noBorder = true;
}

void MainWidget::slo_noBorderEnable(bool enable) { Q_UNUSED(enable) }

void MainWidget::btnBigSmallClick() {
    bool small;
    if (sender() == btnBig) {
        btnSmall->show();
        btnBig->hide();
        btnBigSmallFunc(false);
        small = false;
    } else {
        if (largeSize == QSize(0, 0))
            largeSize = size();
        btnSmall->hide();
        btnBig->show();
        btnBigSmallFunc(true);
        largeMode = false;
        small = true;
    }
    restoreAction = [this, small] { btnBigSmallFunc(small); };
}

void MainWidget::btnBigSmallFunc(bool small) {
    QWidget* main = parentWidget();
    QWidget* root = mainWindowRoot();
    if (small) {
        const int w = int(float(uiSizeFactor) * 1024.0f * 0.1f);
        const int h = int(float(uiSizeFactor) * 768.0f * 0.1f);
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint at((avail.width() - w) / 2, (avail.height() - h) / 2);
        for (QWidget* x : {main, root, static_cast<QWidget*>(this)})
            if (x)
                x->resize(w, h);
        if (main) {
            main->showNormal();
            main->move(at);
        }
        move(at);
    } else {
        for (QWidget* x : {main, root, static_cast<QWidget*>(this)})
            if (x)
                x->resize(largeSize);
        if (main)
            main->move(0, 0);
        move(0, 0);
    }
    if (BaseCamera* cam = MessagePassing::instance()->currentCamera()) {
        cam->initScaleList();
        btnSacleOKClick();
    }
    placeMosaicView();
    if (QWidget* host = videoHost())
        posAndSizeChangedSLOT(host->x(), host->y(), host->width(), host->height());
}

void MainWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!noBorder && QRect(0, 0, widget_top->width(), widget_top->height()).contains(event->pos()))
        btnFullScreen->click();
    QWidget::mouseDoubleClickEvent(event);
}

int MainWidget::getResizeZone(const QPoint& p) const {
    const int m = edgeMargin;
    const bool left = p.x() <= m, right = p.x() >= width() - m;
    const bool top = p.y() <= m, bottom = p.y() >= height() - m;
    if (left && top)
        return 5;
    if (right && top)
        return 6;
    if (left && bottom)
        return 7;
    if (right && bottom)
        return 8;
    if (left)
        return 1;
    if (right)
        return 2;
    if (top)
        return 3;
    if (bottom)
        return 4;
    return 0;
}

QRect MainWidget::resizedRect(const QRect& r0, int zone, int dx, int dy) {
    // A moved left or top edge keeps the opposite edge where it was, so the
    // new width is exactly w0 - dx (the inclusive right edge is left + w - 1).
    const float k = 16.0f / 9.0f;
    const int w0 = r0.width(), h0 = r0.height();
    const int right1 = r0.right() + 1, bottom1 = r0.bottom() + 1;
    QRect r = r0;
    switch (zone) {
    case 1:
        r.setLeft(right1 + dx - w0);
        r.setTop(bottom1 - int(float(w0 - dx) / k));
        break;
    case 2:
    case 8:
        r.setWidth(w0 + dx);
        r.setHeight(int(float(w0 + dx) / k));
        break;
    case 3:
        r.setTop(bottom1 + dy - h0);
        r.setLeft(right1 - int(float(h0 - dy) * k));
        break;
    case 4:
        r.setHeight(h0 + dy);
        r.setWidth(int(float(h0 + dy) * k));
        break;
    case 5:
        r.setTop(bottom1 - int(float(w0 - dx) / k));
        r.setLeft(right1 + dx - w0);
        break;
    case 6:
        r.setTop(bottom1 - int(float(w0 + dx) / k));
        r.setWidth(w0 + dx);
        break;
    case 7:
        r.setLeft(right1 + dx - w0);
        r.setHeight(int(float(w0 - dx) / k));
        break;
    default:
        break;
    }
    return r;
}

void MainWidget::resizeWindow(const QPoint& g) {
    if (!noBorder)
        return;
    const float k = 16.0f / 9.0f;
    QRect r = resizedRect(geometryAtPress, edgeZone, g.x() - pressPos.x(), g.y() - pressPos.y());
    if (r.width() < minimumWidth()) {
        r.setWidth(minimumWidth());
        r.setHeight(int(float(minimumWidth()) / k));
    }
    if (r.height() < minimumHeight()) {
        r.setHeight(minimumHeight());
        r.setWidth(int(float(minimumHeight()) * k));
    }
    // The windows below follow this widget's geometry of the previous step
    // (and of the last one when the button is let go).
    followGeometry();
    setGeometry(r);
}

void MainWidget::followGeometry() {
    if (QWidget* main = parentWidget()) {
        main->move(pos());
        main->resize(size());
    }
    if (QWidget* root = mainWindowRoot())
        root->resize(size());
    if (videoWindow) {
        videoWindow->resize(size());
        placeViews(videoWindow->pos(), size());
    }
}

bool MainWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton) {
                pressing = true;
                pressPos = e->globalPos();
                geometryAtPress = geometry();
                edgeZone = getResizeZone(mapFromGlobal(e->globalPos()));
                if (widget_top->geometry().contains(e->pos()) && edgeZone == 0) {
                    posAtPress = pos();
                    dragging = true;
                } else {
                    dragging = false;
                }
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            // An edge resize ends with the main window on the final size,
            // not one step behind (no grey strips beside the interface).
            if (pressing && edgeZone != 0 && noBorder)
                followGeometry();
            dragging = false;
            pressing = false;
            edgeZone = 0;
            break;
        case QEvent::HoverMove: {
            auto* e = static_cast<QHoverEvent*>(event);
            if (!noBorder) {
                setCursor(Qt::ArrowCursor);
            } else if (widget_top->geometry().contains(e->pos())) {
                if (!pressing) {
                    edgeZone = getResizeZone(e->pos());
                    static const Qt::CursorShape shapes[] = {
                        Qt::ArrowCursor,    Qt::SizeHorCursor,   Qt::SizeHorCursor,   Qt::SizeVerCursor,
                        Qt::SizeVerCursor,  Qt::SizeFDiagCursor, Qt::SizeBDiagCursor, Qt::SizeBDiagCursor,
                        Qt::SizeFDiagCursor};
                    setCursor(shapes[edgeZone]);
                }
            } else {
                setCursor(Qt::ArrowCursor);
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (edgeZone != 0) {
                resizeWindow(e->globalPos());
            } else if (dragging) {
                const QPoint to = posAtPress + (e->globalPos() - pressPos);
                if (to != pos()) {
                    move(to);
                    if (parentWidget())
                        parentWidget()->move(to);
                }
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWidget::btnInfoClick() {
    InfoDialog dialog;
    dialog.exec();
}

void MainWidget::saveImageByFileDialogSLOT(QImage image, QString path, bool saveDirectly, bool addToHistory) {
    MessagePassing* hub = MessagePassing::instance();
    const QString suffix = path.split('.', Qt::SkipEmptyParts).value(path.split('.', Qt::SkipEmptyParts).size() - 1);
    QString target = path;
    if (!saveDirectly) {
        QStringList parts = path.split('/', Qt::SkipEmptyParts);
        if (!parts.isEmpty())
            parts.removeLast();
        QString dir = parts.join('/');
        if (path.startsWith('/'))
            dir.prepend('/');
        SaveFileDialog dialog(nullptr, "保存文件", dir, QString("%1(*.%2)").arg(suffix.toUpper(), suffix));
        dialog.selectFile(path);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            hub->removeIconCamera();
            return;
        }
        target = dialog.selectedFiles().first();
    }
    QString reason;
    if (!SnapshotFiles::writeImage(image, target, suffix.toUtf8(), 100, &reason)) {
        // Nothing was written: say so, and keep the recent list as it was.
        SnapshotFiles::reportSaveError(target, reason);
        hub->removeIconCamera();
        return;
    }
    if (addToHistory)
        SnapshotFiles::addToHistory(target, SnapshotFiles::prepareThumbnail(image));
    hub->removeIconCamera();
}

void MainWidget::moveLabImgSLOT(QGraphicsView* view) { Q_UNUSED(view) }
