#pragma once

#include <QList>
#include <QMap>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class QButtonGroup;
class QSettings;
class QSlider;
class QTimer;
class BaseCamera;
struct Ui_CameraParaForm;

// The camera parameter panel: ten slider rows (control keys 0-9) with value
// box and step buttons, seven option rows (keys 10-16), white balance, auto
// exposure, Sync, Restore, named parameter sets ("./Args_<name>.ini") and the
// password-guarded Args Lock ("./CameraParaForm.ini"). It drives whatever
// camera the hub holds at each action; option values are sent only when they
// differ from the last one sent (-1: nothing sent yet). GUI thread.
class CameraParaForm : public QWidget {
    Q_OBJECT
public:
    explicit CameraParaForm(QWidget* parent = nullptr);
    ~CameraParaForm() override;

    // Once per panel: forget the sent option values and read the camera.
    void syncParamsOnce();
    // Checks AE (and sets the hub's flag) when the camera runs auto exposure.
    void initAEState();
    // The file of a parameter-set name; empty for a name that is blank or
    // cannot be one file name.
    static QString argsFilePath(const QString& name);

public slots:
    void initImgEffectSLOT();
    void changeLanguageSLOT(int language);
    void sliderValueChanged(int value);
    void sliderReleasedSLOT();
    void sliderValueTimeOut();
    void sliderValueChangedByQSlider(QSlider* slider);
    void btnGroupAddSubClick(int id);
    void btnGroupMirrClick(int id);
    void btnGroupFilpClick(int id);
    void btnGroupBwModeClick(int id);
    void btnGroup3DNRClick(int id);
    void btnGroupRmPurpleClick(int id);
    void btnGroupExposureClick(int id);
    void btnGroupJinXiangClick(int id);
    void btnGroupExposureDelay();
    void oneSecUpdate();
    void btnAEClick();
    void setAEStateSLOT();
    void btnAWBClick();
    void btnAWBClickDelay();
    void btnAWBClickDelay1();
    void addIconAWBSLOT();
    void removeIconAWBSLOT();
    void syncExposureSLOT();
    void syncRGBGainSLOT();
    void btnResetClickDelay();

    void btnSyncClick();
    void btnResetClick();
    void btnResetDelay_01();
    void btnResetDelay_02();
    void btnResetDelay_03();
    void btnArgsClick();
    void argsNewSLOT(QString name);
    void argsLoadSLOT(QString name);
    void argsLoadSLOT_1();
    void argsDelSLOT(QString name);
    void checkBoxToggled(bool checked);
    void checkBoxToggled2(bool locked);
    void oneSecondLater();

private:
    static BaseCamera* camera();
    void initSize();
    void setLanguageText();
    void resetSentValues();
    // Sends a slider's value: the exposure through its text operation.
    void sendSlider(QSlider* slider);
    // Exposure slider range, position and text for the camera value.
    void showExposure(int cameraValue);
    QWidget* valueEdit(QSlider* slider) const;
    bool longExposure() const;
    // Option click: send `id` through `apply` when it differs from `*sent`.
    bool sendOption(int id, int* sent, void (BaseCamera::*apply)(int));
    // The load steps of a parameter set, in running order.
    QList<std::function<void()>> loadSteps();
    void loadTwoChoice(int key, int row, int* sent, void (BaseCamera::*apply)(int));
    void loadSlider(int key);
    void loadMode();

    Ui_CameraParaForm* ui;
    QButtonGroup* btnGroupMirr;
    QButtonGroup* btnGroupFilp;
    QButtonGroup* btnGroup3DNR;
    QButtonGroup* btnGroupBwMode;
    QButtonGroup* btnGroupExposure;
    QButtonGroup* btnGroupJinXiang;
    QButtonGroup* btnGroupRmPurple;
    QButtonGroup* btnGroupAddSub;
    QMap<int, QSlider*> sliderMap;
    QMap<QString, QStringList> textMap;
    std::unique_ptr<QSettings> argsSettings;
    int lastMirr = -1;
    int lastFilp = -1;
    int lastBwMode = -1;
    int last3DNR = -1;
    int lastExposureType = -1;
    int lastJinXiang = -1;
    int lastRmPurple = -1;
    bool syncedOnce = false;
    QList<std::function<void()>> argsSteps;
    QTimer* sliderTimer;
    QSlider* lastSlider = nullptr;
    // The 100 ms tick of a load; restarting a load restarts it.
    QTimer* argsTimer;
};
