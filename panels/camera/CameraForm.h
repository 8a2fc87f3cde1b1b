#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

#include <functional>

class QToolButton;
class QVBoxLayout;

// The widgets of the capture bar, built in code.
struct Ui_CameraForm {
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* verticalLayout_2 = nullptr;
    QWidget* widgetTop = nullptr;
    QToolButton* btnPlay = nullptr;
    QToolButton* btnPause = nullptr;
    QToolButton* btnCamera = nullptr;
    QToolButton* btnVideo = nullptr;
    QToolButton* btnVideoStop = nullptr;
    void setupUi(QWidget* form);
};

// The capture bar: play, pause, snapshot, start and stop recording. Snapshots
// are named from ./CameraSet.ini, recordings from ./VideoSet.ini, a name
// dialog or a scanned code; a recording starts only after the general
// settings panel has answered the resolution request with id 1, and the
// resolution is handed back after it stops. Reaches the rest of the program
// through the hub and its current camera only. GUI thread.
class CameraForm : public QWidget {
    Q_OBJECT
public:
    explicit CameraForm(QWidget* parent = nullptr);
    ~CameraForm() override;

    // Does what the play button does when the live view is paused.
    void playIfPaused();
    // The recording being requested or running (full path with ".mp4").
    QString recordingFile() const { return videoFileName; }

    // Free bytes of the volume holding a folder; the real volume's when unset.
    static std::function<qint64(const QString& folder)> freeSpaceQuery;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void btnPlayClick();
    void btnPauseClick();
    void btnCameraClick();
    void addIconCameraSLOT();
    void removeIconCameraSLOT();
    void btnVideoClick();
    void changeFenBianLv1080pFinishSLOT(int requester);
    void changeFenBianLv1080pFinishDelay();
    void btnVideoStopClick();
    void btnVideoStopDelay();
    void changeFenBianLv1080pReturnFinishSLOT(int requester);
    void changeLanguageSLOT(int language);
    void setVideoStateSLOT(bool recording);
    void stopVideoSLOT();
    void snapCtrlQSLOT();
    void setEditImageSLOT(QString path);
    void setIsCameraModeSLOT(bool cameraMode);
    void GunReturnVideoSLOT(QString code);
    // The camera was closed: a resolution request still unanswered is dropped,
    // so the record button works again for the next camera.
    void setCurCameraNULLSLOT();

private:
    void initSize();
    void initTipTexts();
    void initButtons();
    // Disk-space check, then the resolution request.
    void requestRecording();
    bool diskSpaceEnough() const;
    // Next counter of a settings file's autoNameIndex (1..90000), stored at once.
    static int nextCounter(class QSettings& settings);

    Ui_CameraForm* ui = nullptr;
    QMap<QString, QStringList> tipTexts;
    QString videoFileName;
    // A resolution request was sent and its recording has not started or failed yet.
    bool requestPending = false;
    bool cameraMode = true;
};
