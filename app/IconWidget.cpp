#include "app/IconWidget.h"

#include "app/hub/MessagePassing.h"

#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>

IconWidget::IconWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("IconWidget");
    resize(300, 80);
    setWindowTitle("Form");
    setStyleSheet("QWidget{\ncolor:rgb(255, 0, 0)\n}");
    labImg = new QLabel(this);
    labImg->setObjectName("labImg");
    labImg->setGeometry(220, 0, 80, 80);
    label = new QLabel("24:60:60", this);
    label->setObjectName("label");
    label->setGeometry(0, 0, 220, 40);
    QFont f = label->font();
    f.setPointSize(12);
    f.setWeight(75);
    label->setFont(f);
    label->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    label->hide();
    progressBar = new QProgressBar(this);
    progressBar->setObjectName("progressBar");
    progressBar->setGeometry(10, 30, 200, 20);
    progressBar->setValue(1);
    progressBar->setTextVisible(false);
    progressBar->hide();

    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(addIconSIGNAL(QString)), this, SLOT(addIconSLOT(QString)));
    connect(hub, SIGNAL(addIconProgressBarSIGNAL(int)), this, SLOT(addIconProgressBarSLOT(int)));
    connect(hub, SIGNAL(modifyIconSIGNAL(QString)), this, SLOT(modifyIconSLOT(QString)));
    connect(hub, SIGNAL(removeIconSIGNAL()), this, SLOT(removeIconSLOT()));
}

void IconWidget::moveAndHide(const QPoint& pos) {
    move(pos);
    hide();
}


void IconWidget::refresh() {
    if (m_icons.isEmpty()) {
        hide();
        return;
    }
    const QPixmap pix(m_icons.last());
    labImg->setPixmap(pix.scaled(labImg->size(), Qt::KeepAspectRatio, Qt::FastTransformation));
    show();
}

void IconWidget::addIconSLOT(QString name) {
    m_icons.append(":/res/IconWidget/" + name + ".png");
    refresh();
    if (name == "btnVideo") {
        label->setText("00:00:00");
        label->show();
        if (!m_clock) {
            m_clock = new QTimer(this);
            m_clock->setInterval(1000);
            connect(m_clock, &QTimer::timeout, this, &IconWidget::oneSecUpdate);
        }
        m_seconds = 0;
        m_clock->start();
    }
}

void IconWidget::addIconProgressBarSLOT(int value) {
    progressBar->show();
    progressBar->setValue(value);
}

void IconWidget::modifyIconSLOT(QString name) {
    if (m_icons.isEmpty())
        return;
    m_icons.last() = ":/res/IconWidget/" + name + ".png";
    refresh();
}

void IconWidget::removeIconSLOT() {
    if (m_icons.isEmpty())
        return;
    progressBar->hide();
    if (m_icons.last().contains("btnVideo")) {
        label->hide();
        if (m_clock)
            m_clock->stop();
    }
    QTimer::singleShot(300, this, &IconWidget::removeIconDelay);
}

void IconWidget::removeIconDelay() {
    if (m_icons.isEmpty())
        return;
    m_icons.removeLast();
    refresh();
}

void IconWidget::oneSecUpdate() {
    ++m_seconds;
    label->setText(QString("%1:%2:%3")
                       .arg(m_seconds / 3600, 2, 10, QChar('0'))
                       .arg((m_seconds % 3600) / 60, 2, 10, QChar('0'))
                       .arg(m_seconds % 60, 2, 10, QChar('0')));
}
