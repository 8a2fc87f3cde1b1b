#pragma once

#include <QColor>
#include <QMap>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QSettings;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

// The widgets of the snapshot settings panel, built in code.
struct Ui_CameraSet {
    QWidget* widgetTitle = nullptr;
    QLabel* labTitle = nullptr;
    QWidget* widgetContent = nullptr;
    QWidget *widget_0 = nullptr, *widget_1 = nullptr, *widget_3 = nullptr, *widget = nullptr,
            *widget_2 = nullptr, *widgetSize = nullptr, *widget_4 = nullptr, *widget_5 = nullptr,
            *widget_7 = nullptr;
    QRadioButton *rbtnPC = nullptr, *rbtnARM = nullptr, *rbtnAUTO = nullptr, *rbtnHAND = nullptr;
    QRadioButton *rBtnAutoIndex = nullptr, *rBtnAutoDate = nullptr;
    QLineEdit *lineEditAuto = nullptr, *lineEditPath = nullptr, *lineEditGun = nullptr;
    QLabel *labAuto = nullptr, *labPath = nullptr, *labSize = nullptr, *labImgType = nullptr;
    QToolButton* btnPath = nullptr;
    QComboBox *comboBoxSize = nullptr, *comboImgType = nullptr, *comboBoxTimeColor = nullptr,
              *comboBoxTimePos = nullptr;
    QCheckBox *checkBoxGun = nullptr, *checkBoxTimeSign = nullptr;
    void setupUi(QWidget* form);
};

// The "Shoot Setting" panel: owns ./CameraSet.ini (snapshot mode, naming,
// folder, picture size and type, time stamp, scanner mode), mirrors the image
// type into the hub, adapts its rows to the open camera, and in scanner mode
// takes a snapshot named after each scanned code. GUI thread.
class CameraSet : public QWidget {
    Q_OBJECT
public:
    explicit CameraSet(QWidget* parent = nullptr);
    ~CameraSet() override;
    void initImgTypeByCamera();

    // What ./CameraSet.ini says a snapshot is made with; values outside their
    // lists give the defaults.
    struct SnapOptions {
        int mode = 0; // 0 the computer's frame, 1 the camera's own picture
        bool autoName = true;
        bool timeSign = false;
        QColor colour;
        int position = 0;
        int size = 1;
    };
    static SnapOptions snapOptions(QSettings& ini);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void rbtnPCToggle(bool checked);
    void rbtnAUTOToggle(bool checked);
    void rBtnAutoDateToggle(bool checked);
    void btnPathClick();
    void comboSizeIndexChanged(int index);
    void checkBoxGunToggle(bool checked);
    void GunReturnSLOT(QString code);
    void GunReturnDelay();
    void changeLanguageSLOT(int language);
    void comboImgTypeIndexChanged(int index);
    void checkBoxTimeSignToggle(bool checked);
    void comboBoxTimeColorChanged(int index);
    void comboBoxTimePosChanged(int index);
    void checkBoxGunToggleSLOT(bool video);

private:
    void initSize();
    void setLanguageText();
    void store(const char* key, const QVariant& value);

    Ui_CameraSet* ui = nullptr;
    QMap<QString, QStringList> languageTexts;
    int fullHeight = -1;
};
