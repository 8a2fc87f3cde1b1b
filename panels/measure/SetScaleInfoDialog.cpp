#include "panels/measure/SetScaleInfoDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>

SetScaleInfoDialog::SetScaleInfoDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("SetScaleInfoDialog");
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    setFocusPolicy(Qt::ClickFocus);
    auto* grid = new QGridLayout(this);
    grid->setObjectName("gridLayout");
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        return l;
    };
    nameLabel = label("nameLabel");
    unitLabel = label("unitLabel");
    bitsLabel = label("bitsLabel");
    lenghtLabel = label("lenghtLabel");
    nameLine = new QLineEdit(this);
    nameLine->setObjectName("nameLine");
    unitBox = new QComboBox(this);
    unitBox->setObjectName("unitBox");
    unitBox->addItems({"cm", "mm", "um", "inch", "mil"});
    unitBox->setCurrentIndex(1);
    bitsBox = new QComboBox(this);
    bitsBox->setObjectName("bitsBox");
    bitsBox->addItems({"0", "1", "2", "3", "4"});
    bitsBox->setCurrentIndex(2);
    lenghtSpinBox = new QDoubleSpinBox(this);
    lenghtSpinBox->setObjectName("lenghtSpinBox");
    lenghtSpinBox->setRange(0.0, 10000.0);
    lenghtSpinBox->setDecimals(2);
    lenghtSpinBox->setSingleStep(1.0);
    lenghtSpinBox->setValue(0.0);
    for (QWidget* w : std::initializer_list<QWidget*>{nameLine, unitBox, bitsBox, lenghtSpinBox})
        w->setFocusPolicy(Qt::ClickFocus);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameLine, 0, 1);
    grid->addWidget(unitLabel, 1, 0);
    grid->addWidget(unitBox, 1, 1);
    grid->addWidget(bitsLabel, 2, 0);
    grid->addWidget(bitsBox, 2, 1);
    grid->addWidget(lenghtLabel, 3, 0);
    grid->addWidget(lenghtSpinBox, 3, 1);
    auto* buttons = new QWidget(this);
    buttons->setObjectName("widget");
    auto* row = new QGridLayout(buttons);
    row->setObjectName("gridLayout_2");
    row->setSpacing(5);
    row->setContentsMargins(0, 0, 0, 0);
    sureBtn = new QPushButton(buttons);
    sureBtn->setObjectName("sureBtn");
    cancelBtn = new QPushButton(buttons);
    cancelBtn->setObjectName("cancelBtn");
    row->addItem(new QSpacerItem(59, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, 0);
    row->addWidget(sureBtn, 0, 1);
    row->addWidget(cancelBtn, 0, 2);
    grid->addWidget(buttons, 4, 0, 1, 2);
    connect(sureBtn, SIGNAL(clicked()), this, SLOT(accept()));
    connect(cancelBtn, SIGNAL(clicked()), this, SLOT(reject()));
    lenghtSpinBox->installEventFilter(this);
    setFixedSize(220 * uiSizeFactor / 10, 183 * uiSizeFactor / 10);

    struct Texts {
        const char* title;
        const char* t[6];
    };
    static const Texts texts[3] = {
        {"定标信息", {"名称", "单位", "精度", "长度", "确定", "取消"}},
        {"Scale", {"Name", "Unit", "Precision", "Length", "Ok", "Cancel"}},
        {"定標資訊", {"名稱", "單位", "精度", "長度", "確定", "取消"}},
    };
    int lang = MessagePassing::instance()->language();
    const Texts& t = texts[lang >= 0 && lang <= 2 ? lang : 0];
    setWindowTitle(QString::fromUtf8(t.title));
    nameLabel->setText(QString::fromUtf8(t.t[0]));
    unitLabel->setText(QString::fromUtf8(t.t[1]));
    bitsLabel->setText(QString::fromUtf8(t.t[2]));
    lenghtLabel->setText(QString::fromUtf8(t.t[3]));
    sureBtn->setText(QString::fromUtf8(t.t[4]));
    cancelBtn->setText(QString::fromUtf8(t.t[5]));
}

QString SetScaleInfoDialog::GetScaleName() const { return nameLine->text(); }
QString SetScaleInfoDialog::GetScaleUnit() const { return unitBox->currentText(); }
int SetScaleInfoDialog::GetScaleBits() const { return bitsBox->currentIndex(); }
double SetScaleInfoDialog::GetScaleLength() const { return lenghtSpinBox->value(); }

bool SetScaleInfoDialog::eventFilter(QObject* watched, QEvent* event) {
    // The length is typed afresh; clearing the text keeps the value.
    if (watched == lenghtSpinBox && event->type() == QEvent::FocusIn)
        lenghtSpinBox->clear();
    return QDialog::eventFilter(watched, event);
}

ItemLayer::ScaleEntry SetScaleInfoDialog::askScale() {
    SetScaleInfoDialog dialog(nullptr);
    dialog.setWindowModality(Qt::ApplicationModal);
    ItemLayer::ScaleEntry entry;
    entry.accepted = dialog.exec() == QDialog::Accepted;
    entry.name = dialog.GetScaleName();
    entry.unit = dialog.GetScaleUnit();
    entry.precision = dialog.GetScaleBits();
    entry.length = dialog.GetScaleLength();
    return entry;
}
