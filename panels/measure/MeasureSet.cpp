#include "panels/measure/MeasureSet.h"

#include "app/hub/MessagePassing.h"
#include "measure/engine/MeasureSetRanges.h"
#include "platform/AppPaths.h"
#include "platform/RegularFile.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QSpinBox* spin(QWidget* parent, const char* name, int lo, int hi) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(lo, hi);
    s->setReadOnly(true);
    s->setButtonSymbols(QAbstractSpinBox::NoButtons);
    s->setAlignment(Qt::AlignCenter);
    s->setMinimumHeight(24);
    s->setMaximumHeight(24);
    return s;
}

QComboBox* combo(QWidget* parent, const char* name) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setMinimumHeight(24);
    c->setMaximumHeight(24);
    return c;
}

QToolButton* step(QWidget* parent, const QString& name) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setMinimumSize(23, 23);
    b->setMaximumSize(23, 23);
    return b;
}

// An int setting read as stored; text or a missing key gives the default.
int readInt(const QSettings& s, const char* key, int fallback) {
    bool ok = false;
    const int v = s.value(QString("MeasureSet/") + key, fallback).toInt(&ok);
    return ok ? v : fallback;
}

// A stored index the box has no item for gives the default.
void chooseStored(QComboBox* box, int index, int fallback) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : fallback);
}

} // namespace

