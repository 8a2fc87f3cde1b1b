#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QTimer;
class UVCCamera_Corvo;
struct Ui_LasControlForm;

// Laser control of the Corvo camera model: three stage magnifications and the
// total magnification, one register value on a slider, white balance and two
// on/off registers, the live magnification read back every second. Nothing
// in the program shows it. Every camera action does nothing unless the
// current camera is that model. Settings in ./LasControlForm.INI. GUI thread.
class LasControlForm : public QWidget {
    Q_OBJECT
public:
    explicit LasControlForm(QWidget* parent = nullptr);
    ~LasControlForm() override;

    // d x 10000 / 8811.6 x (m x s1 x s2), d the diagonal of the s3 field.
    static double totalMagnification(double m, double s1, double s2, double s3);
    void showTotalBeiLv();

public slots:
    void changeLanguageSLOT(int language);
    void rbtnOpenToggled(bool checked);
    void sliderPressedSLOT();
    void sliderReleasedSLOT();
    void sliderValueChanged(int value);
    void btnAddSubClick();
    void timeoutSLOT();
    void checkBoxHideToggled(bool checked);
    void checkBoxAutoAWBToggled(bool checked);
    void checkBoxAutoAWBDelay();
    void btnBeiLv_1Click();
    void btnBeiLv_2Click();
    void btnBeiLv_3Click();
    void btnBeiLv_3ClickDelay();
    void checkBoxToggled(bool checked);

private:
    static UVCCamera_Corvo* laser();
    // Steps 1-2 of a stage button: false for an empty field; a non-positive
    // field becomes "1.0".
    static bool prepareStage(QLineEdit* field);
    // A stage button: the field's text to the camera, then the total; false
    // when nothing was sent.
    bool sendStage(QLineEdit* field, void (UVCCamera_Corvo::*send)(const QString&));
    void storeSetting(const char* key, bool value);

    Ui_LasControlForm* ui;
    QMap<QString, QStringList> textMap;
    QTimer* refreshTimer = nullptr;
};
