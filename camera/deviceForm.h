#pragma once

#include <QWidget>
#include <functional>

// The device panel (placeholder until the camera list is built): holds the
// shutdown road's device-side steps.
class deviceForm : public QWidget {
    Q_OBJECT
public:
    explicit deviceForm(QWidget* parent = nullptr);

    using ExitAction = std::function<void(bool netCameraUsed)>;
    void setExitAction(ExitAction action) { m_exitAction = std::move(action); }
    // Clears the video window's running flag; the main loop ends at its next test.
    void stopSDLLoop();
    void initDeviceList(QList<int> codes, QList<int> indexes);

signals:
    void newCameraParaForm();

public slots:
    void SDLCLoseFinishSLOT();
    void setThreadAVPacketFinishSLOT();

private:
    void runExitAction(bool netCameraUsed);
    ExitAction m_exitAction;
};
