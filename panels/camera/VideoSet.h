#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

// The "Video Setting" panel: owns ./VideoSet.ini (automatic or manual names,
// date or sequence, prefix, folder, scanner mode for recordings). It never
// starts a recording; the capture bar reads the file each time it names one.
// Its scanner mode and the snapshot panel's exclude each other through the
// hub. GUI thread.
class VideoSet : public QWidget {
    Q_OBJECT
public:
    explicit VideoSet(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void rbtnAUTOToggle(bool on);
    void rBtnAutoDateToggle(bool on);
    void btnPathClick();
    void changeLanguageSLOT(int language);
    void checkBoxGunToggle(bool on);
    void checkBoxGunToggleSLOT(bool video);
    void GunReturnVideoSLOT(QString code);
    void setVideoStateSLOT(bool recording);

private:
    void store(const char* key, const QVariant& value);

    QMap<QString, QStringList> texts;
    QLabel* labTitle = nullptr;
    QRadioButton *rbtnAUTO = nullptr, *rbtnHAND = nullptr, *rBtnAutoDate = nullptr, *rBtnAutoIndex = nullptr;
    QLineEdit *lineEditAuto = nullptr, *lineEditPath = nullptr, *lineEditGun = nullptr;
    QLabel *labAuto = nullptr, *labPath = nullptr;
    QToolButton* btnPath = nullptr;
    QCheckBox* checkBoxGun = nullptr;
};
