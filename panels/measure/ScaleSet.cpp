#include "panels/measure/ScaleSet.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "panels/camera/PasswordDialog.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kIni = "./ScaleSet.ini";
const char* const kMasterPassword = "PwLunet";

// The lock dialog, without parent; the panel compares the password itself.
bool askPassword(QString& typed) {
    PasswordDialog dialog(nullptr);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    typed = dialog.getPassWord();
    return accepted;
}

ScaleSet::PasswordAsker& passwordAsker() {
    static ScaleSet::PasswordAsker asker = askPassword;
    return asker;
}

QLabel* label(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

QComboBox* combo(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setMinimumSize(115, 24);
    c->setMaximumHeight(24);
    return c;
}

// A column of a label above its box, in a widget of its own.
QWidget* labelled(QWidget* parent, const char* name, QLabel* l, QComboBox* box) {
    auto* w = new QWidget(parent);
    w->setObjectName(name);
    auto* col = new QVBoxLayout(w);
    col->setSpacing(0);
    col->setContentsMargins(10, 0, 10, 2);
    l->setParent(w);
    box->setParent(w);
    col->addWidget(l);
    col->addWidget(box);
    return w;
}

} // namespace

void ScaleSet::setPasswordAsker(PasswordAsker asker) { passwordAsker() = asker ? std::move(asker) : askPassword; }

