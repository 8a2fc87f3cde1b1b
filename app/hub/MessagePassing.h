#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <opencv2/core.hpp>

class BaseCamera;
class QSettings;
#include <QWidget>

// The application-wide hub. Panels never call each other for cross-panel
// events: a panel calls one small emitter method here, which emits one signal,
// and interested panels connect that signal (by signature text) to a slot of
// the same stem. The signals below are in their fixed order; stored
// connections and tests rely on names, parameter types and order.
//
// Thread: created and mostly used on the GUI thread. Emitters may be called
// from workers (queued connections carry the signal over). snapImage is also
// called from the USB snapshot saver thread; the recent-image list
// (initImageHistory, addImageHistory, remove...) is GUI-thread only.
class MessagePassing : public QObject {
    Q_OBJECT

public:
    static MessagePassing* instance();
    ~MessagePassing() override;

    // ---- shared state (public fields written directly by some panels) ----
    QString imgType = "jpg";          // "jpg", "png", "bmp" or "tiff"
    bool hasYinYing = false;          // yinYingMat holds a flat-field table
    cv::Mat yinYingMat;               // CV_32FC1 flat-field gain
    cv::Mat pinJieMask;               // CV_32FC1 stitching weight of the frame size
    cv::Mat pinJieMaskHalf;           // the same at half width and height

    // ---- accessors ----
    BaseCamera* currentCamera() const { return curCamera; }
    int language() const { return languageIndex; }
    bool getIsCameraMode() const { return isCameraMode; }
    QString getEditImagePath() const { return editImagePath; }
    bool isGunMode() const { return gunMode != 0; }
    int getGunMode() const { return gunMode; }
    bool isGunCapture() const { return gunCapture; }
    QString getGunBuffer() const { return gunBuffer; }
    int pendingGunActions() const { return int(gunActions.size()); }
    bool isVideoState() const { return videoState; }
    bool isAEState() const { return aeState; }
    bool isCameraTiming() const { return cameraTiming; }
    int getImageHistoryTotalCnt() const { return totalCnt; }
    QString getImageHistoryPath(int index) const;
    QList<QString> getHistoryList() const { return historyList; }

    // ---- setters that store and emit ----
    void setCurCamera(BaseCamera* camera);
    void setLanguage(int index);
    void setIsCameraMode(bool on);
    void setVideoState(bool on);
    // The recording must end (its camera went away): the capture bar stops it.
    void stopVideo();
    void setAEState(bool on);
    void setCameraTiming(bool on);
    void setEditImage(QString path);
    void setGunMode(int mode);

    // ---- barcode scanner ----
    void GunAddChar(QChar ch);
    void GunStop();
    void GunReturnFunc();

    // ---- recent images, snapshot hand-back, export paths ----
    void initImageHistory();
    int addImageHistory(QString path);
    // Whether the last write of ./ImageHistory.ini reached the disk: a picture
    // listed while it did not keeps its record for the next start.
    bool imageHistoryStored() const { return historyStored; }
    void removeImageHistory(int index, QString path);
    void removeAllImageHistory();
    // Loads the picture just written at `path` (+ suffix) into a new image of
    // its own and emits saveItemSIGNAL with it; the receiver owns the image
    // and hands it back through saveItemFinish. `target`, when given, names
    // the final file of modes 2 and 5 instead of path + suffix (the still
    // view hands its picture over through a temporary file).
    void snapImage(QString path, int mode, QString target = QString());
    void saveItemFinish(int mode, QString target, QImage* image = nullptr);
    QString checkImgPath(QSettings* settings);
    QString checkVideoPath(QSettings* settings);
    QString checkXlsPath(QSettings* settings);

    // ---- style sheets at the current uiSizeFactor ----
    QString getQCheckBoxStyle() const;
    QString getQRadioButtonStyle() const;
    QString getQComboBoxStyle() const;
    QString getQLineEditStyle() const;
    QString getQSpinBoxStyle() const;
    QString getQPushButtonStyle() const;
    QString getQToolButtonStyle() const;
    QString getQSliderStyle() const;

