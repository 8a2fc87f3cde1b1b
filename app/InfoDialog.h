#pragma once

#include <QDialog>

class QLabel;
class QToolButton;
class BaseCamera;

// The About dialog: logo, software version, compatible systems, build date
// and, for the camera models that report one, the camera's firmware version,
// in the interface language; a button opens the help document.
class InfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit InfoDialog(QWidget* parent = nullptr);

    static constexpr const char* kSoftVersion = "V4.1.0.4";
    static constexpr const char* kBuildDate = "2026-05-28";
    // Firmware text of the models that report one ("V%1.%2.%3.%4"); empty for
    // any other camera or none.
    // False for a camera that reports no firmware version (or none).
    static bool firmwareTextOf(BaseCamera* camera, QString& text);
    // The help document of a language under the application directory.
    static QString helpPath(int language);

public slots:
    void btnHelpClick();
    void btnWebClick();

private:
    QLabel* labLogo = nullptr;
    QLabel* lab_01 = nullptr;
    QLabel* lab_02 = nullptr;
    QLabel* lab_03 = nullptr;
    QLabel* labYing = nullptr;
    QLabel* lab_04 = nullptr;
    QLabel* lab_05 = nullptr;
    QToolButton* btnHelp = nullptr;
    QToolButton* btnWeb = nullptr;
};
