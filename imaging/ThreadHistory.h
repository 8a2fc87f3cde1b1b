#pragma once

#include <QImage>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <mutex>

class QLabel;

// Loads and scales the thumbnails of a full reload of the recent-snapshot
// strip off the GUI thread. The worker thread only reads files and scales
// images; each thumbnail travels to the GUI thread queued, with its position
// and the reload's generation, and is put on its label there only while that
// label still exists and was not skipped. The lists are changed on the GUI
// thread only while the worker is not running (stop() and wait() first).
class ThreadHistory : public QThread {
    Q_OBJECT
public:
    explicit ThreadHistory(QObject* parent = nullptr);
    ~ThreadHistory() override;

    // GUI thread, worker not running.
    void addItem(const QString& path, QLabel* label);
    void clearItems();
    // GUI thread, any time: the label at its position gets no thumbnail.
    void skipLabel(QLabel* label);
    // Any thread: the worker ends after its present item.
    void stop() { isRun = false; }

signals:
    void thumbnailReady(int generation, int position, QImage image);

protected:
    void run() override;

private slots:
    void deliver(int generation, int position, QImage image);

private:
    QStringList pathList;
    QList<QPointer<QLabel>> labelList; // GUI thread only
    QList<int> skipList;               // guarded by skipMutex
    mutable std::mutex skipMutex;
    int thumbHeight = 33; // 33: not yet known
    std::atomic<bool> isRun{true};
    std::atomic<int> generation{0};
};
