#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so a
// session logout or `kill` takes the program's own shutdown road (nothing is
// cut off mid-write). One instance per process.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    // Catches the signals from now on (safe before any Qt object exists);
    // what arrives is reported once a watcher exists and events run.
    static void installHandlers();
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminateRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};
