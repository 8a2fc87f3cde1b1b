#include "panels/measure/SetTextDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"

#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>

SetTextDialog::SetTextDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("SetTextDialog");
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setWindowIcon(QIcon(":/res/null.png"));
    setWindowTitle(QString());
    setFocusPolicy(Qt::ClickFocus);
    auto* grid = new QGridLayout(this);
    grid->setObjectName("gridLayout");
    grid->setSpacing(5);
    grid->setContentsMargins(5, 5, 5, 5);
    label = new QLabel(this);
    label->setObjectName("label");
    lineEdit = new QLineEdit(this);
    lineEdit->setObjectName("lineEdit");
    lineEdit->setFocusPolicy(Qt::ClickFocus);
    pushButton = new QPushButton(this);
    pushButton->setObjectName("pushButton");
    pushButton_2 = new QPushButton(this);
    pushButton_2->setObjectName("pushButton_2");
    for (QPushButton* b : {pushButton, pushButton_2}) {
        b->setFocusPolicy(Qt::ClickFocus);
        b->setAutoDefault(false);
    }
    grid->addWidget(label, 0, 0, 1, 3);
    grid->addWidget(lineEdit, 1, 0, 1, 3);
    grid->addItem(new QSpacerItem(77, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 2, 0);
    grid->addWidget(pushButton, 2, 1);
    grid->addWidget(pushButton_2, 2, 2);
    connect(pushButton, SIGNAL(clicked()), this, SLOT(accept()));
    connect(pushButton_2, SIGNAL(clicked()), this, SLOT(reject()));
    setFixedSize(240 * uiSizeFactor / 10, 90 * uiSizeFactor / 10);

    static const char* const prompt[] = {"请输入注释内容:", "Please enter Text:", "请输入注释内容:"};
    static const char* const ok[] = {"确定", "Ok", "確定"};
    static const char* const cancel[] = {"取消", "Cancel", "取消"};
    int lang = MessagePassing::instance()->language();
    lang = lang >= 0 && lang <= 2 ? lang : 0;
    label->setText(QString::fromUtf8(prompt[lang]));
    pushButton->setText(QString::fromUtf8(ok[lang]));
    pushButton_2->setText(QString::fromUtf8(cancel[lang]));
}

QString SetTextDialog::GetText() const { return lineEdit->text(); }

void SetTextDialog::closeEvent(QCloseEvent* event) { QWidget::closeEvent(event); }

QString SetTextDialog::askText() {
    SetTextDialog dialog(nullptr);
    dialog.move(QCursor::pos());
    return dialog.exec() == QDialog::Accepted ? dialog.GetText() : QString();
}
