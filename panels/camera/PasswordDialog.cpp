#include "panels/camera/PasswordDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "platform/FileCommit.h"
#include "platform/WriteProblem.h"
#include "platform/RegularFile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

struct Ui_PasswordDialog {
    QVBoxLayout* verticalLayout;
    QGridLayout* gridLayout;
    QLabel* label_2;
    QLineEdit* lineEdit;
    QLabel* label;
    QLineEdit* lineEdit_2;
    QLabel* label_3;
    QLineEdit* lineEdit_3;
    QHBoxLayout* horizontalLayout;
    QPushButton* pushButton;
    QPushButton* pushButton_2;
    QPushButton* pushButton_3;

    void setupUi(QDialog* dialog) {
        dialog->setObjectName("PasswordDialog");
        dialog->resize(287, 130);
        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName("verticalLayout");
        verticalLayout->setContentsMargins(10, 9, 10, 9);
        gridLayout = new QGridLayout();
        gridLayout->setObjectName("gridLayout");
        auto row = [&](int r, QLabel*& lab, const char* labName, QLineEdit*& edit, const char* editName) {
            lab = new QLabel(dialog);
            lab->setObjectName(labName);
            edit = new QLineEdit(dialog);
            edit->setObjectName(editName);
            edit->setEchoMode(QLineEdit::Password);
            gridLayout->addWidget(lab, r, 0);
            gridLayout->addWidget(edit, r, 1);
        };
        row(0, label_2, "label_2", lineEdit, "lineEdit");
        row(1, label, "label", lineEdit_2, "lineEdit_2");
        row(2, label_3, "label_3", lineEdit_3, "lineEdit_3");
        verticalLayout->addLayout(gridLayout);
        horizontalLayout = new QHBoxLayout();
        horizontalLayout->setObjectName("horizontalLayout");
        for (auto [button, name] : {std::pair{&pushButton, "pushButton"}, std::pair{&pushButton_2, "pushButton_2"},
                                    std::pair{&pushButton_3, "pushButton_3"}}) {
            *button = new QPushButton(dialog);
            (*button)->setObjectName(name);
            (*button)->setAutoDefault(false);
            horizontalLayout->addWidget(*button);
        }
        verticalLayout->addLayout(horizontalLayout);
    }
};

namespace {
const float kTenth = 0.1f;
int scaled(int designed) { return int(float(designed) * float(uiSizeFactor) * kTenth); }
} // namespace

PasswordDialog::PasswordDialog(QWidget* parent) : QDialog(parent), ui(new Ui_PasswordDialog) {
    ui->setupUi(this);
    setWindowFlags(Qt::WindowCloseButtonHint);
    setWindowTitle(" ");
    initLanguageText();
    for (QWidget* w : std::initializer_list<QWidget*>{ui->label, ui->label_3, ui->lineEdit_2, ui->lineEdit_3})
        w->hide();
    modifyMode = false;
    connect(ui->pushButton, SIGNAL(clicked()), this, SLOT(modifyButtonSlot()));
    connect(ui->pushButton_2, SIGNAL(clicked()), this, SLOT(okButtonSlot()));
    connect(ui->pushButton_3, SIGNAL(clicked()), this, SLOT(exitButtonSlot()));
    resize(scaled(width()), scaled(80));
    iniPath = "./PasswordDialog.ini";
    defaultPassword.clear();
}

PasswordDialog::~PasswordDialog() { delete ui; }

void PasswordDialog::initLanguageText() {
    texts = {
        {"密码", "新密码", "密码确认", "修改", "确定", "取消"},
        {"Password", "New Password", "Confirm password", "Modify", "Ok", "Cancel"},
        {"密碼", "新密碼", "密碼確認", "修改", "確定", "取消"},
    };
    setLanguage(MessagePassing::instance()->language());
}

void PasswordDialog::setLanguage(int language) {
    if (language < 0 || language > 2)
        return;
    const QStringList& t = texts[language];
    QWidget* targets[] = {ui->label_2, ui->label, ui->label_3, ui->pushButton, ui->pushButton_2, ui->pushButton_3};
    for (int i = 0; i < 6; ++i) {
        const QString text = t.value(i);
        if (auto* lab = qobject_cast<QLabel*>(targets[i]))
            lab->setText(text);
        else
            static_cast<QPushButton*>(targets[i])->setText(text);
    }
}

void PasswordDialog::setIniPath(QString path, QString password) {
    iniPath = path;
    defaultPassword = password;
}

QString PasswordDialog::getPassWord() const { return ui->lineEdit->text(); }

QString PasswordDialog::storedPassword(const QString& path, const QString& fallback) {
    return QSettings(RegularFile::settingsName(path), QSettings::IniFormat)
        .value("Password", fallback)
        .toString();
}

bool PasswordDialog::unlock(const QString& path, const QString& fallback, QWidget* parent) {
    const QString stored = storedPassword(path, fallback);
    PasswordDialog dialog(parent);
    dialog.setIniPath(path, fallback);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString entered = dialog.getPassWord();
    return entered == stored || entered == masterPassword();
}

void PasswordDialog::modifyButtonSlot() {
    resize(width(), scaled(130));
    for (QWidget* w : std::initializer_list<QWidget*>{ui->label, ui->label_3, ui->lineEdit_2, ui->lineEdit_3})
        w->show();
    modifyMode = true;
}

void PasswordDialog::okButtonSlot() {
    if (!modifyMode) {
        accept();
        return;
    }
    const int lang = MessagePassing::instance()->language();
    auto message = [&](const char* zh, const char* en, const char* tw) {
        QMessageBox::about(this, "", QString::fromUtf8(lang == 0 ? zh : lang == 1 ? en : tw));
    };
    const QString stored = storedPassword(iniPath, defaultPassword);
    const QString old = ui->lineEdit->text();
    if (old != stored && old != masterPassword()) {
        message("密码错误！", "Password error! ", "密碼錯誤! ");
        return;
    }
    if (ui->lineEdit_2->text() != ui->lineEdit_3->text()) {
        message("密码不一致！", "Password Differ! ", "密碼不一致! ");
        return;
    }
    // The old password opens the lock until the new one is on disk, whole:
    // a read-only file or a full disk is said as such, and the dialog stays.
    const QString fresh = ui->lineEdit_2->text();
    const QString why = FileCommit::editSettings(
        iniPath, [&fresh](QSettings& file) { file.setValue("Password", fresh); }, lang);
    if (!why.isEmpty()) {
        QMessageBox::warning(this, "Error",
                             WriteProblem::pick(lang, "密码没有修改：\n", "The password was not changed:\n",
                                                "密碼沒有修改：\n") +
                                 why);
        return;
    }
    message("密码修改成功！", "Password modified successfully! ", "密碼修改成功! ");
    accept();
}

void PasswordDialog::exitButtonSlot() { reject(); }
