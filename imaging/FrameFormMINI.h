#pragma once

#include <QImage>
#include <QWidget>

#include <mutex>

class QTimer;
class ThreadAVPacket;

// The small live picture of the current USB camera shown in the stitching
// and focus-stacking panels while their graphics view takes the main view
// area. Every 80 ms the newest raw frame of the camera's ring goes to a
// decoder thread (one decode at a time; the decoder works on its own copy of
// the frame); the RGB picture is copied out in the decoder's callback, so a
// paint never reads a buffer being written. The decoder is set up again when
// the frame size changes. Network cameras get no preview.
//
// GUI thread, except the decoder callback (decoder thread).
class FrameFormMINI : public QWidget {
    Q_OBJECT
public:
    explicit FrameFormMINI(QWidget* parent = nullptr);
    ~FrameFormMINI() override;

    // Ends the preview and deletes the form: at once, or when a decode in
    // flight has finished.
    void stopRenew();

    // The last decoded picture (RGB888; null before the first).
    QImage picture() const;
    bool renewing() const { return isRenewing; }

signals:
    void renewDataFinishSIGNAL();

public slots:
    void renewData();
    void renewDataFinishSLOT();
    void finishSLOT();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* renewTimer = nullptr;
    bool isStopped = false;
    bool isRenewing = false;
    ThreadAVPacket* decoder = nullptr;
    mutable std::mutex frameMutex;
    QImage frame; // guarded by frameMutex; replaced, never written in place
    bool stopFlag = false; // isStopped as the callback reads it, under frameMutex
};
