#pragma once

#include "measure/engine/MeasureView.h"
#include "measure/engine/OzaMeasureSys.h"
#include "measure/engine/ReportContent.h"

#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

class BaseCamera;

// The transparent overlay over the video (or the still image), as large as
// the displayed picture. Owns one OzaMeasureSys; turns mouse input into
// measurements, edits, pans and focus windows; paints the measurements; and
// answers the hub's measurement signals. GUI thread only.
//
// View geometry: the overlay's view pixels are those of the displayed
// picture (the video window's destination rectangle). Whoever places the
// video (the central widget) moves and resizes this widget with it and
// calls setDisplaySize (view size) and setImageSize (frame size), or
// syncToVideoRect for all four steps. While panning, the overlay moves
// itself and tells the video through the video-move hook.
class ItemLayer : public QWidget, public MeasureView {
    Q_OBJECT
public:
    explicit ItemLayer(QWidget* parent = nullptr);
    ~ItemLayer() override;

    // Once after construction: camera number, scales, cross lines and the
    // measurement settings (INI/MeasureSet.ini, created with its defaults).
    void init();
    void setCameraNumber(int camera) { m_cameraNumber = camera; }
    void setDisplaySize(const QSize& size);
    void setImageSize(const QSize& size);
    // Moves and resizes the overlay onto the video's destination rectangle
    // and sets display size = dest.size() and image size = frameSize.
    void syncToVideoRect(const QRect& dest, const QSize& frameSize);
    QSize displaySize() const { return m_displaySize; }
    QSize imageSize() const { return m_imageSize; }
    OzaMeasureSys* measureSystem() const { return m_sys; }
    // A widget whose cursor is reset together with this one's.
    void setCompanionWidget(QWidget* widget) { m_companion = widget; }
    // Unit of the current scale (the unit column of reports).
    QString unitText() const { return m_unitText; }
    // Every data row with the unit column, as the reports show them.
    MeasureTable measureTable();
    // Shape kind of a palette tool; -1 for a tool that changes no kind
    // (tool 18, "delete all", is handled on its own).
    static int KindOfTool(int tool);
    bool isCameraMode() const { return m_cameraMode; }
    bool canMoveItems() const { return m_canMoveItems; }
    bool isAutoEdge() const { return m_autoEdge; }
    BaseCamera* focusCamera() const;

    // ---- hooks (defaults: message boxes and dialogs) ----
    // Confirmation box: true when the user chose the first button ("Del").
    using ConfirmHook =
        std::function<bool(const QString& title, const QString& text, const QString& yes, const QString& no)>;
    void setConfirmHook(ConfirmHook hook) { m_confirm = std::move(hook); }
    struct ScaleEntry {
        bool accepted = false;
        QString name;
        QString unit; // "cm", "inch", "mil", "mm" or "um"
        int precision = 2;
        double length = 1.0;
    };
    // The new-scale dialog after a completed calibration.
    void setScaleDialogHook(std::function<ScaleEntry()> hook) { m_scaleDialog = std::move(hook); }
    // An "Error" message box with the text (in the current language).
    void setErrorHook(std::function<void(const QString&)> hook) { m_errorHook = std::move(hook); }
    // The text of a text mark; empty = cancelled.
    void setTextDialogHook(std::function<QString()> hook) { m_textDialog = std::move(hook); }
    // Moves the video with a pan (the video window's move, when it is shown).
    void setVideoMoveHook(std::function<void(const QPoint&)> hook) { m_videoMove = std::move(hook); }

    // The text-input callback the text mark asks.
    QString AskText();
    // All rows to the data table (start and end -1).
    void RefreshTable();