ScaleSet::ScaleSet(QWidget* parent) : QWidget(parent) {
    setupUi();
    OnIniReadWrite(false);
    initSize();
    initTexts();
    for (QToolButton* b : {btn_line, btn_circle, btn_del, btn_parallel}) {
        PanelKit::iconButton(b, "ScaleSet");
        b->installEventFilter(this);
        connect(b, SIGNAL(clicked()), this, SLOT(btnClick()));
    }
    connect(btnSub_ScaleLength, SIGNAL(clicked()), this, SLOT(btnClick()));
    connect(btnAdd_ScaleLength, SIGNAL(clicked()), this, SLOT(btnClick()));

    const bool locked =
        QSettings(RegularFile::settingsName(kIni), QSettings::IniFormat).value("isLock", false).toBool();
    checkBox_lock->setChecked(locked);
    setLocked(locked);

    MessagePassing* hub = MessagePassing::instance();
    connect(spinBox_ScaleLength, SIGNAL(valueChanged(int)), this, SLOT(spinBoxValueChanged(int)));
    for (QComboBox* c : {combo_name, combo_unit, combo_bit})
        connect(c, SIGNAL(currentIndexChanged(QString)), this, SLOT(comboIndexChanged(QString)));
    connect(checkBox_lock, SIGNAL(toggled(bool)), this, SLOT(checkBoxToggled(bool)));
    connect(hub, SIGNAL(sendScaleInfoSIGNAL(QList<QString>, QString)), this,
            SLOT(sendScaleInfoSLOT(QList<QString>, QString)));
    connect(hub, SIGNAL(setScaleUnitSIGNAL(QString, int)), this, SLOT(setScaleUnitSLOT(QString, int)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
    QTimer::singleShot(100, this, SLOT(slo_INIDelay()));
}

ScaleSet::~ScaleSet() = default;

void ScaleSet::setupUi() {
    setObjectName("ScaleSet");
    resize(274, 210);
    auto* outer = new QVBoxLayout(this);
    outer->setObjectName("verticalLayout");
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PanelKit::titleStrip(this));

    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    QVBoxLayout* column = PanelKit::column(content);

    QWidget* calibration = PanelKit::row(content, "widget", 0, 10);
    auto* calRow = static_cast<QHBoxLayout*>(calibration->layout());
    auto tool = [](QWidget* parent, const char* name, int side) {
        auto* b = new QToolButton(parent);
        b->setObjectName(name);
        b->setMinimumSize(side, side);
        b->setMaximumSize(side, side);
        return b;
    };
    btn_line = tool(calibration, "btn_line", 50);
    btn_parallel = tool(calibration, "btn_parallel", 50);
    btn_circle = tool(calibration, "btn_circle", 50);
    for (QToolButton* b : {btn_line, btn_parallel, btn_circle})
        calRow->addWidget(b);
    calRow->addStretch();

    QWidget* list = PanelKit::row(content, "widget_2", 0, 0);
    auto* listRow = static_cast<QHBoxLayout*>(list->layout());
    combo_name = combo(list, "combo_name");
    listRow->addWidget(labelled(list, "widget_6", label(list, "lab_name"), combo_name));
    auto* lockArea = new QWidget(list);
    lockArea->setObjectName("widget_7");
    lockArea->setMinimumSize(125, 45);
    btn_del = tool(lockArea, "btn_del", 25);
    btn_del->setMaximumSize(100, 100);
    btn_del->setGeometry(10, 15, 25, 25);
    checkBox_lock = new QCheckBox(lockArea);
    checkBox_lock->setObjectName("checkBox_lock");
    checkBox_lock->setGeometry(50, 15, 70, 25);
    listRow->addWidget(lockArea);

    QWidget* unitRow = PanelKit::row(content, "widget_3", 0, 0);
    auto* unitLayout = static_cast<QHBoxLayout*>(unitRow->layout());
    combo_unit = combo(unitRow, "combo_unit");
    combo_unit->setFocusPolicy(Qt::NoFocus);
    combo_unit->addItems({"cm", "mm", "um", "inch", "mil", "pix"});
    combo_bit = combo(unitRow, "combo_bit");
    combo_bit->addItems({"0", "1", "2", "3", "4"});
    unitLayout->addWidget(labelled(unitRow, "widget_4", label(unitRow, "lab_unit"), combo_unit));
    unitLayout->addWidget(labelled(unitRow, "widget_5", label(unitRow, "lab_bit"), combo_bit));

    QWidget* barRow = PanelKit::row(content, "widget_02", 5, 10);
    auto* barLayout = static_cast<QHBoxLayout*>(barRow->layout());
    spinBox_ScaleLength = new QSpinBox(barRow);
    spinBox_ScaleLength->setObjectName("spinBox_ScaleLength");
    spinBox_ScaleLength->setMinimumHeight(24);
    spinBox_ScaleLength->setMaximumHeight(24);
    spinBox_ScaleLength->setAlignment(Qt::AlignCenter);
    spinBox_ScaleLength->setButtonSymbols(QAbstractSpinBox::NoButtons);
    spinBox_ScaleLength->setRange(0, 1000);
    spinBox_ScaleLength->setValue(0);
    spinBox_ScaleLength->setReadOnly(true);
    btnSub_ScaleLength = tool(barRow, "btnSub_ScaleLength", 23);
    btnAdd_ScaleLength = tool(barRow, "btnAdd_ScaleLength", 23);
    barLayout->addWidget(label(barRow, "lab_ScaleLength"));
    barLayout->addWidget(spinBox_ScaleLength);
    barLayout->addWidget(btnSub_ScaleLength);
    barLayout->addWidget(btnAdd_ScaleLength);

    for (QWidget* w : {calibration, list, unitRow, barRow})
        column->addWidget(w);
    outer->addWidget(content);
}

void ScaleSet::initSize() {
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    findChild<QWidget*>("widgetTitle")->setMaximumHeight(PanelKit::truncated(40));
    for (QToolButton* b : {btn_line, btn_parallel, btn_circle, btn_del, btnSub_ScaleLength, btnAdd_ScaleLength})
        PanelKit::scaleMinMax(b);
    for (QWidget* w : findChild<QWidget*>("widgetContent")->findChildren<QWidget*>())
        PanelKit::scaleGeometry(w);
    PanelKit::scaleMinMax(findChild<QWidget*>("widget_7"));
    PanelKit::scaleLayouts(this);
    MessagePassing* hub = MessagePassing::instance();
    for (QWidget* w : {static_cast<QWidget*>(spinBox_ScaleLength), static_cast<QWidget*>(combo_name),
                       static_cast<QWidget*>(combo_unit), static_cast<QWidget*>(combo_bit)})
        PanelKit::scaleHeights(w);
    spinBox_ScaleLength->setStyleSheet(hub->getQSpinBoxStyle());
    for (QComboBox* c : {combo_name, combo_unit, combo_bit})
        c->setStyleSheet(hub->getQComboBoxStyle());
    checkBox_lock->setStyleSheet(hub->getQCheckBoxStyle());
    PanelKit::stepButton(btnSub_ScaleLength, false);
    PanelKit::stepButton(btnAdd_ScaleLength, true);
}

void ScaleSet::initTexts() {
    PanelKit::fill(m_texts, {
        {"labTitle", "定标设置", "Scale Setting", "定標設置"},
        {"lab_name", "选择列表:", "List:", "選擇列表:"},
        {"checkBox_lock", "锁定", "Lock", "鎖定"},
        {"lab_unit", "单位:", "Unit:", "單位:"},
        {"lab_bit", "精度:", "Prec:", "精度:"},
        {"lab_ScaleLength", "比例尺长度", "Scale Bar Length", "比例尺長度"},
        {"btn_line", "线定标", "Line Scale", "線定標"},
        {"btn_parallel", "平行线定标", "Parallel Line Scale", "平行線定標"},
        {"btn_circle", "直径圆定标", "Diameter Circular Scale", "直徑圓定標"},
        {"btn_del", "删除", "Del", "刪除"},
    });
}

void ScaleSet::setLocked(bool locked) {
    for (QWidget* w : std::initializer_list<QWidget*>{btn_line, btn_parallel, btn_circle, btn_del, combo_bit,
                                                       combo_unit})
        w->setEnabled(!locked);
}

int ScaleSet::chosenLength() const {
    const int p = combo_name->currentIndex();
    return p >= 0 && p < m_lengths.size() ? m_lengths[p] : 0;
}

void ScaleSet::OnIniReadWrite(bool write) {
    auto cameraGroups = [](const QSettings& ini) {
        QStringList groups;
        for (const QString& g : ini.childGroups())
            if (g.contains("Camera_0"))
                groups << g;
        return groups;
    };
    if (write) {
        // Whole or not at all, with the Error box when the disk refuses.
        SaveErrorBox::editSettings(kIni, [&](QSettings& ini) {
            for (const QString& g : cameraGroups(ini))
                ini.remove(g);
            for (int i = 0; i < m_lengths.size(); ++i)
                ini.setValue(QString("Camera_0_scl_%1/ScaleLength").arg(i), m_lengths[i]);
        });
        return;
    }
    const QSettings ini(RegularFile::settingsName(kIni), QSettings::IniFormat);
    QStringList groups = cameraGroups(ini);
    auto position = [](const QString& g) { return g.mid(g.indexOf("_scl_") + 5).toInt(); };
    std::stable_sort(groups.begin(), groups.end(),
                     [&](const QString& a, const QString& b) { return position(a) < position(b); });
    m_lengths.clear();
    for (const QString& g : groups) {
        bool ok = false;
        int length = ini.value(g + "/ScaleLength", 100).toInt(&ok);
        if (!ok || length < 1 || length > 1000)
            length = 100;
        m_lengths << length;
    }
    while (m_lengths.size() < combo_name->count())
        m_lengths << 100;
}

void ScaleSet::sendScaleInfoSLOT(QList<QString> names, QString current) {
    while (m_lengths.size() < names.size())
        m_lengths << 100;
    const QSignalBlocker block(combo_name);
    combo_name->clear();
    combo_name->addItems(names);
    combo_name->setCurrentIndex(names.indexOf(current));
}

void ScaleSet::setScaleUnitSLOT(QString unit, int count) {
    const QSignalBlocker blockUnit(combo_unit);
    const QSignalBlocker blockBit(combo_bit);
    const int u = combo_unit->findText(unit);
    if (u >= 0)
        combo_unit->setCurrentIndex(u);
    combo_bit->setCurrentIndex(count);
}

void ScaleSet::comboIndexChanged(QString text) {
    const int length = chosenLength();
    MessagePassing* hub = MessagePassing::instance();
    QObject* from = sender();
    if (from == combo_name)
        hub->setCurScaleName(text);
    else if (from == combo_unit)
        hub->scaleUnitChanged(text);
    else if (from == combo_bit)
        hub->scaleBitsChanged(text.toInt(nullptr, 10));
    else
        return;
    if (length >= 1 && length <= 1000)
        spinBox_ScaleLength->setValue(length);
}

void ScaleSet::spinBoxValueChanged(int value) {
    if (sender() != spinBox_ScaleLength)
        return;
    if (value <= 0) {
        spinBox_ScaleLength->setValue(1);
        return;
    }
    // With no scale chosen there is no position to remember the length at.
    const int p = combo_name->currentIndex();
    if (p >= 0 && p < m_lengths.size())
        m_lengths[p] = value;
    MessagePassing::instance()->setMeasureScaleLength(value);
    OnIniReadWrite(true);
}

void ScaleSet::slo_INIDelay() {
    const int length = chosenLength();
    if (length > 0)
        spinBox_ScaleLength->setValue(length);
    spinBox_ScaleLength->setReadOnly(false);
}

void ScaleSet::btnClick() {
    MessagePassing* hub = MessagePassing::instance();
    QObject* from = sender();
    if (from == btn_line) {
        hub->startAddScale();
    } else if (from == btn_parallel) {
        hub->startParallelScale();
    } else if (from == btn_circle) {
        hub->startAddCircleScale();
    } else if (from == btn_del) {
        const int p = combo_name->currentIndex();
        if (p == 0)
            return;
        static const char* const texts[3][4] = {{"删除定标", "是否删除当前定标？", "删除", "取消"},
                                                {"Del Scale", "Del Current Scale？", "Del", "Cancel"},
                                                {"刪除定標", "是否刪除當前定標？", "刪除", "取消"}};
        const int lang = std::clamp(hub->language(), 0, 2);
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(texts[lang][0]), QString::fromUtf8(texts[lang][1]));
        box.setWindowIcon(QIcon(":/res/null.png"));
        QPushButton* del = box.addButton(QString::fromUtf8(texts[lang][2]), QMessageBox::AcceptRole);
        box.addButton(QString::fromUtf8(texts[lang][3]), QMessageBox::RejectRole);
        box.exec();
        if (box.clickedButton() != del)
            return;
        if (p >= 0 && p < m_lengths.size())
            m_lengths.removeAt(p);
        hub->delScaleName(combo_name->currentText());
        OnIniReadWrite(true);
    } else if (from == btnAdd_ScaleLength) {
        spinBox_ScaleLength->setValue(spinBox_ScaleLength->value() + 1);
    } else if (from == btnSub_ScaleLength) {
        spinBox_ScaleLength->setValue(spinBox_ScaleLength->value() - 1);
    }
}

void ScaleSet::checkBoxToggled(bool state) {
    const QString stored = QSettings(RegularFile::settingsName("./PasswordDialog.ini"), QSettings::IniFormat)
                               .value("Password", QString())
                               .toString();
    QString typed;
    const bool accepted = passwordAsker()(typed);
    if (accepted && (typed == stored || typed == kMasterPassword)) {
        setLocked(state);
        PanelKit::writeKey(kIni, "isLock", state);
        return;
    }
    const QSignalBlocker block(checkBox_lock);
    checkBox_lock->setChecked(!state);
}

void ScaleSet::changeLanguageSLOT(int language) {
    for (const char* name : {"labTitle", "lab_name", "lab_unit", "lab_bit", "lab_ScaleLength"})
        findChild<QLabel*>(name)->setText(PanelKit::text(m_texts, name, language));
    checkBox_lock->setText(PanelKit::text(m_texts, "checkBox_lock", language));
}

bool ScaleSet::eventFilter(QObject* watched, QEvent* event) {
    PanelKit::hoverHint(watched, event, m_texts);
    return QWidget::eventFilter(watched, event);
}
