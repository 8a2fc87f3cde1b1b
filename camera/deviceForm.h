#pragma once

#include <QMap>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QToolButton;
class QVBoxLayout;
class BaseCamera;

// One USB row of the camera list.
struct DeviceEntry {
    qint32 code = 0;      // device code 1..14
    qint32 index = 0;     // capture-device index
    qint32 duplicate = 0; // earlier entries with the same code
};

// The device panel: lists the cameras, offers a pixel format for USB ones,
// and on "Open" builds the camera of the right model class (the program's
// camera factory), makes it current and starts live video. It also closes the
// camera when the main loop has ended.
class deviceForm : public QWidget {
    Q_OBJECT
public:
    explicit deviceForm(QWidget* parent = nullptr);

    using ExitAction = std::function<void(bool netCameraUsed)>;
    void setExitAction(ExitAction action) { m_exitAction = std::move(action); }
    // Clears the video window's running flag; the main loop ends at its next test.
    void stopSDLLoop();
    void initDeviceList(QList<int> codes, QList<int> indexes);

    // Model token shown for a device code; empty outside 1..14.
    static QString tokenOf(int code);
    // The one format offered for a code, given its firmware byte.
    static QString formatOf(int code, int firmware);
    // Firmware byte reader for codes 3, 4, 14 (capture-device index -> byte);
    // replaceable so tests need no device.
    static std::function<int(int)> versionReader;
    // The camera factory: builds, opens and checks the camera of a code with a
    // format text; null on failure (the caller shows the error box).
    static BaseCamera* createUsbCamera(int code, int captureIndex, const QString& format);
    // Makes the lens panel shown under the list when a lens camera opens (the
    // camera panels' LensForm); set by the main widget. Empty: no panel.
    static std::function<QWidget*(QWidget* parent)> lensPanelMaker;

signals:
    void newCameraParaForm();

public slots:
    int getVersion(int captureIndex);
    void comboBoxIndexChanged(int row);
    void btnOpenClick();
    void oneSecondDelay();
    void changeLanguageSLOT(int language);
    void setThreadAVPacketFinishSLOT();
    void SDLCLoseFinishSLOT();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void runExitAction(bool netCameraUsed);
    void showFailure();

    QVBoxLayout* verticalLayout = nullptr;
    QWidget* widget00 = nullptr;
    QLabel* labName = nullptr;
    QComboBox* comboBox = nullptr;
    QToolButton* btnOpen = nullptr;
    QWidget* widgetFormat = nullptr;
    QLabel* labFormat = nullptr;
    QComboBox* comboBoxFormat = nullptr;
    QWidget* widgetImg = nullptr;
    QLabel* labImg = nullptr;
    QWidget* widgetOther = nullptr;
    QHBoxLayout* layoutOther = nullptr;
    QMap<QString, QStringList> texts;
    QPixmap info;
    QMap<int, DeviceEntry> rows;
    ExitAction m_exitAction;
    QPointer<QWidget> m_lensPanel;
};