MeasureSet::MeasureSet(QWidget* parent) : QWidget(parent) {
    setupUi();
    scaleWidgets();
    initTexts();
    for (QToolButton* b : m_steps)
        connect(b, SIGNAL(clicked()), this, SLOT(btnClick()));
    for (QComboBox* c : {combo_itemColor, combo_fontColor, comboChiColor})
        PanelKit::fillColourBox(c);

    MessagePassing* hub = MessagePassing::instance();
    const QSettings s(RegularFile::settingsName(file()), QSettings::IniFormat);
    spinBox_lineWidth->setValue(readInt(s, "PenSize", 1));
    spinBox_fontSize->setValue(shownFontSize(readInt(s, "FontSize", 22)));
    spinBoxChiWidth->setValue(readInt(s, "ChiSize", 1));
    chooseStored(combo_itemColor, readInt(s, "ItemColor", 0), 0);
    chooseStored(combo_fontColor, readInt(s, "FontColor", 0), 0);
    chooseStored(comboChiColor, readInt(s, "ChiColor", 0), 0);
    chooseStored(comboLineSave, readInt(s, "LineSave", 1), 1);
    spinBox_AutoEdge->setValue(readInt(s, "AutoEdge", 15));
    // The edge range the box shows (5 to 30), not a stored value outside it.
    hub->setMeasureAutoEdge(spinBox_AutoEdge->value());
    const bool show = s.value("MeasureSet/scaleShow", true).toBool();
    rBtnShow->setChecked(show);
    rBtnHide->setChecked(!show);

    for (QSpinBox* b : {spinBox_lineWidth, spinBox_fontSize, spinBoxChiWidth})
        connect(b, SIGNAL(valueChanged(int)), this, SLOT(spinBoxValueChanged(int)));
    for (QComboBox* c : {combo_itemColor, combo_fontColor, comboChiColor, comboLineSave})
        connect(c, SIGNAL(currentIndexChanged(int)), this, SLOT(comboIndexChanged(int)));
    connect(spinBox_AutoEdge, SIGNAL(valueChanged(int)), this, SLOT(spinBoxValueChanged(int)));
    connect(rBtnShow, SIGNAL(toggled(bool)), this, SLOT(rBtnShowToggled(bool)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
    chooseStored(comboMode, readInt(s, "Mode", 0), 0);
    connect(comboMode, SIGNAL(currentIndexChanged(int)), this, SLOT(comboIndexChanged(int)));
    chooseStored(comboMouse, readInt(s, "MouseSize", 0), 0);
    connect(comboMouse, SIGNAL(currentIndexChanged(int)), this, SLOT(comboIndexChanged(int)));
    QTimer::singleShot(1000, this, SLOT(oneSecondLater()));
}

MeasureSet::~MeasureSet() = default;

int MeasureSet::shownFontSize(int stored) { return stored == 14 ? 15 : stored == 15 ? 16 : stored; }
int MeasureSet::storedFontSize(int shown) { return shown == 15 ? 14 : shown == 16 ? 15 : shown; }

QString MeasureSet::file() { return AppPaths::appFile("INI/MeasureSet.ini"); }

void MeasureSet::write(const char* key, const QVariant& value) {
    PanelKit::writeKey(file(), QString("MeasureSet/") + key, value);
}

void MeasureSet::setupUi() {
    setObjectName("MeasureSet");
    resize(233, 380);
    QVBoxLayout* outer = PanelKit::column(this);
    outer->addWidget(PanelKit::titleStrip(this));
    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    auto* grid = new QGridLayout(content);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    int rowIndex = 0;
    auto row = [&](const char* rowName, const char* labelName, QList<QWidget*> controls) {
        auto* w = new QWidget(content);
        w->setObjectName(rowName);
        auto* l = new QHBoxLayout(w);
        l->setSpacing(5);
        l->setContentsMargins(10, 0, 10, 0);
        auto* lab = new QLabel(w);
        lab->setObjectName(labelName);
        l->addWidget(lab);
        for (QWidget* c : controls) {
            c->setParent(w);
            l->addWidget(c);
        }
        grid->addWidget(w, rowIndex++, 0);
    };
    auto stepped = [&](QSpinBox* box, const QString& stem, const char* rowName, const char* labelName,
                       const QString& subName, const QString& addName) {
        QToolButton* sub = step(content, subName.isEmpty() ? "btnSub_" + stem : subName);
        QToolButton* add = step(content, addName.isEmpty() ? "btnAdd_" + stem : addName);
        m_steps << sub << add;
        row(rowName, labelName, {box, sub, add});
    };
    using namespace MeasureSetRanges;
    spinBox_AutoEdge = spin(content, "spinBox_AutoEdge", AutoEdge.low, AutoEdge.high);
    spinBox_lineWidth = spin(content, "spinBox_lineWidth", PenSize.low, PenSize.high);
    spinBox_fontSize =
        spin(content, "spinBox_fontSize", shownFontSize(FontSize.low), shownFontSize(FontSize.high));
    spinBoxChiWidth = spin(content, "spinBoxChiWidth", ChiSize.low, ChiSize.high);
    stepped(spinBox_AutoEdge, "AutoEdge", "widget_2", "lab_AutoEdge", {}, {});
    stepped(spinBox_lineWidth, "lineWidth", "widget_01", "lab_lineWidth", {}, {});
    stepped(spinBox_fontSize, "fontSize", "widget_02", "lab_fontSize", {}, {});
    combo_itemColor = combo(content, "combo_itemColor");
    row("widget_03", "lab_itemColor", {combo_itemColor});
    comboMode = combo(content, "comboMode");
    comboMode->addItems({"Mode_1", "Mode_2", "Mode_3", "Mode_4", "Mode_5"});
    row("widgetMode", "labMode", {comboMode});
    combo_fontColor = combo(content, "combo_fontColor");
    row("widget_04", "lab_fontColor", {combo_fontColor});
    rBtnShow = new QRadioButton(content);
    rBtnShow->setObjectName("rBtnShow");
    rBtnHide = new QRadioButton(content);
    rBtnHide->setObjectName("rBtnHide");
    row("widget_05", "labChi", {rBtnShow, rBtnHide});
    stepped(spinBoxChiWidth, "ChiWidth", "widget_06", "labChiWidth", "btnSubChiWidth", "btnAddChiWidth");
    comboChiColor = combo(content, "comboChiColor");
    row("widget_07", "labChiColor", {comboChiColor});
    comboLineSave = combo(content, "comboLineSave");
    comboLineSave->addItems({QString::fromUtf8("保存"), QString::fromUtf8("不保存")});
    row("widget_08", "labLineSave", {comboLineSave});
    comboMouse = combo(content, "comboMouse");
    comboMouse->addItems({"max", "middle", "min"});
    row("widgetMouse", "labMouse", {comboMouse});
    outer->addWidget(content);
}

void MeasureSet::scaleWidgets() {
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    findChild<QWidget*>("widgetTitle")->setMaximumHeight(PanelKit::truncated(40));
    for (QWidget* w : findChild<QWidget*>("widgetContent")->findChildren<QWidget*>())
        PanelKit::scaleGeometry(w);
    for (QToolButton* b : m_steps) {
        PanelKit::scaleMinMax(b);
        PanelKit::stepButton(b, b->objectName().startsWith("btnAdd"));
    }
    MessagePassing* hub = MessagePassing::instance();
    for (QRadioButton* r : findChildren<QRadioButton*>())
        r->setStyleSheet(hub->getQRadioButtonStyle());
    for (QComboBox* c : findChildren<QComboBox*>()) {
        PanelKit::scaleHeights(c);
        c->setStyleSheet(hub->getQComboBoxStyle());
    }
    for (QSpinBox* s : findChildren<QSpinBox*>()) {
        PanelKit::scaleHeights(s);
        s->setStyleSheet(hub->getQSpinBoxStyle());
    }
    PanelKit::scaleLayouts(this);
}

void MeasureSet::initTexts() {
    PanelKit::fill(m_texts, {
        {"labTitle", "测量设置", "Measure Setting", "測量設置"},
        {"lab_lineWidth", "测量线宽：", "Line width:", "測量線寬："},
        {"lab_fontSize", "测量字体：", "Font size:", "測量字體："},
        {"lab_itemColor", "图元颜色：", "Graphics color:", "圖元顏色："},
        {"lab_fontColor", "字体颜色：", "Font color:", "字體顏色："},
        {"labChi", "比例尺：", "Scale:", "比例尺："},
        {"rBtnShow", "显示", "Show", "顯示"},
        {"rBtnHide", "隐藏", "Hide", "隱藏"},
        {"labChiColor", "比例尺颜色：", "Scale color:", "比例尺顏色："},
        {"labChiWidth", "比例尺线宽：", "Scale width:", "比例尺線寬："},
        {"labMode", "图元名称模式：", "Graphics Mode:", "圖元名稱模式："},
        {"labLineSave", "点间距自动保存：", "P2P Auto Save:", "點間距自動保存："},
        {"labMouse", "鼠标大小：", "Mouse Size:", "鼠標大小："},
        {"lab_AutoEdge", "寻边范围", "Auto Edge:", "尋邊範圍"},
        {"comboLineSave_0", "保存", "YES", "保存"},
        {"comboLineSave_1", "不保存", "NO", "不保存"},
    });
}

void MeasureSet::btnClick() {
    const QString name = sender() ? sender()->objectName() : QString();
    const int delta = name.startsWith("btnAdd") ? 1 : -1;
    const QString stem = name.mid(6); // after "btnAdd" / "btnSub"
    for (QSpinBox* s : findChildren<QSpinBox*>())
        if (s->objectName() == "spinBox" + stem)
            s->setValue(s->value() + delta);
}

void MeasureSet::spinBoxValueChanged(int value) {
    MessagePassing* hub = MessagePassing::instance();
    QObject* from = sender();
    if (from == spinBox_lineWidth) {
        hub->setMeasurePenSize(value);
        write("PenSize", value);
    } else if (from == spinBox_fontSize) {
        write("FontSize", storedFontSize(value));
        hub->setMeasureFontSize(storedFontSize(value));
    } else if (from == spinBoxChiWidth) {
        hub->setMeasureChiSize(value);
        write("ChiSize", value);
    } else if (from == spinBox_AutoEdge) {
        hub->setMeasureAutoEdge(value);
        write("AutoEdge", value);
    }
}

void MeasureSet::comboIndexChanged(int index) {
    MessagePassing* hub = MessagePassing::instance();
    QObject* from = sender();
    if (from == combo_itemColor) {
        hub->setMeasureItemColor(index);
        write("ItemColor", index);
    } else if (from == combo_fontColor) {
        hub->setMeasureFontColor(index);
        write("FontColor", index);
    } else if (from == comboChiColor) {
        hub->setMeasureChiColor(index);
        write("ChiColor", index);
    } else if (from == comboMode) {
        hub->setMeasureMode(index);
        write("Mode", index);
    } else if (from == comboMouse) {
        hub->setMeasureMouseSize(index);
        write("MouseSize", index);
    } else if (from == comboLineSave) {
        if (index >= 0) // a refill empties the box first
            write("LineSave", index);
    }
}

void MeasureSet::rBtnShowToggled(bool checked) {
    MessagePassing::instance()->setPlottingScalVisible(checked);
    write("scaleShow", checked);
}

void MeasureSet::oneSecondLater() { MessagePassing::instance()->setMeasureMouseSize(comboMouse->currentIndex()); }

void MeasureSet::changeLanguageSLOT(int language) {
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
        if (it.key().startsWith("comboLineSave"))
            continue;
        if (auto* l = findChild<QLabel*>(it.key()))
            l->setText(PanelKit::text(m_texts, it.key(), language));
        else if (auto* r = findChild<QRadioButton*>(it.key()))
            r->setText(PanelKit::text(m_texts, it.key(), language));
    }
    const int current = comboLineSave->currentIndex();
    {
        const QSignalBlocker block(comboLineSave);
        comboLineSave->clear();
        comboLineSave->addItems({PanelKit::text(m_texts, "comboLineSave_0", language),
                                 PanelKit::text(m_texts, "comboLineSave_1", language)});
    }
    if (current >= 0 && current < comboLineSave->count())
        comboLineSave->setCurrentIndex(current);
}
