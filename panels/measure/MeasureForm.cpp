#include "panels/measure/MeasureForm.h"

#include "app/hub/MessagePassing.h"
#include "camera/BaseCamera.h"
#include "platform/RegularFile.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kIni = "./MeasureForm.ini";

QWidget* row(QWidget* parent, const char* name) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    auto* l = new QHBoxLayout(w);
    l->setSpacing(0);
    l->setContentsMargins(0, 0, 0, 0);
    return w;
}

QToolButton* toolButton(QWidget* parent, int n) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString("btn_%1").arg(n));
    b->setMinimumSize(50, 50);
    b->setMaximumSize(50, 50);
    return b;
}

QWidget* holder(QWidget* parent, const char* name) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    w->setMinimumSize(50, 50);
    w->setMaximumSize(50, 50);
    return w;
}

} // namespace

MeasureForm::MeasureForm(QWidget* parent) : QWidget(parent) {
    setupUi();
    initSize();
    initTexts();
    for (int n = 0; n <= 28; ++n) {
        QToolButton* b = button(n);
        PanelKit::iconButton(b, "MeasureForm");
        b->installEventFilter(this);
        connect(b, SIGNAL(clicked()), this, SLOT(btnClick()));
    }
    button(21)->setCheckable(true);

    MessagePassing* hub = MessagePassing::instance();
    QSettings ini(RegularFile::settingsName(kIni), QSettings::IniFormat);
    const bool canMove = ini.value("isCanMoveItem", true).toBool();
    button(19)->setVisible(!canMove);
    button(20)->setVisible(canMove);
    hub->setIsCanMoveItem(canMove);
    if (ini.value("isAutoEdge", true).toBool())
        button(21)->click();

    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setAutoEdgeStateSIGNAL(bool)), this, SLOT(setAutoEdgeStateSLOT(bool)));
    connect(hub, SIGNAL(setIsCanMoveItemSIGNAL(bool)), this, SLOT(setIsCanMoveItemSLOT(bool)));
    connect(hub, SIGNAL(addIconCameraSIGNAL()), this, SLOT(addIconCameraSLOT()));
    connect(hub, SIGNAL(removeIconCameraSIGNAL()), this, SLOT(removeIconCameraSLOT()));
    changeLanguageSLOT(hub->language());
}

MeasureForm::~MeasureForm() = default;

void MeasureForm::setupUi() {
    setObjectName("MeasureForm");
    resize(274, 400);
    QVBoxLayout* outer = PanelKit::column(this);

    outer->addWidget(PanelKit::titleStrip(this));
    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    QVBoxLayout* contentLayout = PanelKit::column(content);
    const char* const rows[] = {"widget00", "widget01", "widget02", "widget03"};
    const int tools[4][5] = {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}, {10, 11, 12, 13, 14}, {15, 17, 22, 23, 24}};
    for (int r = 0; r < 4; ++r) {
        QWidget* w = row(content, rows[r]);
        for (int n : tools[r])
            w->layout()->addWidget(toolButton(w, n));
        contentLayout->addWidget(w);
    }
    outer->addWidget(content);

    outer->addWidget(PanelKit::titleStrip(this, "_2"));
    auto* content2 = new QWidget(this);
    content2->setObjectName("widgetContent2");
    QVBoxLayout* content2Layout = PanelKit::column(content2);
    QWidget* r5 = row(content2, "widget05");
    for (int n : {16, 25, 26, 27})
        r5->layout()->addWidget(toolButton(r5, n));
    QWidget* lockHolder = holder(r5, "widget");
    for (int n : {19, 20})
        toolButton(lockHolder, n)->setGeometry(0, 0, 50, 50);
    r5->layout()->addWidget(lockHolder);
    QWidget* r6 = row(content2, "widget_5");
    for (int n : {21, 18})
        r6->layout()->addWidget(toolButton(r6, n));
    QWidget* roundHolder = holder(r6, "widget_2");
    toolButton(roundHolder, 28)->setGeometry(0, 0, 50, 50);
    r6->layout()->addWidget(roundHolder);
    r6->layout()->addWidget(holder(r6, "widget_4"));
    r6->layout()->addWidget(holder(r6, "widget_3"));
    content2Layout->addWidget(r5);
    content2Layout->addWidget(r6);
    outer->addWidget(content2);

    labTitle = findChild<QLabel*>("labTitle");
    labTitle_2 = findChild<QLabel*>("labTitle_2");
}

void MeasureForm::initSize() {
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    if (auto* t = findChild<QWidget*>("widgetTitle"))
        t->setMaximumHeight(PanelKit::truncated(40));
    if (auto* content = findChild<QWidget*>("widgetContent"))
        for (QWidget* w : content->findChildren<QWidget*>())
            PanelKit::scaleGeometry(w);
    for (int n = 0; n <= 28; ++n) {
        QToolButton* b = button(n);
        PanelKit::scaleMinMax(b);
        if (b->parentWidget()->layout() == nullptr)
            b->resize(b->minimumSize());
    }
    for (const char* name : {"widget", "widget_2", "widget_3", "widget_4"})
        PanelKit::scaleMinMax(findChild<QWidget*>(name));
}

