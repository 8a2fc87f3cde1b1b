#include "export/forms/XlsLineEdit.h"

#include "app/hub/UiSize.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace {
int scaled(int designed) {
    return designed * uiSizeFactor / 10;
}
} // namespace

XlsLineEdit::XlsLineEdit(QWidget* parent) : QWidget(parent) {
    setObjectName("XlsLineEdit");
    const QSize size(scaled(245), scaled(40));
    resize(size);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet("QWidget{\nbackground-color:rgba(255, 255, 255, 0);\n}");
    QFont font;
    font.setPointSize(11);
    widgetSeclet = new QWidget(this);
    widgetSeclet->setObjectName("widgetSeclet");
    widgetSeclet->setAttribute(Qt::WA_StyledBackground);
    widgetSeclet->setStyleSheet("QWidget{\nbackground-color:rgb(170, 255, 255)\n}");
    label = new QLabel(this);
    label->setObjectName("label");
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    lineEdit = new QLineEdit(this);
    lineEdit->setObjectName("lineEdit");
    lineEdit->setFont(font);
    for (QWidget* w : {widgetSeclet, static_cast<QWidget*>(label), static_cast<QWidget*>(lineEdit)})
        w->setGeometry(QRect(QPoint(0, 0), size));
    widgetLine = new QWidget(this);
    widgetLine->setObjectName("widgetLine");
    widgetLine->setAttribute(Qt::WA_StyledBackground);
    widgetLine->setStyleSheet("QWidget{\nbackground-color:rgb(200, 200, 200)\n}");
    widgetLine->setGeometry(0, size.height() - 1, size.width(), 1);
    widgetSeclet->hide();
    lineEdit->hide();
    connect(lineEdit, SIGNAL(returnPressed()), this, SLOT(lineEditReturnPressed()));
}

QString XlsLineEdit::text() const {
    return label->text();
}

void XlsLineEdit::setText(const QString& text) {
    label->setText(text);
    leaveEdit();
    widgetSeclet->hide();
}

void XlsLineEdit::startEdit() {
    label->hide();
    lineEdit->setText(label->text());
    lineEdit->show();
    lineEdit->setFocus();
    lineEdit->selectAll();
}

void XlsLineEdit::setSelected(bool selected) {
    widgetSeclet->setVisible(selected);
    if (!selected)
        leaveEdit();
}

void XlsLineEdit::leaveEdit() {
    lineEdit->hide();
    label->show();
    lineEdit->setText(label->text());
}

void XlsLineEdit::lineEditReturnPressed() {
    const QString typed = lineEdit->text();
    leaveEdit();
    if (typed != label->text())
        emit myReturnPressed(typed);
}

void XlsLineEdit::mousePressEvent(QMouseEvent* event) {
    emit myMousePressEvent();
    QWidget::mousePressEvent(event);
}

void XlsLineEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (label->text() != QLatin1String("default"))
        startEdit();
    QWidget::mouseDoubleClickEvent(event);
}

void XlsLineEdit::keyPressEvent(QKeyEvent* event) {
    // The field leaves Escape to its parent: here it cancels the renaming.
    if (event->key() == Qt::Key_Escape && !lineEdit->isHidden()) {
        leaveEdit();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
