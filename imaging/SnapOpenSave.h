#pragma once

#include <QMap>
#include <functional>
#include <QStringList>
#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

// The icon buttons of the still-image view: Open, Save, Save as, Auto Size,
// Del All Image and Overlay (with, in overlay mode, a switch button and an
// opacity slider). Every action goes through the hub; hover texts in the
// hub's language at the moment of hovering. GUI thread only.
class SnapOpenSave : public QWidget {
    Q_OBJECT
public:
    explicit SnapOpenSave(QWidget* parent = nullptr);
    ~SnapOpenSave() override;

    bool overlayMode() const { return isOverlayMode; }

    // File dialogs go through this (tests answer them): (title, folder,
    // filter, save, chosen file type or null) -> chosen path or empty.
    using FileChooser = std::function<QString(const QString&, const QString&, const QString&, bool, QString*)>;
    static void setFileChooser(FileChooser chooser);

    // The name Save as writes: `chosen` when its file name ends in a picture
    // suffix the program writes (jpg, jpeg, png, bmp, tif, tiff, any case);
    // otherwise `chosen` with the suffix of the chosen file type
    // ("png(*.png)"), or ".jpg" when none was chosen.
    static QString saveAsName(const QString& chosen, const QString& selectedFilter);

public slots:
    void btnOpenClick();
    void btnSaveClick();
    void btnSaveAsClick();
    void btnScaleOKClick();
    void btndelAllClick();
    void imageModeSaveSLOT();
    void changeLanguageSLOT(int language);
    void setIsCameraModeSLOT(bool cameraMode);
    void setVideoStateSLOT(bool recording);
    void btnOverlayClick();
    void exitOverlayMode();
    void createOverlayControls();
    void sliderOpacityChanged(int value);
    void btnSwitchOverlayClick();
    void addImageHistorySLOT(int index, QString path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void renewSize();
    QString imageFolder() const;
    QString chooseFile(const QString& title, const QString& filter, bool save, QString* selectedFilter = nullptr) const;
    void saveSplit(const QString& path);
    void setPanelWidth(int designed);

    QWidget* widgetContent = nullptr;
    QToolButton *btnOpen = nullptr, *btnSave = nullptr, *btnSaveAs = nullptr, *btnScaleOK = nullptr,
                *btndelAll = nullptr, *btnOverlay = nullptr;
    QMap<QString, QStringList> languageTable;
    bool isSaveAs = false;
    QString saveAsPath;
    QString pendingSave;       // the file a save in progress writes
    bool savedPending = false; // it was written and listed
    QMap<QWidget*, bool> enabledStates;
    bool isOverlayMode = false;
    int opacityValue = 50;
    QToolButton* btnSwitchOverlay = nullptr;
    QSlider* sliderOpacity = nullptr;
    QLabel* labelOpacity = nullptr;
};
