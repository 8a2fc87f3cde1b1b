#include "PanelTestKit.h"

#include <QtTest>

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

ModalAnswerer::ModalAnswerer() {
    connect(&m_timer, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxTitles << box->windowTitle();
            boxTexts << box->text();
            box->accept();
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            input->setTextValue(inputText);
            input->accept();
        }
    });
    m_timer.start(5);
}

void addStoredPrefixRows() {
    QTest::addColumn<QString>("stored");
    QTest::newRow("parent folders") << QString("../../escaped");
    QTest::newRow("absolute") << QString("/tmp/escaped");
    QTest::newRow("backslash") << QString("..\\escaped");
    QTest::newRow("dot dot") << QString("..");
    QTest::newRow("blank") << QString("  ");
    QTest::newRow("empty") << QString();
}
