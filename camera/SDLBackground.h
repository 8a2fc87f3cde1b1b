#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>

// The video window (placeholder until the video display layer is built):
// keeps the running flag of the main loop.
class SDLBackground : public QObject {
    Q_OBJECT
public:
    SDLBackground();
    ~SDLBackground() override;

    bool isRunning() const { return m_running; }
    void stop() { m_running = false; }
    void renderFrame() {}
    void show() { m_shown = true; }
    void hide() { m_shown = false; }
    bool isShown() const { return m_shown; }
    QPoint pos() const { return m_pos; }
    QSize size() const { return m_size; }
    void move(const QPoint& p) { m_pos = p; }
    void resize(const QSize& s) { m_size = s; }

private:
    bool m_running = true;
    bool m_shown = false;
    QPoint m_pos;
    QSize m_size{1920, 1080};
};

// The one video window; null once the main loop has ended.
extern SDLBackground* videoWindow;
