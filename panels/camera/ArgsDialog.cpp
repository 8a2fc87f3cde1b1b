#include "panels/camera/ArgsDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "platform/FileNames.h"
#include "panels/camera/PanelParts.h"
#include "panels/camera/PanelPrompt.h"
#include "panels/camera/PanelScaling.h"
#include "platform/RegularFile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
const char* kIni = "./ArgsDialog.ini";
}

ArgsDialog::ArgsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("ArgsDialog");
    resize(300, 150);
    auto* layout = new QVBoxLayout(this);
    layout->setObjectName("verticalLayout");
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* widget = new QWidget(this);
    widget->setObjectName("widget");
    layout->addWidget(widget);
    auto place = [widget](QWidget* w, const char* name, int x, int y, int width, int height) {
        w->setParent(widget);
        w->setObjectName(name);
        w->setGeometry(x, y, width, height);
        return w;
    };
    place(new QLabel, "labName", 30, 30, 100, 20);
    comboBoxName = static_cast<QComboBox*>(place(new QComboBox, "comboBoxName", 130, 30, 140, 22));
    place(new QLabel, "labCurName", 30, 60, 100, 20);
    labCurCombo = static_cast<QLabel*>(place(new QLabel, "labCurCombo", 130, 60, 140, 20));
    auto* btnNew = static_cast<QPushButton*>(place(new QPushButton, "btnNew", 12, 100, 60, 30));
    auto* btnDel = static_cast<QPushButton*>(place(new QPushButton, "btnDel", 84, 100, 60, 30));
    auto* btnSave = static_cast<QPushButton*>(place(new QPushButton, "btnSave", 156, 100, 60, 30));
    auto* btnLoad = static_cast<QPushButton*>(place(new QPushButton, "btnLoad", 228, 100, 60, 30));

    setWindowFlags(Qt::WindowCloseButtonHint);
    resize(PanelScaling::round(width()), PanelScaling::round(height()));
    for (QWidget* w : widget->findChildren<QWidget*>())
        PanelScaling::scaleGeometry(w);

    texts["title"] = QStringList{"参数设置", "Args Setting", "參數設置"};
    texts["labName"] = QStringList{"名称", "Name", "名稱"};
    texts["labCurName"] = QStringList{"当前参数", "Current Args", "當前參數"};
    texts["btnNew"] = QStringList{"新建", "New", "新建"};
    texts["btnDel"] = QStringList{"删除", "Del", "刪除"};
    texts["btnSave"] = QStringList{"保存", "Save", "保存"};
    texts["btnLoad"] = QStringList{"加载", "Load", "加載"};
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
    connect(btnNew, SIGNAL(clicked()), this, SLOT(btnNewClicked()));
    connect(btnDel, SIGNAL(clicked()), this, SLOT(btnDelClicked()));
    connect(btnSave, SIGNAL(clicked()), this, SLOT(btnSaveClicked()));
    connect(btnLoad, SIGNAL(clicked()), this, SLOT(btnLoadClicked()));

    QSettings settings(RegularFile::settingsName(kIni), QSettings::IniFormat);
    const QStringList names = settings.value("List").toStringList();
    if (!names.isEmpty())
        comboBoxName->addItems(names);
    comboBoxName->setCurrentIndex(settings.value("curIndex", 0).toInt());
    labCurCombo->setText(comboBoxName->currentText());
    connect(comboBoxName, SIGNAL(currentIndexChanged(int)), this, SLOT(comboBoxNameChanged(int)));
}

void ArgsDialog::changeLanguageSLOT(int language) {
    if (language < 0 || language > 2)
        return;
    PanelParts::applyTexts(this, texts, language);
    setWindowTitle(texts["title"].value(language));
}

void ArgsDialog::storeList() {
    QStringList names;
    for (int i = 0; i < comboBoxName->count(); ++i)
        names << comboBoxName->itemText(i);
    // The names of every parameter set: whole or as they were.
    SaveErrorBox::editSettings(kIni, [&](QSettings& settings) { settings.setValue("List", names); });
}

void ArgsDialog::btnNewClicked() {
    QString name;
    if (!PanelPrompt::ask({"请输入文件名称：", "Please input file Name：", "請輸入文件名稱："}, {"确定", "Ok", "確定"},
                          {"取消", "Cancel", "取消"}, true, &name))
        return;
    if (name.isEmpty()) {
        PanelParts::showError({"名字不能为空！", "The name cannot be empty!", "名字不能為空！"});
        return;
    }
    if (comboBoxName->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0) {
        PanelParts::showError({"名字已存在，请重新命名！", "The name already exists,please rename it!",
                               "名字已存在，請重新命名！"});
        return;
    }
    // The name becomes part of a file name: a blank one or one with a path
    // separator or a character a file name cannot hold would write elsewhere
    // or nowhere.
    if (!isSafeFileName(name)) {
        PanelParts::showError({"名字不能用作文件名，请重新命名！", "The name cannot be used as a file name,please rename it!",
                               "名字不能用作文件名，請重新命名！"});
        return;
    }
    comboBoxName->addItem(name);
    comboBoxName->setCurrentIndex(comboBoxName->count() - 1);
    labCurCombo->setText(name);
    storeList();
    MessagePassing::instance()->argsNew(name);
}

void ArgsDialog::btnDelClicked() {
    if (comboBoxName->count() == 0)
        return;
    const QString name = comboBoxName->currentText();
    comboBoxName->removeItem(comboBoxName->currentIndex());
    if (comboBoxName->count() == 0) {
        labCurCombo->clear();
    } else {
        comboBoxName->setCurrentIndex(comboBoxName->count() - 1);
        labCurCombo->setText(comboBoxName->currentText());
    }
    storeList();
    MessagePassing::instance()->argsDel(name);
}

// Without a selected name there is no set to save or load.
void ArgsDialog::btnSaveClicked() {
    if (!comboBoxName->currentText().isEmpty())
        MessagePassing::instance()->argsNew(comboBoxName->currentText());
}

void ArgsDialog::btnLoadClicked() {
    if (!comboBoxName->currentText().isEmpty())
        MessagePassing::instance()->argsLoad(comboBoxName->currentText());
}

void ArgsDialog::comboBoxNameChanged(int index) {
    labCurCombo->setText(comboBoxName->currentText());
    SaveErrorBox::editSettings(kIni, [&](QSettings& settings) { settings.setValue("curIndex", index); });
}