    // ---- emitters: one signal each ----
    void quitFullScreen();
    void wheelEventAdd(QPoint a0);
    void wheelEventSub(QPoint a0);
    void snapCtrlQ();
    void initImageScaleIndex(int a0);
    void initImgEffect();
    void syncRGBGain();
    void syncExposure();
    void useMeasureTool(int a0);
    void setAutoEdgeState(bool a0);
    void setMeasurePenSize(int a0);
    void setMeasureScaleLength(int a0);
    void setMeasureFontSize(int a0);
    void setMeasureChiSize(int a0);
    void setMeasureAutoEdge(int a0);
    void setMeasureItemColor(int a0);
    void setMeasureChiColor(int a0);
    void setMeasureMode(int a0);
    void setMeasureMouseSize(int a0);
    void setMeasureFontColor(int a0);
    void sendScaleInfo(QList<QString> a0, QString a1);
    void setCurScaleName(QString a0);
    void scaleUnitChanged(QString a0);
    void scaleBitsChanged(int a0);
    void delScaleName(QString a0);
    void setScaleUnit(QString unit, int count);
    void startAddScale();
    void startAddCircleScale();
    void startParallelScale();
    void bewriteTextUpdate(bool show, QPoint point, QString text);
    void snapImageMode(QString a0, QString a1, int a2);
    void pinJieImage(QImage a0);
    void pinJieYinYingImage(QImage a0);
    void jingShenImage(QImage a0);
    void snapJingShenBegin();
    void addIconCamera();
    void addIconAWB();
    void removeIconAWB();
    void removeIconCamera();
    void saveImageByFileDialog(QImage a0, QString a1, bool a2, bool a3);
    void getAllMeasureData(QString path, QString image);
    void getAllMeasureDataWord(QString& html, QString image);
    void changeFenBianLv1080p(int a0);
    void changeFenBianLv1080pFinish(int a0);
    void changeFenBianLv1080pReturn(int a0);
    void changeFenBianLv1080pReturnFinish(int a0);
    void goOutPinJie();
    void goOutJingShen();
    void goOutJingShenHigh();
    void OzaFreashWholeSys();
    void setIsCanMoveItem(bool a0);
    void ForceSlider();
    void changeResolution();
    void setPlottingScalVisible(bool a0);
    void setLineNum(int a0, bool a1);
    void removeAllLine();
    void setLineVisible(bool a0);
    void setLineColor(int a0);
    void setCrossLineInfo(int nIndex, bool bIsHer, float fPos, float fAngle, QColor col, bool bShow, bool bScale);
    void delCrossLine(int index, bool isHer);
    void setCrossLineDatum(int index, double distance, bool isHer);
    void getCrossLineNum();
    void sendCrossLineInfo(int hor, int ver, QColor color);
    void setTenVisible(bool isVisible);
    void setTenColorScale(QColor color, bool isScale);
    void setTenCenter(bool isCenter);
    void setEditImageOK();
    void XlsSet_rbtnAUTOToggle(bool a0);
    void XlsSet_rbtnExportToggle(bool a0);
    void XlsSet_btnPathClick(QString a0);
    void XlsEditDialogClose();
    void XlsSet_comboCurrentIndexChanged(QObject* a0, int a1);
    void argsNew(QString a0);
    void argsDel(QString a0);
    void argsLoad(QString a0);
    void WordEditDialogClose();
    void restartCamera();
    void updateMeasureData(int start, int end, QList<QString> names, QList<QString> values);
    void selectItemFromIndex(int index);
    void setMeasureItemData(int row, int column, double value, bool set);
    void renewScrollBar();
    void setCrossLineData(int index, bool isHLine, float centerPos, float angle, QColor color, bool show, bool bScale);
    void paintAF();
    void btnScaleOK();
    void checkBoxGunToggle(bool a0);
    void selectSnapHistoryLast();
    void setThreadAVPacketFinish();
    void WFRenewData(bool a0);
    void sendSerialPortName(QString a0);
    void recvSerialPortName(QString a0);
    void createRulerInfo(QString a0);
    void setOverlayImage(QString imagePath, int opacity);
    void setOverlayOpacity(int opacity);
    void clearOverlayImage();
    void setAllCrossLineWidth(int iTemp);
    void SDLCLoseFinish();
    void setScaleLength(int iTemp);

signals:
    void quitFullScreenSIGNAL(); // 0
    void wheelEventAddSIGNAL(QPoint); // 1
    void wheelEventSubSIGNAL(QPoint); // 2
    void snapCtrlQSIGNAL(); // 3
    void initImageScaleIndexSIGNAL(int); // 4
    void initImgEffectSIGNAL(); // 5
    void syncRGBGainSINGAL(); // 6
    void syncExposureSINGAL(); // 7
    void useMeasureToolSIGNAL(int); // 8
    void setAutoEdgeStateSIGNAL(bool); // 9
    void setMeasurePenSizeSIGNAL(int); // 10
    void sig_setMeasureScaleLength(int); // 11
    void setMeasureFontSizeSIGNAL(int); // 12
    void setMeasureChiSizeSIGNAL(int); // 13
    void setMeasureAutoEdgeSIGNAL(int); // 14
    void setMeasureItemColorSIGNAL(int); // 15
    void setMeasureChiColorSIGNAL(int); // 16
    void setMeasureModeSIGNAL(int); // 17
    void setMeasureMouseSizeSIGNAL(int); // 18
    void setMeasureFontColorSIGNAL(int); // 19
    void sendScaleInfoSIGNAL(QList<QString>, QString); // 20
    void setCurScaleNameSIGNAL(QString); // 21
    void setCurScaleIndexSIGNAL(int); // 22
    void scaleUnitChangedSIGNAL(QString); // 23
    void scaleBitsChangedSIGNAL(int); // 24
    void delScaleNameSIGNAL(QString); // 25
    void setScaleUnitSIGNAL(QString unit, int count); // 26
    void startAddScaleSIGNAL(); // 27
    void startAddCircleScaleSIGNAL(); // 28
    void startParallelScaleSIGNAL(); // 29
    void bewriteTextUpdateSIGNAL(bool show, QPoint point, QString text); // 30
    void snapImageModeSIGNAL(QString, QString, int); // 31
    void saveItemSIGNAL(QImage*, int, QString); // 32
    void exportImageSIGNAL(); // 33
    void pinJieImageSIGNAL(QImage); // 34
    void pinJieYinYingImageSIGNAL(QImage); // 35
    void jingShenImageSIGNAL(QImage); // 36
    void snapJingShenBeginSIGNAL(); // 37
    void imageModeSaveSIGNAL(); // 38
    void addIconSIGNAL(QString); // 39
    void addIconCameraSIGNAL(); // 40
    void addIconAWBSIGNAL(); // 41
    void removeIconAWBSIGNAL(); // 42
    void removeIconCameraSIGNAL(); // 43
    void addIconProgressBarSIGNAL(int); // 44
    void modifyIconSIGNAL(QString); // 45
    void removeIconSIGNAL(); // 46
    void saveImageByFileDialogSIGNAL(QImage, QString, bool, bool); // 47
    void changeLanguageSIGNAL(int); // 48
    void getAllMeasureDataSIGNAL(QString path, QString image); // 49
    void getAllMeasureDataWordSIGNAL(QString& html, QString image); // 50
    void changeFenBianLv1080pSIGNAL(int); // 51
    void changeFenBianLv1080pFinishSIGNAL(int); // 52
    void changeFenBianLv1080pReturnSIGNAL(int); // 53
    void changeFenBianLv1080pReturnFinishSIGNAL(int); // 54
    void goInPinJieSIGNAL(); // 55
    void goOutPinJieSIGNAL(); // 56
    void goInJingShenSIGNAL(); // 57
    void goOutJingShenSIGNAL(); // 58
    void goInJingShenHighSIGNAL(); // 59
    void goOutJingShenHighSIGNAL(); // 60
    void OzaFreashWholeSysSIGNAL(); // 61
    void setIsCanMoveItemSIGNAL(bool); // 62
    void GunReturnSIGNAL(QString); // 63
    void GunReturnVideoSIGNAL(QString); // 64
    void ForceSliderSIGNAL(); // 65
    void changeResolutionSIGNAL(); // 66
    void setVideoStateSIGNAL(bool); // 67
    void stopVideoSIGNAL(); // 68
    void setPlottingScalVisibleSIGNAL(bool); // 69
    void setLineNumSIGNAL(int, bool); // 70
    void removeAllLineSIGNAL(); // 71
    void setLineVisibleSIGNAL(bool); // 72
    void setLineColorSIGNAL(int); // 73
    void setCrossLineInfoSIGNAL(int nIndex, bool bIsHer, float fPos, float fAngle, QColor col, bool bShow, bool bScale); // 74
    void delCrossLineSIGNAL(int index, bool isHer); // 75
    void setCrossLineDatumSIGNAL(int index, double distance, bool isHer); // 76
    void getCrossLineNumSIGNAL(); // 77
    void sendCrossLineInfoSIGNAL(int hor, int ver, QColor color); // 78
    void setTenVisibleSIGNAL(bool isVisible); // 79
    void setTenColorScaleSIGNAL(QColor color, bool isScale); // 80
    void setTenCenterSIGNAL(bool isCenter); // 81
    void setIsCameraModeSIGNAL(bool); // 82
    void setEditImageSIGNAL(QString); // 83
    void setEditImageOKSIGNAL(); // 84
    void XlsSet_rbtnAUTOToggleSIGNAL(bool); // 85
    void XlsSet_rbtnExportToggleSIGNAL(bool); // 86
    void XlsSet_btnPathClickSIGNAL(QString); // 87
    void XlsSet_checkBoxToggledSIGNAL(bool); // 88
    void XlsEditDialogCloseSIGNAL(); // 89
    void XlsSet_comboCurrentIndexChangedSIGNAL(QObject*, int); // 90
    void argsNewSIGNAL(QString); // 91
    void argsDelSIGNAL(QString); // 92
    void argsLoadSIGNAL(QString); // 93
    void clickBtnMinSIGNAL(); // 94
    void WordEditDialogCloseSIGNAL(); // 95
    void setAEStateSIGNAL(); // 96
    void setCameraTimingSIGNAL(); // 97
    void restartCameraSIGNAL(); // 98
    void updateMeasureDataSignal(int start, int end, QList<QString> names, QList<QString> values); // 99
    void selectItemFromIndexSignal(int index); // 100
    void setMeasureItemDataSignal(int row, int column, double value, bool set); // 101
    void renewScrollBarSignal(); // 102
    void addImageHistorySIGNAL(int, QString); // 103
    void removeImageHistorySIGNAL(int); // 104
    void removeAllImageHistorySIGNAL(); // 105
    void setCrossLineDataSIGNAL(int index, bool isHLine, float centerPos, float angle, QColor color, bool show, bool bScale); // 106
    void paintAFSIGNAL(); // 107
    void btnScaleOKSIGNAL(); // 108
    void checkBoxGunToggleSIGNAL(bool); // 109
    void setMagnifierFormVisibleSIGNAL(bool); // 110
    void selectSnapHistoryLastSIGNAL(); // 111
    void setThreadAVPacketFinishSIGNAL(); // 112
    void setCurCameraNULLSIGNAL(); // 113
    void WFRenewDataSIGNAL(bool); // 114
    void sendSerialPortNameSIGNAL(QString); // 115
    void recvSerialPortNameSIGNAL(QString); // 116
    void moveWidgetSIGNAL(QWidget*); // 117
    void changeScaleSIGNAL(QString); // 118
    void createRulerInfoSIGNAL(QString); // 119
    void setOverlayImageSIGNAL(QString imagePath, int opacity); // 120
    void setOverlayOpacitySIGNAL(int opacity); // 121
    void clearOverlayImageSIGNAL(); // 122
    void sig_SetAllCrossLineWidth(int iTemp); // 123
    void SDLCLoseFinishSIGNAL(); // 124
    void sig_setScaleLength(int iTemp); // 125

public slots:
    void GunReturn();
    void GunRestart();

private:
    MessagePassing();
    QString checkPath(QSettings* settings, const char* key, const char* fallback);

    BaseCamera* curCamera = nullptr;
    int languageIndex = 0;
    QImage saveImage; // last picture loaded by snapImage (kept for callers that read it)
    int gunMode = 0;
    QString gunBuffer;
    QList<std::function<void()>> gunActions;
    bool gunCapture = true;
    bool videoState = false;
    bool aeState = false;
    bool cameraTiming = false;
    bool isCameraMode = true;
    QString editImagePath;
    // Writes the recent list whole as ./ImageHistory.ini (through FileCommit);
    // the "Error" box when it cannot, the file then as it was.
    void storeImageHistory();

    // The recent list as ./ImageHistory.ini holds it: index -> picture, and
    // the next index ("TotalCnt"). Kept here, so that the list the user sees
    // is never what a write cut short left.
    QMap<int, QString> historyPaths;
    bool historyOpen = false;
    bool historyStored = true;
    int totalCnt = 0;
    QList<QString> historyList;
    QList<QChar> gunChars;
};