void MeasureForm::initTexts() {
    PanelKit::fill(m_texts, {
        {"btn_0", "点间距", "P2P", "點間距"},
        {"btn_1", "点线距", "P2L", "點線距"},
        {"btn_2", "线间距", "L2L", "線間距"},
        {"btn_3", "角度", "Angle", "角度"},
        {"btn_4", "弧度", "Arc", "弧度"},
        {"btn_5", "平行线", "Parallel", "平行線"},
        {"btn_6", "水平平行线", "Horizontal Parallel", "水平平行線"},
        {"btn_7", "垂直平行线", "Vertical Parallel", "垂直平行線"},
        {"btn_8", "折线", "Crease", "折線"},
        {"btn_9", "矩形", "Rect", "矩形"},
        {"btn_10", "多边形", "Polygon", "多邊形"},
        {"btn_11", "圆形(三点)", "Circle_3P", "圓形(三點)"},
        {"btn_12", "圆边距", "R2R", "圓邊距"},
        {"btn_13", "圆心距", "C2C", "圓心距"},
        {"btn_14", "点心距", "P2C", "點心距"},
        {"btn_15", "线心距", "L2C", "線心距"},
        {"btn_17", "多点线距", "SP2L", "多點線距"},
        {"btn_22", "标记", "Sign", "標記"},
        {"btn_23", "标记", "Sign", "標記"},
        {"btn_24", "标记", "Sign", "標記"},
        {"btn_16", "注释", "Text", "注釋"},
        {"btn_25", "套索", "Lasso", "套索"},
        {"btn_26", "图元截图", "Screenshot", "圖元截圖"},
        {"btn_27", "图元保存", "Save", "圖元保存"},
        {"btn_19", "图元已锁定", "Lock", "圖元已鎖定"},
        {"btn_20", "图元未锁定", "UnLock", "圖元未鎖定"},
        {"btn_21", "自动寻边", "Auto Edge", "自動尋邊"},
        {"btn_18", "删除", "Del All", "刪除"},
        {"btn_28", "真圆比", "Roundness deviation", "真圓比"},
        {"labTitle", "测量工具", "Measure Tools", "測量工具"},
        {"labTitle_2", "测量功能", "Measure Function", "測量功能"},
    });
}

QToolButton* MeasureForm::button(int n) const { return findChild<QToolButton*>(QString("btn_%1").arg(n)); }

void MeasureForm::btnClick() {
    const QObject* from = sender();
    if (!from)
        return;
    bool ok = false;
    const int n = from->objectName().split('_').value(1).toInt(&ok, 10);
    if (!ok)
        return;
    MessagePassing* hub = MessagePassing::instance();
    switch (n) {
    case 19:
        hub->setIsCanMoveItem(true);
        PanelKit::writeKey(kIni, "isCanMoveItem", true);
        break;
    case 20:
        hub->setIsCanMoveItem(false);
        PanelKit::writeKey(kIni, "isCanMoveItem", false);
        break;
    case 21: {
        const bool on = button(21)->isChecked();
        hub->setAutoEdgeState(on);
        PanelKit::writeKey(kIni, "isAutoEdge", on);
        break;
    }
    case 26:
        savePicture(8, "screenshot_");
        break;
    case 27:
        savePicture(9, "graphic_");
        break;
    default:
        hub->useMeasureTool(n);
        break;
    }
}

void MeasureForm::savePicture(int mode, const QString& prefix) {
    MessagePassing* hub = MessagePassing::instance();
    const bool cameraMode = hub->getIsCameraMode();
    BaseCamera* camera = hub->currentCamera();
    // Nothing to take a picture from: no busy bracket is opened.
    if (cameraMode && !camera)
        return;
    QSettings cameraSet(RegularFile::settingsName("./CameraSet.ini"), QSettings::IniFormat);
    const QString folder = hub->checkImgPath(&cameraSet);
    const QString path =
        folder + QString("/%1%2").arg(prefix, QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss_zzz"));
    hub->addIconCamera();
    if (cameraMode)
        camera->snapImage(path, mode, true, false, Qt::red, 0, 0);
    else
        hub->snapImageMode(path, hub->imgType, mode);
}

void MeasureForm::changeLanguageSLOT(int language) {
    labTitle->setText(PanelKit::text(m_texts, "labTitle", language));
    labTitle_2->setText(PanelKit::text(m_texts, "labTitle_2", language));
}

void MeasureForm::setAutoEdgeStateSLOT(bool on) {
    QToolButton* b = button(21);
    const QSignalBlocker block(b);
    b->setChecked(on);
}

void MeasureForm::setIsCanMoveItemSLOT(bool on) {
    button(19)->setVisible(!on);
    button(20)->setVisible(on);
}

void MeasureForm::addIconCameraSLOT() {
    for (int n : {26, 27}) {
        const QSignalBlocker block(button(n));
        button(n)->setEnabled(false);
    }
}

void MeasureForm::removeIconCameraSLOT() {
    for (int n : {26, 27}) {
        const QSignalBlocker block(button(n));
        button(n)->setEnabled(true);
    }
}

bool MeasureForm::eventFilter(QObject* watched, QEvent* event) {
    PanelKit::hoverHint(watched, event, m_texts);
    return QWidget::eventFilter(watched, event);
}
