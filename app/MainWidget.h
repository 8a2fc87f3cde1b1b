#pragma once

#include <QMap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class CustomSplitter;
class MyWidget;
class QLabel;
class QScrollArea;
class QScrollBar;
class QSettings;
class QSlider;
class QToolButton;
class QGraphicsView;

// The window that carries the whole visible interface: title bar, the left
// column of settings panels behind seven tab buttons, the camera bar, the view
// area (video, overlay layers) with its scroll bars, the data table and the
// status line. Created hidden by MainWindow, which shows it before the camera
// scan builds its centre (initCenter).
class MainWidget : public QWidget {
    Q_OBJECT
public:
    explicit MainWidget(QWidget* parent = nullptr);
    ~MainWidget() override;

    // Builds the view centre (status icons, still image, overlay, measurement
    // layer) and the device panel from the camera scan's result.
    void initCenter(QList<int> codes, QList<int> indexes);
    // Re-applies the window mode once after a restore from minimised.
    void restoreFunc();

    QWidget* viewArea() const;
    QWidget* scrollContentWidget() const { return scrollContent; }
    QWidget* view(int key) const { return views.value(key); }
    int panelMargin() const;
    int historyMargin() const;

public slots:
    void oneSecondDelay();
    void saveDataSLOT();
    void btnMinClick();
    void btnFullScreenClick();
    void quitFullScreenSLOT();
    void btnCloseClick();
    // True once the splitters' stored layout has been read (shortly after construction).
    bool splittersRestored() const { return splitterSettings != nullptr; }
    // Rejects every open dialog and closes an open popup, so that their
    // nested event loops return (part of the close road).
    static void dismissOpenDialogs();
    void setEditImageOKSLOT();
    void setEditImageOKDelay();
    void setIsCameraModeSLOT(bool cameraMode);
    void btnInfoClick();
    void btnBigSmallClick();
    void oneSecondUpdate();
    void initImageScaleIndexSLOT(int index);
    void sliderValueChanged(int value);
    void sliderValueChangedDelay();
    void btnSacleOKClick();
    void ForceSliderSLOT();
    void bewriteTextUpdateSLOT(bool show, QPoint point, QString text);
    void changeLanguageSLOT(int language);
    void sliderEditImgValueChanged(int value);
    void btnScaleAddEditImgAddClick();
    void btnScaleSubEditImgClick();
    void wheelEventAddSLOT(QPoint pos);
    void wheelEventSubSLOT(QPoint pos);
    void goOutPinJieSLOT();
    void goOutJingShenSLOT();
    void goOutJingShenHighSLOT();
    void changeFenBianLv1080pReturnFinishSLOT(int value);
    void saveImageByFileDialogSLOT(QImage image, QString path, bool saveDirectly, bool addToHistory);
    void btnWidgetBtnClick();
    void btnWidgetBtnColorChange(QToolButton* chosen);
    void btnWidgetBtnClickDelay();
    void btnPinJieClick();
    void btnRongHeHighClick();
    void btnPinJieRongHeColorChange(QToolButton* chosen);
    void newCameraParaFormSLOT();
    void setCurCameraNULLSLOT();
    void posAndSizeChangedSLOT(int x, int y, int width, int height);
    void moveGraphicsViewSLOT(QGraphicsView* view);
    void moveLabImgHighSLOT(QGraphicsView* view);
    void moveLabImgSLOT(QGraphicsView* view);
    void scrollBarHValueChanged(int value);
    void scrollBarVValueChanged(int value);
    void renewScrollBarSLOT();
    void btnScaleOKSLOT();
    void slo_btnNoBorder();
    void slo_noBorderEnable(bool enable);
    void btnFullScreenDelay();
    void btnBigSmallFunc(bool small);
    void sliderValueChangedForce(int value);
    void sliderValueChangedDelay2();
    void sliderValueChangedDelayEdit();
    void btnScaleAddClick();
    void btnScaleSubClick();
    void btnSacleOKEditImgClick();
    void posAndSizeChangedDelay();
    void moveGraphicsViewDelay();
    void moveLabImgHighDelay();
    void goOutDelaySLOT();

public:
    // Resize zone (0 none, 1 left, 2 right, 3 top, 4 bottom, 5 top-left,
    // 6 top-right, 7 bottom-left, 8 bottom-right) of a point in this widget.
    int getResizeZone(const QPoint& p) const;
    // No-border edge resize to the global point g, keeping 16:9.
    void resizeWindow(const QPoint& g);
    void followGeometry();
    // The rectangle an edge drag from `pressed` by (dx, dy) in `zone` gives,
    // before the minimum size is applied; pure, for the resize above.
    static QRect resizedRect(const QRect& pressed, int zone, int dx, int dy);
    bool isFullScreenMode() const { return fullScreen; }
    bool isNoBorderMode() const { return noBorder; }
    static QString percentText(float factor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void buildForm();
    // Lays every view over the picture at p with size s; the measurement layer
    // also learns the display size and, with a camera, the frame size.
    void placeViews(const QPoint& p, const QSize& s);
    void updateScrollRanges(const QSize& picture);
    void placeMosaicView();
    void wheelZoom(const QPoint& p, int step);
    void enterMosaic(QGraphicsView* view, QWidget* formView, QToolButton* alsoDisabled);
    void leaveMosaic();
    void stopMiniPreviews(QWidget* formView);
    void refitLiveZoom();
    QWidget* mainWindowRoot() const;
    QWidget* videoHost() const;
    void scaleForm();
    void setupTabButtons();
    void switchTo(QToolButton* sender);
    void fitScrollContent(int total);
    // Fits the shown panels to the column's width now and again after the next layout pass.
    void fitShownPanels();
    void hideAllPanels();
    void chooseCompositeTab(QToolButton* tab);
    void showCompositePanel(QWidget* panel);
    QToolButton* makeTitleButton(const char* name, int x);
    template <class T> T* panel(bool create);
    // A new hidden panel when none of its class exists yet, else null.
    template <class T> T* newPanelIfMissing();

    // Form widgets (object names as the style sheets and texts use them).
    QWidget* widget_root = nullptr;
    QWidget* widget_top = nullptr;
    QWidget* widget_2 = nullptr;
    QWidget* widget_3 = nullptr;
    QLabel* labLogo = nullptr;
    QLabel* label = nullptr;
    QToolButton* btnInfo = nullptr;
    QToolButton* btnMin = nullptr;
    QToolButton* btnBig = nullptr;
    QToolButton* btnSmall = nullptr;
    QToolButton* btnNoBorder = nullptr;
    QToolButton* btnFullScreen = nullptr;
    QToolButton* btnClose = nullptr;
    QWidget* widget_content = nullptr;
    CustomSplitter* splitterLeft = nullptr;
    CustomSplitter* splitterCenter = nullptr;
    QWidget* widgetBtn = nullptr;
    QList<QToolButton*> tabButtons;
    QWidget* widgetTab = nullptr;
    QToolButton* btnPinJie = nullptr;
    QToolButton* btnRongHeHigh = nullptr;
    QScrollArea* scrollArea = nullptr;
    QWidget* scrollContent = nullptr;
    QWidget* widgetTop = nullptr;
    MyWidget* widget_center = nullptr;
    QWidget* widgetV = nullptr;
    QWidget* widgetH = nullptr;
    QScrollBar* scrollBarV = nullptr;
    QScrollBar* scrollBarH = nullptr;
    QWidget* widgetBottomGrid = nullptr;
    QWidget* widget_down = nullptr;
    QLabel* labRateName = nullptr;
    QLabel* labRate = nullptr;
    QLabel* labImagSizeName = nullptr;
    QLabel* labImagSize = nullptr;
    QWidget* widgetImgBar = nullptr;
    QToolButton* btnScaleAddEditImg = nullptr;
    QSlider* sliderEditImg = nullptr;
    QToolButton* btnSacleOKEditImg = nullptr;
    QToolButton* btnScaleSubEditImg = nullptr;
    QWidget* widgetCamBar = nullptr;
    QToolButton* btnSacleOK = nullptr;
    QToolButton* btnScaleSub = nullptr;
    QSlider* slider = nullptr;
    QToolButton* btnScaleAdd = nullptr;
    QLabel* labScaleName = nullptr;
    QLabel* labScaleEditImg = nullptr;
    QLabel* labScale = nullptr;
    QLabel* labGongSi = nullptr;
    QLabel* textPreview = nullptr;
    QWidget* m_video = nullptr; // paints the video window's picture

    QMap<QString, QStringList> texts;
    QMap<int, QWidget*> views;
    bool fullScreen = false;
    QToolButton* currentCompositeTab = nullptr;
    std::unique_ptr<QSettings> splitterSettings;
    bool minimised = false;
    std::function<void()> restoreAction;
    bool largeMode = true;
    bool noBorder = false;
    QSize largeSize;
    bool pressing = false;
    bool dragging = false;
    QPoint pressPos;
    QPoint posAtPress;
    QRect geometryAtPress;
    int edgeZone = 0;
    static constexpr int edgeMargin = 7;
};
