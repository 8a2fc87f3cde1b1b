#include "panels/measure/MarkForm.h"

#include "app/hub/MessagePassing.h"
#include "platform/RegularFile.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const char* const kIni = "./INI/MeasureData.ini";

QCheckBox* check(QWidget* parent, const char* name) {
    auto* c = new QCheckBox(parent);
    c->setObjectName(name);
    return c;
}

QLabel* label(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

} // namespace

MarkForm::MarkForm(QWidget* parent) : QWidget(parent) {
    setupUi();
    initSize();
    setLanguageText();
    const QSettings ini(RegularFile::settingsName(kIni), QSettings::IniFormat);
    struct Switch {
        const char* box;
        const char* key;
        bool fallback;
        const char* slot;
    };
    static const Switch switches[] = {
        {"checkBox_r", "Circle/R", true, SLOT(checkBoxRToggled(bool))},
        {"checkBox_d", "Circle/D", true, SLOT(checkBoxDToggled(bool))},
        {"checkBoxArc", "CLArc/A", true, SLOT(checkBoxArcToggled(bool))},
        {"checkBoxNAngle", "CLArc/N", true, SLOT(checkBoxNAngleToggled(bool))},
        {"checkBoxEAngle", "CLArc/E", true, SLOT(checkBoxEAngleToggled(bool))},
        {"checkBoxArc_R", "CLArc/R", true, SLOT(checkBoxArc_RToggled(bool))},
        {"checkBoxArc_D", "CLArc/D", true, SLOT(checkBoxArc_DToggled(bool))},
        {"checkBoxP2P", "P2P/P", true, SLOT(checkBoxP2PToggled(bool))},
        {"checkBoxP2PCenter", "P2P/C", false, SLOT(checkBoxP2PCenterToggled(bool))},
    };
    for (const Switch& s : switches) {
        box(s.box)->setChecked(ini.value(s.key, s.fallback).toBool());
        connect(box(s.box), SIGNAL(clicked(bool)), this, s.slot);
    }
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
}

MarkForm::~MarkForm() = default;

QCheckBox* MarkForm::box(const char* name) const { return findChild<QCheckBox*>(name); }

void MarkForm::setupUi() {
    setObjectName("MarkForm");
    resize(274, 181);
    auto* outer = new QVBoxLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, outer->contentsMargins().bottom());
    outer->addWidget(PanelKit::titleStrip(this));

    auto* circle = new QWidget(this);
    circle->setObjectName("widgetCircle");
    auto* circleRow = new QHBoxLayout(circle);
    circleRow->setContentsMargins(10, 0, 10, 0);
    circleRow->addWidget(label(circle, "label_circle"));
    circleRow->addWidget(check(circle, "checkBox_r"));
    circleRow->addWidget(check(circle, "checkBox_d"));

    QWidget* p2p = PanelKit::row(this, "widgetP2P", 6, 10);
    auto* p2pRow = static_cast<QHBoxLayout*>(p2p->layout());
    p2pRow->addWidget(label(p2p, "labP2P"));
    p2pRow->addWidget(check(p2p, "checkBoxP2P"));
    p2pRow->addWidget(check(p2p, "checkBoxP2PCenter"));

    auto* arc = new QWidget(this);
    arc->setObjectName("widgetArc");
    auto* arcGrid = new QGridLayout(arc);
    arcGrid->setSpacing(6);
    arcGrid->setContentsMargins(10, 0, 10, 0);
    arcGrid->addWidget(label(arc, "labArc"), 0, 0);
    arcGrid->addWidget(check(arc, "checkBoxArc"), 0, 1);
    arcGrid->addWidget(check(arc, "checkBoxNAngle"), 1, 1);
    arcGrid->addWidget(check(arc, "checkBoxEAngle"), 1, 2);
    arcGrid->addWidget(check(arc, "checkBoxArc_R"), 2, 1);
    arcGrid->addWidget(check(arc, "checkBoxArc_D"), 2, 2);

    outer->addWidget(circle);
    outer->addWidget(p2p);
    outer->addWidget(arc);
}

void MarkForm::initSize() {
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    findChild<QWidget*>("widgetTitle")->setMaximumHeight(PanelKit::truncated(40));
    for (const char* row : {"widgetCircle", "widgetP2P"})
        for (QWidget* w : findChild<QWidget*>(row)->findChildren<QWidget*>())
            PanelKit::scaleGeometry(w);
    PanelKit::scaleLayouts(this);
    const QString style = MessagePassing::instance()->getQCheckBoxStyle();
    for (QCheckBox* c : findChildren<QCheckBox*>())
        c->setStyleSheet(style);
}

void MarkForm::setLanguageText() {
    PanelKit::fill(m_texts, {
        {"labTitle", "标注设置", "Mark Setting", "標註設置"},
        {"label_circle", "圆的标注：", "Circle:", "圓的標註："},
        {"checkBox_r", "半径", "R", "半徑"},
        {"checkBox_d", "直径", "D", "直徑"},
        {"labP2P", "点间距:", "P2P:", "點間距:"},
        {"checkBoxP2P", "点间距", "P2P", "點間距"},
        {"checkBoxP2PCenter", "中点距", "P2C", "中點距"},
        {"labArc", "弧度的标注：", "Arc Annotation:", "弧度標註："},
        {"checkBoxArc", "弧度", "Arc Length", "弧度"},
        {"checkBoxNAngle", "内角", "Included Angle", "內角"},
        {"checkBoxEAngle", "外角", "External Angle", "外角"},
        {"checkBoxArc_R", "半径", "Radius", "半徑"},
        {"checkBoxArc_D", "直径", "Diameter", "直徑"},
    });
}

void MarkForm::changeLanguageSLOT(int language) {
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
        if (auto* c = findChild<QCheckBox*>(it.key()))
            c->setText(PanelKit::text(m_texts, it.key(), language));
        else if (auto* l = findChild<QLabel*>(it.key()))
            l->setText(PanelKit::text(m_texts, it.key(), language));
    }
}

void MarkForm::store(const char* key, bool on) {
    PanelKit::writeKey(kIni, key, on);
    MessagePassing::instance()->OzaFreashWholeSys();
}

void MarkForm::checkBoxRToggled(bool on) { store("Circle/R", on); }
void MarkForm::checkBoxDToggled(bool on) { store("Circle/D", on); }
void MarkForm::checkBoxP2PToggled(bool on) { store("P2P/P", on); }
void MarkForm::checkBoxP2PCenterToggled(bool on) { store("P2P/C", on); }
void MarkForm::checkBoxArcToggled(bool on) { store("CLArc/A", on); }
void MarkForm::checkBoxEAngleToggled(bool on) { store("CLArc/E", on); }
void MarkForm::checkBoxNAngleToggled(bool on) { store("CLArc/N", on); }
void MarkForm::checkBoxArc_RToggled(bool on) { store("CLArc/R", on); }
void MarkForm::checkBoxArc_DToggled(bool on) { store("CLArc/D", on); }