    // MeasureView
    void updateViewRect(const QRect& rect) override { update(rect); }
    void updateView() override { update(); }
    // Every change of what the layer draws comes through these: the drawing
    // is kept between paints (the live picture below repaints the layer every
    // frame) and made again only after one of them, or a new size.
    void update();
    void update(const QRect& rect);

public slots:
    void SetMeasurePenSize_slot(int size);
    void SetMeasureFontSize_slot(int size);
    void setMeasureChiSizeSLOT(int size);
    void SetMeasureItemColor_slot(int index);
    void setMeasureChiColorSlot(int index);
    void setMeasureModeSLOT(int mode);
    void SetMeasureFontColor_slot(int index);
    void SetMeasureAutoEdge_slot(int n);
    void SetCurScaleName(QString name);
    void SetScaleUnit(QString unit);
    void SetScaleBits(int bits);
    void DelScaleName(QString name);
    void StartAddScale();
    void StartAddCircleScale();
    void startParallelScaleSLOT();
    void useMeasureToolSLOT(int tool);
    void changeResolutionSLOT();
    void setAutoEdgeStateSLOT(bool on);
    void saveItemSLOT(QImage* image, int mode, QString path);
    // The XLSX report at path from the current template under ./Template;
    // image: the picture saved just before, without ".jpg" (empty: none).
    void getAllMeasureDataSLOT(QString path, QString image);
    // Appends the HTML report (current template under WordTemplate/) to html.
    void getAllMeasureDataWordSLOT(QString& html, QString image);
    void OzaFreashWholeSysSLOT();
    void setIsCanMoveItemSLOT(bool on);
    void setPlottingScalVisibleSLOT(bool on);
    void setLineNumSLOT(int count, bool horizontal);
    void removeAllLineSLOT();
    void setLineVisibleSLOT(bool on);
    void setLineColorSLOT(int index);
    void setCrossLineInfoSLOT(int index, bool horizontal, float position, float angle, QColor colour,
                              bool visible, bool scale);
    void delCrossLineSLOT(int index, bool horizontal);
    void setCrosslineDatumSLOT(int index, double distance, bool horizontal);
    void getCrossLineNumSLOT();
    void setTenVisibleSLOT(bool on);
    void setTenColorScaleSLOT(QColor colour, bool scale);
    void setTenCenterSLOT(bool on);
    void selectItemFromIndexSlot(int row);
    void setMeasureItemDataSlot(int row, int column, double value, bool apply);
    void setMeasureMouseSizeSLOT(int size);
    void paintAFSLOT();
    void createRulerInfoSLOT(QString name);
    void setIsCameraModeSLOT(bool on);
    void slot_SetAllCrossLineWidth(int width);
    void slot_setScaleLengt(int value);
    void GetScaleInfo();
    void saveECLP2PData();
    void readECLP2PData();
    // The current camera went away: forget the focus camera.
    void curCameraGoneSLOT();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Draws the shapes, the plotting and the focus window into m_ink.
    void renderInk();
    // What siblings below the layer cover with pixels of their own (the live
    // picture), in the layer's coordinates.
    QRegion opaqueBelow() const;
    void connectHub();
    void dropTool();
    void arrowCursor(bool companionToo = false);
    void measuringCursor();
    void snapToEdge(QPoint& pos) const;
    void emitCrossLineData(const CrossLineInfo* line);
    void setFocusWindowFromRelease(const QPoint& release);
    void clearAllShapes();
    // The Error box's text for a refused calibration figure (a
    // CScaleContainer::FigureFault), in the hub's language.
    static QString calibrationFaultText(int fault);
    bool confirm(const QString& title, const QString& text);
    // Parent of the overlay's message boxes: outside the view area's styles.
    QWidget* dialogParent();
    void showError(const QString& text);
    bool lineSaveOff() const;
    // The unit (and decimals) of the current scale become the unit text.
    bool unitOfCurrentScale(int* bits = nullptr);
    // Whether the picture of a report fills the table's width (16:9).
    static bool isWidePicture(const QString& picture);
    static QString measureSetFile();

    int m_cameraNumber = 0;
    OzaMeasureSys* m_sys = nullptr;
    QPoint m_pressPos;
    QPoint m_lastPos;
    MeasureHit m_curHit;
    MeasureHit m_pressHit;
    float m_lineStart = 0.0f;
    QPointF m_reticleStart;
    bool m_tenCentred = false;
    bool m_pressed = false;
    bool m_editStarted = false;
    bool m_deleting = false;
    int m_counter = 0;
    QString m_unitText;
    bool m_canMoveItems = true;
    QColor m_background = QColor(200, 200, 200, 1);
    // The layer's drawing (premultiplied, transparent where nothing is drawn)
    // and the tiles of it that hold anything.
    QImage m_ink;
    QRegion m_inkArea;
    bool m_inkStale = true;
    QSize m_displaySize;
    QSize m_imageSize;
    bool m_scaleBarDrag = false;
    QCursor m_cursor;
    bool m_autoEdge = false;
    bool m_panning = false;
    QPoint m_panCursorStart;
    QPoint m_panWidgetStart;
    QWidget* m_companion = nullptr;
    bool m_lassoPressed = false;
    QPointer<BaseCamera> m_focusCamera;
    QPointF m_pressPoint;
    bool m_cameraMode = true;
    // The stored lines are written only once they have been read back: an
    // early save (a click, a resolution change) would wipe them first.
    bool m_linesRestored = false;

    ConfirmHook m_confirm;
    std::function<ScaleEntry()> m_scaleDialog;
    std::function<QString()> m_textDialog;
    std::function<void(const QString&)> m_errorHook;
    std::function<void(const QPoint&)> m_videoMove;
};
