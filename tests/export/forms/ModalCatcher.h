#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class QWidget;

// Answers the modal (or newly shown) dialogs of the export panels while a
// test drives them: every message box is recorded (title and text) and
// closed; a file dialog is handed to fileAnswer (empty: cancel).
class ModalCatcher : public QObject {
    Q_OBJECT
public:
    ModalCatcher();
    QStringList titles;
    QStringList texts;
    // The path to choose in the next file dialog; empty cancels it.
    QString fileAnswer;
    int fileDialogs = 0;

private slots:
    void poll();

private:
    QTimer m_timer;
};

// Collects the local files handed to the desktop's URL handler.
class OpenedFiles : public QObject {
    Q_OBJECT
public:
    OpenedFiles();
    ~OpenedFiles() override;
    QStringList paths;
public slots:
    void open(const QUrl& url);
};
