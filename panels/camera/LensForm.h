#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QTimer;
class UVCCamera_Ambrel;
struct Ui_LensForm;

// The lens panel of the lens camera model: main objective magnification,
// focus area and mode, focus steps, zoom while a key is held, zoom slider,
// digital magnification, lens heating, and the video output behind a password
// lock. Every action goes to the current camera when it is that model and
// does nothing otherwise. GUI thread.
class LensForm : public QWidget {
    Q_OBJECT
public:
    explicit LensForm(QWidget* parent = nullptr);
    ~LensForm() override;

    // The magnification of the two lens values a and b, as shown: "2.3x", "1x".
    static QString magnificationText(int a, int b);

public slots:
    void changeLanguageSLOT(int language);
    void rbtnCenterToggled(bool checked);
    void btnAutoOnceManualClick();
    void btnAddSubClick();
    void btnHotClick();
    void btnBigClick();
    void btnBigClickStop();
    void btnSmallClick();
    void btnSmallClickStop();
    void timeoutSLOT();
    void showLabMianDelay();
    void timeoutDigitalSLOT();
    void checkBoxToggled(bool checked);
    void sliderPressedSLOT();
    void sliderReleasedSLOT();
    void currentIndexChangedSLOT(int index);
    void checkBoxLockToggled(bool checked);

private:
    static UVCCamera_Ambrel* lens();
    void initSize();
    void setLanguageText();
    void showHeatState(int state);
    void zoomStart(void (UVCCamera_Ambrel::*start)());
    void zoomStop(void (UVCCamera_Ambrel::*stop)());

    Ui_LensForm* ui;
    QMap<QString, QStringList> textMap;
    QTimer* heatTimer = nullptr;
    QTimer* zoomTimer = nullptr;
    int zoomInterval = 500;
};
