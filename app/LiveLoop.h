#pragma once

#include <QObject>
#include <QTimer>

class SDLBackground;

// The program's own loop: a pass handles the interface's events, drains SDL's
// events and runs the video window's render step, then rests for the rest of
// the 16 ms step, waking early for a finished picture or the camera's next
// frame. While a nested event loop runs (a modal dialog's or a menu's exec)
// the loop's passes cannot, so a timer of the same step runs the render step
// there, and a picture finished meanwhile is shown at once: the live picture
// keeps the camera's rate whatever dialog is open.
//
// SEVRIN_LOOP_STATS=1 prints, once a second, how the loop kept its step (for
// the live-video benchmark): passes, the longest gap between two, the wall
// and thread-CPU time of the work, the frames shown, the passes run inside
// nested loops, the size the picture is drawn at, and where the longest gap
// went: the longest pass, the latest start of a pass after the planned end
// of the rest before it, and the pass just before the longest gap.
//
// GUI thread only. The window must outlive the loop.
class LiveLoop : public QObject {
    Q_OBJECT
public:
    explicit LiveLoop(SDLBackground* window, QObject* parent = nullptr);
    ~LiveLoop() override;

    // Passes until the window stops running or an exit is requested.
    void run();
    // One pass of the program's loop. A pass whose events stopped the window
    // or asked for the exit renders nothing: the program is ending.
    void pass();
    // Render steps run inside nested loops (for tests and diagnostics).
    int nestedSteps() const { return m_nestedSteps; }

private slots:
    void nestedStep();

private:
    struct Stats;
    SDLBackground* m_window;
    QTimer m_nested;
    Stats* m_stats = nullptr;
    int m_nestedSteps = 0;
};
