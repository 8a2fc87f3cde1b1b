#include "measure/engine/ItemLayer.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/SharedConstants.h"
#include "camera/BaseCamera.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/FocusWindowCamera.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/MeasureSetRanges.h"
#include "measure/engine/ShapeRegistry.h"
#include "measure/engine/XlsReportLayout.h"
#include "platform/AppPaths.h"
#include "platform/RegularFile.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QImageReader>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

int ItemLayer::KindOfTool(int tool) {
    switch (tool) {
    case 0:
        return KindP2P;
    case 1:
        return KindP2L;
    case 2:
        return KindL2L;
    case 3:
        return KindAngle;
    case 4:
        return KindArc;
    case 5:
        return KindParallel;
    case 6:
        return KindParallelH;
    case 7:
        return KindParallelV;
    case 8:
        return KindPolyLine;
    case 9:
        return KindRect;
    case 10:
        return KindPolygon;
    case 11:
        return KindCircle;
    case 12:
        return KindR2R;
    case 13:
        return KindC2C;
    case 14:
        return KindP2C;
    case 15:
        return KindL2C;
    case 16:
        return KindText;
    case 17:
        return KindMulP2L;
    case 22:
        return KindSign1;
    case 23:
        return KindSign2;
    case 24:
        return KindSign3;
    case 25:
        return KindLasso;
    case 28:
        return KindCircleM;
    default:
        return -1;
    }
}

namespace {

QString tr3(const char* zh, const char* en, const char* tw) {
    switch (MessagePassing::instance()->language()) {
    case 1:
        return QString::fromUtf8(en);
    case 2:
        return QString::fromUtf8(tw);
    default:
        return QString::fromUtf8(zh);
    }
}

// A size stored in the settings file, taken as the nearest one the
// settings panel offers (a hand-edited ChiSize=99 would paint the scale bar
// as a solid block); text or a missing key gives the default.
int storedSize(const QSettings& settings, const char* key, int fallback, MeasureSetRanges::Range range) {
    bool ok = false;
    const int value = settings.value(QString("MeasureSet/") + key, fallback).toInt(&ok);
    return std::clamp(ok ? value : fallback, range.low, range.high);
}

QColor colourAt(int index) {
    return index >= 0 && index < colorList.size() ? colorList[index] : QColor();
}

// The fallback new-scale dialog; the measurement panels offer their own
// through ItemLayer::setScaleDialogHook.
ItemLayer::ScaleEntry askScaleEntry() {
    QDialog dialog;
    dialog.setWindowTitle(tr3("新建标尺", "New Scale", "新建標尺"));
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(&dialog);
    auto* unit = new QComboBox(&dialog);
    unit->addItems({"cm", "inch", "mil", "mm", "um"});
    unit->setCurrentText("mm");
    auto* precision = new QComboBox(&dialog);
    precision->addItems({"0", "1", "2", "3", "4"});
    precision->setCurrentIndex(2);
    auto* length = new QDoubleSpinBox(&dialog);
    length->setDecimals(4);
    length->setRange(0.0001, 1e6);
    length->setValue(1.0);
    form->addRow(tr3("名称", "Name", "名稱"), name);
    form->addRow(tr3("单位", "Unit", "單位"), unit);
    form->addRow(tr3("精度", "Precision", "精度"), precision);
    form->addRow(tr3("长度", "Length", "長度"), length);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, SIGNAL(accepted()), &dialog, SLOT(accept()));
    QObject::connect(buttons, SIGNAL(rejected()), &dialog, SLOT(reject()));
    dialog.setWindowModality(Qt::ApplicationModal);
    ItemLayer::ScaleEntry entry;
    entry.accepted = dialog.exec() == QDialog::Accepted;
    entry.name = name->text();
    entry.unit = unit->currentText();
    entry.precision = precision->currentIndex();
    entry.length = length->value();
    return entry;
}

} // namespace

ItemLayer::ItemLayer(QWidget* parent) : QWidget(parent) {
    m_sys = new OzaMeasureSys(this);
    setStyleSheet("QWidget { font-family: FZLanTingHeiS-R-GB;}");
    connectHub();
    setMouseTracking(true);
    const QPixmap pixmap(":/res/mouse10.png");
    m_cursor = pixmap.isNull() ? QCursor(Qt::CrossCursor) : QCursor(pixmap, -1, -1);
    QTimer::singleShot(3000, this, SLOT(readECLP2PData()));
}

ItemLayer::~ItemLayer() {
    if (measureView == this)
        measureView = nullptr;
    delete m_sys;
    m_sys = nullptr;
}

void ItemLayer::connectHub() {
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(setMeasurePenSizeSIGNAL(int)), this, SLOT(SetMeasurePenSize_slot(int)));
    connect(hub, SIGNAL(setMeasureFontSizeSIGNAL(int)), this, SLOT(SetMeasureFontSize_slot(int)));
    connect(hub, SIGNAL(setMeasureChiSizeSIGNAL(int)), this, SLOT(setMeasureChiSizeSLOT(int)));
    connect(hub, SIGNAL(setMeasureItemColorSIGNAL(int)), this, SLOT(SetMeasureItemColor_slot(int)));
    connect(hub, SIGNAL(setMeasureChiColorSIGNAL(int)), this, SLOT(setMeasureChiColorSlot(int)));
    connect(hub, SIGNAL(setMeasureModeSIGNAL(int)), this, SLOT(setMeasureModeSLOT(int)));
    connect(hub, SIGNAL(setMeasureFontColorSIGNAL(int)), this, SLOT(SetMeasureFontColor_slot(int)));
    connect(hub, SIGNAL(setMeasureAutoEdgeSIGNAL(int)), this, SLOT(SetMeasureAutoEdge_slot(int)));
    connect(hub, SIGNAL(setCurScaleNameSIGNAL(QString)), this, SLOT(SetCurScaleName(QString)));
    connect(hub, SIGNAL(scaleUnitChangedSIGNAL(QString)), this, SLOT(SetScaleUnit(QString)));
    connect(hub, SIGNAL(scaleBitsChangedSIGNAL(int)), this, SLOT(SetScaleBits(int)));
    connect(hub, SIGNAL(delScaleNameSIGNAL(QString)), this, SLOT(DelScaleName(QString)));
    connect(hub, SIGNAL(startAddScaleSIGNAL()), this, SLOT(StartAddScale()));
    connect(hub, SIGNAL(startAddCircleScaleSIGNAL()), this, SLOT(StartAddCircleScale()));
    connect(hub, SIGNAL(startParallelScaleSIGNAL()), this, SLOT(startParallelScaleSLOT()));
    connect(hub, SIGNAL(useMeasureToolSIGNAL(int)), this, SLOT(useMeasureToolSLOT(int)));
    connect(hub, SIGNAL(changeResolutionSIGNAL()), this, SLOT(changeResolutionSLOT()));
    connect(hub, SIGNAL(setAutoEdgeStateSIGNAL(bool)), this, SLOT(setAutoEdgeStateSLOT(bool)));
    connect(hub, SIGNAL(saveItemSIGNAL(QImage*, int, QString)), this,
            SLOT(saveItemSLOT(QImage*, int, QString)));
    connect(hub, SIGNAL(getAllMeasureDataSIGNAL(QString, QString)), this,
            SLOT(getAllMeasureDataSLOT(QString, QString)));
    connect(hub, SIGNAL(getAllMeasureDataWordSIGNAL(QString&, QString)), this,
            SLOT(getAllMeasureDataWordSLOT(QString&, QString)));
    connect(hub, SIGNAL(OzaFreashWholeSysSIGNAL()), this, SLOT(OzaFreashWholeSysSLOT()));
    connect(hub, SIGNAL(setIsCanMoveItemSIGNAL(bool)), this, SLOT(setIsCanMoveItemSLOT(bool)));
    connect(hub, SIGNAL(setPlottingScalVisibleSIGNAL(bool)), this, SLOT(setPlottingScalVisibleSLOT(bool)));
    connect(hub, SIGNAL(setLineNumSIGNAL(int, bool)), this, SLOT(setLineNumSLOT(int, bool)));
    connect(hub, SIGNAL(removeAllLineSIGNAL()), this, SLOT(removeAllLineSLOT()));
    connect(hub, SIGNAL(setLineVisibleSIGNAL(bool)), this, SLOT(setLineVisibleSLOT(bool)));
    connect(hub, SIGNAL(setLineColorSIGNAL(int)), this, SLOT(setLineColorSLOT(int)));
    connect(hub, SIGNAL(setCrossLineInfoSIGNAL(int, bool, float, float, QColor, bool, bool)), this,
            SLOT(setCrossLineInfoSLOT(int, bool, float, float, QColor, bool, bool)));
    connect(hub, SIGNAL(delCrossLineSIGNAL(int, bool)), this, SLOT(delCrossLineSLOT(int, bool)));
    connect(hub, SIGNAL(setCrossLineDatumSIGNAL(int, double, bool)), this,
            SLOT(setCrosslineDatumSLOT(int, double, bool)));
    connect(hub, SIGNAL(getCrossLineNumSIGNAL()), this, SLOT(getCrossLineNumSLOT()));
    connect(hub, SIGNAL(setTenVisibleSIGNAL(bool)), this, SLOT(setTenVisibleSLOT(bool)));
    connect(hub, SIGNAL(setTenColorScaleSIGNAL(QColor, bool)), this,
            SLOT(setTenColorScaleSLOT(QColor, bool)));
    connect(hub, SIGNAL(setTenCenterSIGNAL(bool)), this, SLOT(setTenCenterSLOT(bool)));
    connect(hub, SIGNAL(selectItemFromIndexSignal(int)), this, SLOT(selectItemFromIndexSlot(int)));
    connect(hub, SIGNAL(setMeasureItemDataSignal(int, int, double, bool)), this,
            SLOT(setMeasureItemDataSlot(int, int, double, bool)));
    connect(hub, SIGNAL(setMeasureMouseSizeSIGNAL(int)), this, SLOT(setMeasureMouseSizeSLOT(int)));
    connect(hub, SIGNAL(paintAFSIGNAL()), this, SLOT(paintAFSLOT()));
    connect(hub, SIGNAL(createRulerInfoSIGNAL(QString)), this, SLOT(createRulerInfoSLOT(QString)));
    connect(hub, SIGNAL(setIsCameraModeSIGNAL(bool)), this, SLOT(setIsCameraModeSLOT(bool)));
    connect(hub, SIGNAL(sig_SetAllCrossLineWidth(int)), this, SLOT(slot_SetAllCrossLineWidth(int)));
    connect(hub, SIGNAL(sig_setMeasureScaleLength(int)), this, SLOT(slot_setScaleLengt(int)));
    // Not among the settings signals: a closed camera must not stay the focus camera.
    connect(hub, SIGNAL(setCurCameraNULLSIGNAL()), this, SLOT(curCameraGoneSLOT()));
}

QString ItemLayer::measureSetFile() {
    return AppPaths::appFile("INI/MeasureSet.ini");
}

// ------------------------------------------------------------ set-up, sizes

void ItemLayer::init() {
    m_sys->SetCameraIndex(m_cameraNumber);
    m_sys->setActive(true);
    m_sys->SetImageSize(100, 100);
    m_sys->SetViewSize(100, 100);
    CScaleContainer::setFilePath(AppPaths::appFile("INI/" + scaleFileName));
    m_sys->LoadSettings();

    const QString file = measureSetFile();
    if (!QFileInfo::exists(file)) {
        SaveErrorBox::editSettings(file, [](QSettings& settings) {
            settings.beginGroup("MeasureSet");
            settings.setValue("PenSize", 1);
            settings.setValue("FontSize", 22);
            settings.setValue("ItemColor", 0);
            settings.setValue("FontColor", 0);
            settings.endGroup();
        });
    }
    const QSettings settings(RegularFile::settingsName(file), QSettings::IniFormat);
    SetMeasurePenSize_slot(storedSize(settings, "PenSize", 1, MeasureSetRanges::PenSize));
    SetMeasureFontSize_slot(storedSize(settings, "FontSize", 22, MeasureSetRanges::FontSize));
    const QColor item = colourAt(settings.value("MeasureSet/ItemColor", 0).toInt());
    if (item.isValid())
        curItemColor = item;
    plottingPenColour = curItemColor;
    m_sys->SetShapeColour(item);
    const QColor font = colourAt(settings.value("MeasureSet/FontColor", 0).toInt());
    m_sys->SetLabelColour(font);
    m_sys->SetLabelColour2(font);
    plottingPenWidth = 3;

    m_sys->SetCurScale(m_sys->ReadLastScaleName());
    // The reports' unit column is right even before a panel asks for the scales.
    unitOfCurrentScale();
    m_sys->SetTextInputCallback([this] { return AskText(); });
    m_sys->SetViewWidget(this);
}

void ItemLayer::setDisplaySize(const QSize& size) {
    m_displaySize = size;
    m_sys->SetViewSize(size.width(), size.height());
    m_sys->plotting()->LayoutBar();
    update();
}

void ItemLayer::setImageSize(const QSize& size) {
    m_imageSize = size;
    m_sys->SetImageSize(size.width(), size.height());
    if (size.width() > 0)
        m_sys->plotting()->SetFontScale(float(m_displaySize.width()) / float(size.width()));
    update();
}

void ItemLayer::syncToVideoRect(const QRect& dest, const QSize& frameSize) {
    move(dest.topLeft());
    resize(dest.size());
    setDisplaySize(dest.size());
    setImageSize(frameSize);
}

BaseCamera* ItemLayer::focusCamera() const {
    return m_focusCamera.data();
}

// ------------------------------------------------------------------ helpers

void ItemLayer::arrowCursor(bool companionToo) {
    setCursor(Qt::ArrowCursor);
    if (companionToo && m_companion)
        m_companion->setCursor(Qt::ArrowCursor);
}

void ItemLayer::measuringCursor() {
    setCursor(m_cursor);
}

void ItemLayer::dropTool() {
    m_sys->shapeContainer()->SetCurType(0);
    m_sys->SetMode(OzaMeasureSys::ModeIdle);
    m_sys->SetMode(OzaMeasureSys::ModeShapes);
}

void ItemLayer::snapToEdge(QPoint& pos) const {
    BaseCamera* camera = MessagePassing::instance()->currentCamera();
    if (!camera)
        return;
    int x = pos.x();
    int y = pos.y();
    camera->snapToEdge(x, y);
    pos = QPoint(x, y);
}

void ItemLayer::emitCrossLineData(const CrossLineInfo* line) {
    if (!line)
        return;
    const int index = m_sys->crossLines()->IndexOf(line);
    MessagePassing::instance()->setCrossLineData(index, line->horizontal, line->position, line->angle,
                                                 line->colour, line->visible, line->scale);
}

// The overlay sits inside the view area, whose style sheets paint every
// descendant black; a box parented there would inherit that (black text on
// black). The top-level window keeps the boxes modal to the program and
// centred on it, in the normal dialog colours.
QWidget* ItemLayer::dialogParent() {
    return window();
}

void ItemLayer::showError(const QString& text) {
    if (m_errorHook) {
        m_errorHook(text);
        return;
    }
    QMessageBox::information(dialogParent(), "Error", text, QMessageBox::Ok, QMessageBox::Ok);
}

QString ItemLayer::calibrationFaultText(int fault) {
    switch (fault) {
    case CScaleContainer::FigureFlatCircle:
        return tr3("标定无效：三个点几乎在同一直线上，中间的点离另外两点的连线不足0.5像素。",
                   "Invalid calibration: the three points lie (almost) on one line; the middle point is less "
                   "than 0.5 px from the line through the other two.",
                   "標定無效：三個點幾乎在同一直線上，中間的點離另外兩點的連線不足0.5像素。");
    case CScaleContainer::FigureSameSpot:
        return tr3("标定无效：第三个点落在第一个点上（两点相距不足5像素）。请点击三个分开的点。",
                   "Invalid calibration: the third point is on the first one (less than 5 px apart). Click "
                   "three separate points.",
                   "標定無效：第三個點落在第一個點上（兩點相距不足5像素）。請點擊三個分開的點。");
    case CScaleContainer::FigureShortSide:
        return tr3("标定无效：有两个点相距太近，无法确定圆。请沿圆周分开选取三个点。",
                   "Invalid calibration: two of the points are too close together to define the circle. Spread "
                   "the three points around it.",
                   "標定無效：有兩個點相距太近，無法確定圓。請沿圓周分開選取三個點。");
    case CScaleContainer::FigurePointOnLine:
        return tr3("标定无效：测量点离直线不足0.5像素。",
                   "Invalid calibration: the point is less than 0.5 px from the line.",
                   "標定無效：測量點離直線不足0.5像素。");
    default:
        return tr3("标定无效：所选的距离不足1像素。",
                   "Invalid calibration: the distance is shorter than 1 px.",
                   "標定無效：所選的距離不足1像素。");
    }
}

bool ItemLayer::confirm(const QString& title, const QString& text) {
    const QString yes = tr3("删除", "Del", "刪除");
    const QString no = tr3("取消", "Cancel", "取消");
    if (m_confirm)
        return m_confirm(title, text, yes, no);
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::NoButton, dialogParent());
    box.setIconPixmap(QPixmap(":/res/null.png"));
    QPushButton* del = box.addButton(yes, QMessageBox::AcceptRole);
    box.addButton(no, QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == del;
}

QString ItemLayer::AskText() {
    if (m_textDialog)
        return m_textDialog();
    bool ok = false;
    const QString text = QInputDialog::getText(nullptr, tr3("文本", "Text", "文本"), QString(),
                                               QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

void ItemLayer::RefreshTable() {
    int first = 0, last = 0;
    QList<QString> names, values;
    m_sys->GetAllMeasureData(nullptr, first, last, names, values);
    MessagePassing::instance()->updateMeasureData(-1, -1, names, values);
}

void ItemLayer::clearAllShapes() {
    m_sys->ClearSelections();
    m_sys->shapeContainer()->ClearAll();
    // The data table and the reports made from it list no deleted shape.
    RefreshTable();
    update();
}

bool ItemLayer::lineSaveOff() const {
    QSettings settings(RegularFile::settingsName(measureSetFile()), QSettings::IniFormat);
    return settings.value("MeasureSet/LineSave", 1).toInt() == 1;
}

// A click sets a square window round it, a drag the rectangle it spans; both
// converted from display to image pixels.
void ItemLayer::setFocusWindowFromRelease(const QPoint& release) {
    auto* focus = dynamic_cast<FocusWindowCamera*>(m_focusCamera.data());
    if (!focus || !m_cameraMode || focus->focusMode() != 1 || !focus->isFocusWindowShown())
        return;
    if (m_displaySize.width() <= 0 || m_imageSize.width() <= 0)
        return;
    const double k = double(m_imageSize.width()) / double(m_displaySize.width());
    QRect window;
    if (std::abs(release.x() - m_pressPos.x()) < 5 && std::abs(release.y() - m_pressPos.y()) < 5) {
        const int side = focus->isSmallFocusWindow() ? 64 : 128;
        const QPoint c(int(release.x() * k), int(release.y() * k));
        window = QRect(c.x() - side / 2, c.y() - side / 2, side, side);
    } else {
        const QPoint a(int(m_pressPos.x() * k), int(m_pressPos.y() * k));
        const QPoint b(int(release.x() * k), int(release.y() * k));
        window = QRect(a, b).normalized();
    }
    focus->setFocusWindow(window);
    QTimer::singleShot(67, this, SLOT(paintAFSLOT()));
}

// ------------------------------------------------------------------- mouse

void ItemLayer::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->pos();
    if (m_sys->mode() == OzaMeasureSys::ModeFreehand) {
        if (event->button() == Qt::LeftButton)
            m_sys->PlottingPress(pos);
        else
            m_pressed = false;
        return;
    }
    m_pressed = true;
    m_panning = false;
    m_scaleBarDrag = false;
    const int mode = m_sys->mode();
    QPoint at = pos;
    if (event->button() == Qt::LeftButton && m_autoEdge && (mode == 1 || mode == 2) && m_sys->IsCreating())
        snapToEdge(at);
    m_pressPos = at;
    m_lastPos = at;

    CCLObjectContainer* shapes = m_sys->shapeContainer();
    m_lassoPressed = false;
    if (event->button() == Qt::LeftButton && mode == 1 && shapes->toolKind() == KindLasso) {
        m_lassoPressed = true;
        m_sys->OnMousePress(ViewToImage(pos));
    }
    if (event->button() == Qt::LeftButton && shapes->toolKind() == 0 && mode != 2 && !m_panning) {
        m_panning = true;
        m_panCursorStart = event->globalPos();
        m_panWidgetStart = this->pos();
        m_pressPoint = event->localPos();
        setCursor(Qt::ClosedHandCursor);
    }
    if (event->button() == Qt::RightButton && shapes->toolKind() == 0) {
        if (m_sys->plotting()->HitTestBar(pos)) {
            setCursor(Qt::OpenHandCursor);
            m_scaleBarDrag = true;
            m_sys->plotting()->BeginBarDrag();
        } else {
            m_curHit = m_sys->HitTest(pos);
            m_pressHit = m_curHit;
            m_sys->SelectHit(m_curHit);
            if (m_curHit.part == 1)
                setCursor(Qt::PointingHandCursor);
            else if (!m_curHit.isEmpty())
                setCursor(Qt::OpenHandCursor);
        }
    }
    if (m_curHit.line) {
        m_lineStart = m_curHit.line->position;
        emitCrossLineData(m_curHit.line);
    }
    if (m_curHit.reticle)
        m_reticleStart = m_curHit.reticle->position;
}

void ItemLayer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->pos();
    const int mode = m_sys->mode();
    if (m_panning) {
        BaseCamera* camera = MessagePassing::instance()->currentCamera();
        QWidget* parent = parentWidget();
        if (parent && !(camera && camera->isFitToWindow())) {
            const QPoint delta = event->globalPos() - m_panCursorStart;
            const QSize room = parent->size() - size();
            QPoint next = m_panWidgetStart;
            if (room.width() < 0)
                next.setX(std::clamp(m_panWidgetStart.x() + delta.x(), room.width(), 0));
            if (room.height() < 0)
                next.setY(std::clamp(m_panWidgetStart.y() + delta.y(), room.height(), 0));
            if (next != this->pos()) {
                move(next);
                if (!m_cameraMode) {
                    for (QObject* child : parent->children()) {
                        if (QWidget* w = qobject_cast<QWidget*>(child))
                            if (qstrcmp(w->metaObject()->className(), "FrameForm") == 0)
                                w->move(next);
                    }
                } else if (m_videoMove) {
                    m_videoMove(next);
                }
                MessagePassing::instance()->renewScrollBar();
            }
        }
    } else if (mode == OzaMeasureSys::ModeFreehand && m_pressed) {
        m_counter = (m_counter + 1) % 4;
        if (m_counter == 2)
            m_sys->PlottingMove(pos);
    } else if (m_pressed) {
        if (m_scaleBarDrag) {
            m_sys->plotting()->DragBar(pos - m_pressPos);
            update();
        } else if (m_curHit.line) {
            m_sys->DragCrossLine(m_curHit.line, m_lineStart, pos - m_pressPos);
            emitCrossLineData(m_curHit.line);
        } else if (m_curHit.reticle) {
            if (!m_tenCentred)
                m_sys->DragTenCross(m_curHit.reticle, m_reticleStart, pos - m_pressPos);
        } else if (m_curHit.shape && m_canMoveItems) {
            if (!m_editStarted) {
                m_sys->SelectHit(m_curHit);
                m_editStarted = true;
            }
            m_sys->MoveHitPart(m_curHit, ViewToImage(m_lastPos), ViewToImage(pos));
            m_lastPos = pos;
        }
    } else {
        m_sys->OnMouseMove(ViewToImage(pos));
    }
    if (mode == OzaMeasureSys::ModeShapes && m_sys->shapeContainer()->toolKind() == KindLasso &&
        m_lassoPressed)
        m_sys->OnMousePress(ViewToImage(pos));
}

void ItemLayer::mouseReleaseEvent(QMouseEvent* event) {
    CCLObjectContainer* shapes = m_sys->shapeContainer();
    const int shapesBefore = shapes->shapes().size();
    QPoint pos = event->pos();

    if (m_panning) {
        m_panning = false;
        arrowCursor();
        setFocusWindowFromRelease(pos);
    }
    if (m_sys->mode() == OzaMeasureSys::ModeFreehand) {
        if (event->button() == Qt::LeftButton) {
            m_sys->PlottingRelease(pos);
        } else {
            m_sys->CancelMode();
            m_sys->SetMode(OzaMeasureSys::ModeShapes);
            arrowCursor();
        }
        m_pressed = false;
        m_curHit = m_pressHit = MeasureHit();
        return;
    }
    if (m_scaleBarDrag) {
        m_sys->plotting()->DragBar(pos - m_pressPos);
        m_sys->plotting()->SaveBarPosition();
        m_scaleBarDrag = false;
        update();
    } else if (!m_pressed) {
        if (event->button() == Qt::RightButton)
            arrowCursor();
    } else if (event->button() == Qt::RightButton) {
        if (m_curHit.shape && !m_sys->IsCreating()) {
            m_sys->SelectHit(m_curHit);
            int first = 0, last = 0;
            QList<QString> names, values;
            m_sys->GetAllMeasureData(m_curHit.shape, first, last, names, values);
            MessagePassing::instance()->updateMeasureData(first, last, names, values);
            arrowCursor();
            m_sys->ClearSelections();
        } else if (m_sys->IsCreating()) {
            m_sys->FinishCreating();
            if (m_sys->mode() == OzaMeasureSys::ModeCalibration) {
                m_sys->SetMode(OzaMeasureSys::ModeIdle);
                m_sys->SetMode(OzaMeasureSys::ModeShapes);
            }
            arrowCursor();
        } else if (!m_curHit.shape && m_deleting) {
            m_deleting = false;
            m_sys->SelectHit(m_curHit);
        } else if (m_curHit.line) {
            m_sys->ClearSelections();
        } else if (m_curHit.reticle) {
            m_sys->SaveTenCross();
            m_sys->ClearSelections();
        } else if (shapes->toolKind() != 0) {
            dropTool();
            arrowCursor(true);
        }
    } else if (event->button() == Qt::LeftButton) {
        const int mode = m_sys->mode();
        const int tool = shapes->toolKind();
        if (mode == OzaMeasureSys::ModeShapes) {
            const bool done = m_sys->IsPointsEnough() && tool != KindPolygon && tool != KindPolyLine;
            if (!done && m_autoEdge) {
                QPoint snapped = pos;
                snapToEdge(snapped);
                m_pressPos = snapped;
            }
            if (tool == KindText) {
                m_sys->OnMousePress(ViewToImage(pos));
            } else if (tool == KindLasso && m_lassoPressed) {
                // The drag is over: moves with the button up only hover, and
                // the next lasso starts at the next press.
                m_lassoPressed = false;
                if (ShapeRegistry::closeLasso(shapes->creating()))
                    shapes->AddCurrent();
                else
                    shapes->FinishCreating();
            } else if (tool != 0) {
                m_sys->OnMousePress(ViewToImage(m_autoEdge ? m_pressPos : pos));
            } else {
                arrowCursor();
            }
        } else if (mode == OzaMeasureSys::ModeCalibration) {
            if (m_autoEdge)
                snapToEdge(pos);
            m_sys->OnMousePress(ViewToImage(pos));
        } else {
            arrowCursor();
        }
    }

    if (m_sys->mode() == OzaMeasureSys::ModeCalibration && m_sys->IsJustFinished()) {
        // A figure that cannot define a scale to the decimals shown: say
        // why and keep the scale in use.
        const int fault = m_sys->scaleContainer()->FigureFaultOf();
        const bool degenerate = fault != CScaleContainer::FigureSound;
        if (degenerate)
            showError(calibrationFaultText(fault));
        while (!degenerate) {
            const ScaleEntry entry = m_scaleDialog ? m_scaleDialog() : askScaleEntry();
            if (!entry.accepted)
                break;
            if (!entry.name.isEmpty() &&
                m_sys->AddScale(entry.name, entry.unit, entry.precision, entry.length, 100)) {
                GetScaleInfo();
                SetCurScaleName(entry.name);
                break;
            }
        }
        m_sys->SetMode(OzaMeasureSys::ModeIdle);
        m_sys->SetMode(OzaMeasureSys::ModeShapes);
        arrowCursor();
        m_sys->FinishCreating();
    }

    const Qt::CursorShape shape = cursor().shape();
    if (shape == Qt::OpenHandCursor || shape == Qt::PointingHandCursor)
        arrowCursor();
    m_pressed = false;
    m_editStarted = false;
    m_curHit = m_pressHit = MeasureHit();
    saveECLP2PData();
    if (shapes->shapes().size() != shapesBefore)
        RefreshTable();
}

void ItemLayer::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a press for a shape under
    // creation: the polygon and the polyline end on a double click.
    if (event->button() == Qt::LeftButton && m_sys->mode() == OzaMeasureSys::ModeShapes && m_sys->IsCreating()) {
        mousePressEvent(event);
        return;
    }
    m_pressPos = event->pos();
    const MeasureHit hit = m_sys->HitTest(m_pressPos);
    const int brush = m_sys->BrushAt(m_pressPos);
    if (brush >= 0 && event->button() == Qt::RightButton) {
        m_deleting = true;
        if (confirm(tr3("删除画笔", "Del Brush", "刪除畫筆"),
                    tr3("是否删除当前画笔信息？", "Del Current Brush Info？", "是否刪除當前畫筆資訊？")))
            m_sys->RemoveBrush(brush);
    }
    if (event->button() == Qt::LeftButton && m_sys->shapeContainer()->toolKind() == 0)
        MessagePassing::instance()->quitFullScreen();
    if (event->button() == Qt::RightButton && brush < 0) {
        if (hit.shape) {
            m_deleting = true;
            if (confirm(
                    tr3("删除图元", "Del Graphics", "刪除圖元"),
                    tr3("是否删除当前图元信息？", "Del Current Graphics Info？", "是否刪除當前圖元資訊？"))) {
                m_sys->RemoveObject(hit.shape);
                RefreshTable();
                saveECLP2PData();
            }
        } else if (hit.line) {
            m_sys->SelectHit(hit);
            emitCrossLineData(hit.line);
        }
    }
}

void ItemLayer::wheelEvent(QWheelEvent* event) {
    event->accept();
}

void ItemLayer::update() {
    m_inkStale = true;
    QWidget::update();
}

void ItemLayer::update(const QRect& rect) {
    m_inkStale = true;
    QWidget::update(rect);
}

void ItemLayer::changeEvent(QEvent* event) {
    // Font, palette and style reach what the painter draws with.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::StyleChange)
        m_inkStale = true;
    QWidget::changeEvent(event);
}

QRegion ItemLayer::opaqueBelow() const {
    QRegion covered;
    const QWidget* parent = parentWidget();
    if (!parent)
        return covered;
    for (const QObject* o : parent->children()) {
        if (o == this)
            break; // children are listed from the bottom up
        const auto* w = qobject_cast<const QWidget*>(o);
        if (w && w->isVisible() && w->testAttribute(Qt::WA_OpaquePaintEvent))
            covered += w->geometry().translated(-pos());
    }
    return covered;
}

void ItemLayer::renderInk() {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (m_ink.size() != pixels)
        m_ink = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    m_ink.setDevicePixelRatio(dpr);
    m_ink.fill(Qt::transparent);
    {
        QPainter painter(&m_ink);
        // What a painter on the widget starts with.
        painter.setPen(palette().color(foregroundRole()));
        painter.setBackground(palette().brush(backgroundRole()));
        painter.setFont(font());
        m_sys->Draw(painter);
        auto* focus = dynamic_cast<FocusWindowCamera*>(m_focusCamera.data());
        if (focus && m_cameraMode && focus->focusMode() == 1 && focus->isFocusWindowShown() &&
            m_imageSize.width() > 0 && m_displaySize.width() > 0) {
            const QRect w = focus->focusWindow();
            const int dw = m_displaySize.width();
            const int iw = m_imageSize.width();
            painter.setPen(QPen(QColor(126, 190, 31, 255), 3));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRect(w.x() * dw / iw, w.y() * dw / iw, w.width() * dw / iw, w.height() * dw / iw));
        }
    }
    // The tiles that hold anything, so that a paint blends only those; the
    // inked tiles of a row joined into runs.
    constexpr int kTile = 32;
    m_inkArea = QRegion();
    for (int ty = 0; ty < pixels.height(); ty += kTile) {
        const int rows = std::min(kTile, pixels.height() - ty);
        int runStart = -1;
        // One step past the last tile closes a run that reaches the edge.
        for (int tx = 0; tx < pixels.width() + kTile; tx += kTile) {
            bool ink = false;
            const int cols = std::max(0, std::min(kTile, pixels.width() - tx));
            for (int y = ty; y < ty + rows && !ink && cols > 0; ++y) {
                const auto* line = reinterpret_cast<const quint32*>(m_ink.constScanLine(y)) + tx;
                for (int x = 0; x < cols && !ink; ++x)
                    ink = line[x] != 0;
            }
            if (ink && runStart < 0)
                runStart = tx;
            if (!ink && runStart >= 0) {
                const int end = std::min(tx, pixels.width());
                m_inkArea += QRectF(runStart / dpr, ty / dpr, (end - runStart) / dpr, rows / dpr).toAlignedRect();
                runStart = -1;
            }
        }
    }
    m_inkStale = false;
}

void ItemLayer::paintEvent(QPaintEvent* event) {
    if (m_inkStale || m_ink.size() != (QSizeF(size()) * devicePixelRatioF()).toSize())
        renderInk();
    QPainter painter(this);
    // The faint background is laid only where nothing opaque lies below:
    // over the live picture it would tint every pixel, a blend of the whole
    // picture at every frame.
    for (const QRect& r : event->region().subtracted(opaqueBelow()))
        painter.fillRect(r, m_background);
    const qreal dpr = m_ink.devicePixelRatio();
    for (const QRect& r : event->region().intersected(m_inkArea))
        painter.drawImage(QRectF(r), m_ink, QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
}

// ------------------------------------------------------------------- slots

void ItemLayer::SetMeasurePenSize_slot(int size) {
    m_sys->SetPenWidth(size);
    update();
}

void ItemLayer::SetMeasureFontSize_slot(int size) {
    m_sys->SetShapeFontSize(size);
    m_sys->SetLabelFontSize(size);
    if (size >= 11 && size <= 128) {
        m_sys->plotting()->SetFontSize(size);
        m_sys->crossLines()->SetLabelFontSize(size);
    }
    update();
}

void ItemLayer::setMeasureChiSizeSLOT(int size) {
    m_sys->SetScaleBarWidth(size);
    update();
}

void ItemLayer::SetMeasureItemColor_slot(int index) {
    const QColor colour = colourAt(index);
    m_sys->SetShapeColour(colour);
    if (colour.isValid())
        curItemColor = colour;
    plottingPenColour = curItemColor;
}

void ItemLayer::setMeasureChiColorSlot(int index) {
    m_sys->SetScaleBarColour(colourAt(index));
}

void ItemLayer::setMeasureModeSLOT(int mode) {
    labelStyle = std::clamp(mode, 0, 4);
    update();
}

void ItemLayer::SetMeasureFontColor_slot(int index) {
    const QColor colour = colourAt(index);
    m_sys->SetLabelColour(colour);
    m_sys->SetLabelColour2(colour);
    update();
}

void ItemLayer::SetMeasureAutoEdge_slot(int n) {
    if (BaseCamera* camera = MessagePassing::instance()->currentCamera())
        camera->setEdgeSearchSize(2 * n + 1, 2 * n + 1);
}

void ItemLayer::SetCurScaleName(QString name) {
    m_sys->SetCurScale(name);
    update();
    int bits = 2;
    if (unitOfCurrentScale(&bits))
        MessagePassing::instance()->setScaleUnit(m_unitText, bits);
    RefreshTable();
}

bool ItemLayer::unitOfCurrentScale(int* bits) {
    QString unit;
    int kind = 0;
    int decimals = 2;
    double length = 0, pixels = 0;
    if (!m_sys->GetScaleInfo(m_sys->scaleContainer()->currentName(), kind, unit, decimals, length, pixels))
        return false;
    m_unitText = unit;
    if (bits)
        *bits = decimals;
    return true;
}

void ItemLayer::SetScaleUnit(QString unit) {
    m_sys->SetScaleUnit(unit);
    update();
    // "pix" too: the values are then pixels, and the report must say so.
    if (OzaMeasureSys::IsKnownUnit(unit))
        m_unitText = unit;
    RefreshTable();
}

void ItemLayer::SetScaleBits(int bits) {
    m_sys->SetNumBits(bits);
    update();
    RefreshTable();
}

void ItemLayer::DelScaleName(QString name) {
    m_sys->DeleteScale(name);
    GetScaleInfo();
    SetCurScaleName(m_sys->ReadLastScaleName());
}

void ItemLayer::StartAddScale() {
    m_sys->StartCalibration();
    m_sys->SetScaleKind(CScaleContainer::TwoPoints);
    measuringCursor();
}

void ItemLayer::StartAddCircleScale() {
    m_sys->StartCalibration();
    m_sys->SetScaleKind(CScaleContainer::Circle);
    measuringCursor();
}

void ItemLayer::startParallelScaleSLOT() {
    m_sys->StartCalibration();
    m_sys->SetScaleKind(CScaleContainer::PointToLine);
    measuringCursor();
}

void ItemLayer::useMeasureToolSLOT(int tool) {
    setFocus();
    CCLObjectContainer* shapes = m_sys->shapeContainer();
    if (tool == 18) {
        if (confirm(tr3("删除图元", "Del Graphics", "刪除圖元"),
                    tr3("是否删除所有图元信息？", "Del All Graphics Info？", "是否刪除所有圖元資訊？"))) {
            clearAllShapes();
            saveECLP2PData();
            dropTool();
            arrowCursor();
        }
    } else {
        if (m_sys->mode() != OzaMeasureSys::ModeShapes)
            m_sys->SetMode(OzaMeasureSys::ModeShapes);
        measuringCursor();
        const int kind = KindOfTool(tool);
        if (kind > 0)
            shapes->SetCurType(kind);
    }
    shapes->SetCurLanguage(MessagePassing::instance()->language());
}

void ItemLayer::changeResolutionSLOT() {
    clearAllShapes();
    saveECLP2PData();
    dropTool();
    arrowCursor();
}

void ItemLayer::setAutoEdgeStateSLOT(bool on) {
    m_autoEdge = on;
}

void ItemLayer::saveItemSLOT(QImage* image, int mode, QString path) {
    if (!image) {
        MessagePassing::instance()->saveItemFinish(mode, path, nullptr);
        return;
    }
    // Grey and palette pictures cannot take coloured measurements.
    switch (image->format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_Alpha8:
        *image = image->convertToFormat(QImage::Format_RGB32);
        break;
    default:
        break;
    }
    if (mode == 8) {
        *image = image->scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QPainter painter(image);
        m_sys->Draw(painter);
    } else {
        const QSize full = image->size();
        const QSize stored = m_imageSize.isEmpty() ? full : m_imageSize;
        m_sys->SetViewSize(full.width(), full.height());
        m_sys->SetImageSize(stored.width(), stored.height());
        m_sys->plotting()->LayoutBarFixed(full.width());
        {
            QPainter painter(image);
            m_sys->Draw(painter);
        }
        m_sys->SetViewSize(m_displaySize.width(), m_displaySize.height());
        m_sys->SetImageSize(m_imageSize.width(), m_imageSize.height());
        m_sys->plotting()->LayoutBar();
        update();
    }
    MessagePassing::instance()->saveItemFinish(mode, path, image);
}

MeasureTable ItemLayer::measureTable() {
    MeasureTable table;
    int first = 0, last = 0;
    m_sys->GetAllMeasureData(nullptr, first, last, table.names, table.values);
    table.unit = m_unitText;
    return table;
}

bool ItemLayer::isWidePicture(const QString& picture) {
    if (BaseCamera* camera = MessagePassing::instance()->currentCamera())
        return camera->isWideFrame();
    // No camera (a still image): the picture's own shape decides.
    QFile file;
    const QSize size = RegularFile::open(file, picture) ? QImageReader(&file).size() : QSize();
    return size.isValid() && size.height() > 0 && double(size.width()) / size.height() > 1.55;
}

void ItemLayer::getAllMeasureDataSLOT(QString path, QString image) {
    const XlsReportTemplate report = XlsReportTemplate::ReadCurrent();
    const bool withPicture = !image.isEmpty();
    const XlsReportLayout layout(report, MessagePassing::instance()->language(), measureTable(), withPicture,
                                 QDateTime::currentDateTime());
    const QString picture = withPicture ? image + ".jpg" : QString();
    // The export panel looks for the file afterwards.
    layout.Write(path, picture, withPicture && isWidePicture(picture));
}

void ItemLayer::getAllMeasureDataWordSLOT(QString& html, QString image) {
    html += ReportContent::BuildHtml(WordReportTemplate::ReadCurrent(), MessagePassing::instance()->language(),
                                     measureTable(), image.isEmpty() ? QString() : image + ".jpg");
}

void ItemLayer::OzaFreashWholeSysSLOT() {
    update();
}

void ItemLayer::setIsCanMoveItemSLOT(bool on) {
    m_canMoveItems = on;
}

void ItemLayer::setPlottingScalVisibleSLOT(bool on) {
    m_sys->SetScaleBarVisible(on);
}

void ItemLayer::setLineNumSLOT(int count, bool horizontal) {
    m_sys->SetCrossLineCount(count, horizontal);
}

void ItemLayer::removeAllLineSLOT() {
    m_sys->RemoveAllCrossLines();
}

void ItemLayer::setLineVisibleSLOT(bool on) {
    m_sys->SetCrossLinesVisible(on);
}

void ItemLayer::setLineColorSLOT(int index) {
    m_sys->SetCrossLineColour(colourAt(index));
}

void ItemLayer::setCrossLineInfoSLOT(int index, bool horizontal, float position, float angle, QColor colour,
                                     bool visible, bool scale) {
    m_sys->SetCrossLineInfo(index, horizontal, position, angle, colour, visible, scale);
}

void ItemLayer::delCrossLineSLOT(int index, bool horizontal) {
    if (index == -1)
        m_sys->RemoveAllCrossLines();
    else
        m_sys->DeleteCrossLine(index, horizontal);
    getCrossLineNumSLOT();
}

void ItemLayer::setCrosslineDatumSLOT(int index, double distance, bool horizontal) {
    m_sys->SelectCrossLine(index, horizontal);
    m_sys->SetCrossLineDatum(index, distance, horizontal);
}

void ItemLayer::getCrossLineNumSLOT() {
    MessagePassing::instance()->sendCrossLineInfo(m_sys->CrossLineCount(true), m_sys->CrossLineCount(false),
                                                  m_sys->CrossLineColour());
}

void ItemLayer::setTenVisibleSLOT(bool on) {
    if (on)
        m_sys->ShowTenCross();
    else
        m_sys->HideTenCross();
}

void ItemLayer::setTenColorScaleSLOT(QColor colour, bool scale) {
    m_sys->SetTenCrossColour(colour, scale);
}

void ItemLayer::setTenCenterSLOT(bool on) {
    m_tenCentred = on;
    if (on)
        m_sys->SetTenCrossCentre(m_imageSize.width() / 2.0f, m_imageSize.height() / 2.0f);
}

void ItemLayer::selectItemFromIndexSlot(int row) {
    if (CCLBaseObject* shape = m_sys->ObjectAtRow(row)) {
        MeasureHit hit;
        hit.shape = shape;
        m_sys->SelectHit(hit);
    }
}

void ItemLayer::setMeasureItemDataSlot(int row, int column, double value, bool apply) {
    // The row's owner, looked up before the edit: a refused value still
    // sends the shape's rows back, so the table drops the typed text.
    CCLBaseObject* shape = m_sys->ObjectAtRow(row);
    if (apply && shape) {
        const double rate = m_sys->GetRate();
        if (rate > 0.0 && std::isfinite(value))
            m_sys->SetObjValue(row, column - 1, value / rate);
    }
    if (shape) {
        int first = 0, last = 0;
        QList<QString> names, values;
        m_sys->GetAllMeasureData(shape, first, last, names, values);
        MessagePassing::instance()->updateMeasureData(first, last, names, values);
    }
    saveECLP2PData();
}

void ItemLayer::setMeasureMouseSizeSLOT(int size) {
    const char* file = size == 1   ? ":/res/mouse10_24.png"
                       : size == 2 ? ":/res/mouse10_11.png"
                                   : ":/res/mouse10.png";
    const QPixmap pixmap(file);
    m_cursor = pixmap.isNull() ? QCursor(Qt::CrossCursor) : QCursor(pixmap, -1, -1);
    // The settings panel sends the size once, a second after the page
    // opens: a tool chosen meanwhile stays chosen, under the new cursor.
    if (m_sys->shapeContainer()->toolKind() != 0 || m_sys->mode() == OzaMeasureSys::ModeCalibration)
        measuringCursor();
}

void ItemLayer::paintAFSLOT() {
    BaseCamera* camera = MessagePassing::instance()->currentCamera();
    auto* focus = dynamic_cast<FocusWindowCamera*>(camera);
    m_focusCamera =
        (camera && focus && camera->className() == QLatin1String("UVCCamera_Ambrel")) ? camera : nullptr;
    if (focus && m_focusCamera && focus->focusMode() == 1 && focus->isFocusWindowShown())
        focus->readFocusWindow();
    update();
}

void ItemLayer::curCameraGoneSLOT() {
    m_focusCamera = nullptr;
    update();
}

void ItemLayer::createRulerInfoSLOT(QString name) {
    if (name.isEmpty())
        return;
    if (m_sys->AddScale(name, "mm", 2, 1.0, 100)) {
        GetScaleInfo();
        SetCurScaleName(name);
    }
}

void ItemLayer::setIsCameraModeSLOT(bool on) {
    if (on == m_cameraMode)
        return;
    m_cameraMode = on;
    clearAllShapes();
    dropTool();
    arrowCursor();
}

void ItemLayer::slot_SetAllCrossLineWidth(int width) {
    m_sys->SetCrossLineWidth(width);
    update();
}

void ItemLayer::slot_setScaleLengt(int value) {
    m_sys->SetScaleBarLength(value);
    update();
}

void ItemLayer::GetScaleInfo() {
    const QString last = m_sys->ReadLastScaleName();
    MessagePassing::instance()->sendScaleInfo(m_sys->ScaleNames(), last);
    SetCurScaleName(last);
    QSettings settings(RegularFile::settingsName(measureSetFile()), QSettings::IniFormat);
    setMeasureChiSizeSLOT(storedSize(settings, "ChiSize", 1, MeasureSetRanges::ChiSize));
    setMeasureChiColorSlot(settings.value("MeasureSet/ChiColor", 0).toInt());
    setPlottingScalVisibleSLOT(settings.value("MeasureSet/scaleShow", true).toBool());
    m_sys->plotting()->LoadBarPosition();
    MessagePassing::instance()->setMeasureMode(settings.value("MeasureSet/Mode", 0).toInt());
}

void ItemLayer::saveECLP2PData() {
    if (!m_linesRestored || lineSaveOff())
        return;
    SaveErrorBox::editSettings(AppPaths::appFile("INI/ECLP2P.ini"), [this](QSettings& store) {
        store.clear();
        int n = 0;
        for (CCLBaseObject* shape : m_sys->shapeContainer()->shapes()) {
            // Two ends and the label anchor: the layout every reader expects.
            if (shape->kind != KindP2P || shape->points.size() != 3)
                continue;
            QStringList fields;
            fields << QString::number(colorList.indexOf(shape->color))
                   << QString::number(colorList.indexOf(shape->color2)) << QString::number(shape->penWidth);
            // The shortest text that reads back to the same double: a restored
            // line shows the same last digit (older files hold 6 digits and load too).
            for (const QPointF& p : shape->points)
                fields << QString::number(p.x(), 'g', QLocale::FloatingPointShortest)
                       << QString::number(p.y(), 'g', QLocale::FloatingPointShortest);
            fields << QString::number(shape->mode) << QString::number(shape->language)
                   << QString::number(shape->labelNumber);
            store.setValue(QString("ECLP2P_%1").arg(n++), fields);
        }
        store.setValue("total", n);
    });
}

void ItemLayer::readECLP2PData() {
    if (m_linesRestored)
        return; // once: a second pass would double every line
    m_linesRestored = true;
    if (lineSaveOff())
        return;
    QSettings store(RegularFile::settingsName(AppPaths::appFile("INI/ECLP2P.ini")), QSettings::IniFormat);
    // Never trust the count: stop at the first missing entry.
    const int total = std::min(store.value("total", 0).toInt(), 100000);
    for (int n = 0; n < total; ++n) {
        const QString key = QString("ECLP2P_%1").arg(n);
        if (!store.contains(key))
            break;
        const QStringList f = store.value(key).toStringList();
        if (f.size() < 12)
            continue;
        bool ok = true;
        double xy[6];
        for (int i = 0; i < 6 && ok; ++i) {
            xy[i] = f[3 + i].toDouble(&ok);
            ok = ok && std::isfinite(xy[i]);
        }
        if (!ok)
            continue;
        // The point-to-point class comes from the registry its library fills.
        std::unique_ptr<CCLBaseObject> line(ShapeRegistry::create(KindP2P));
        if (!line)
            break;
        const QColor c1 = colourAt(f[0].toInt());
        const QColor c2 = colourAt(f[1].toInt());
        if (c1.isValid())
            line->color = c1;
        if (c2.isValid())
            line->color2 = c2;
        line->penWidth = std::clamp(f[2].toInt(), 1, 20);
        for (int i = 0; i < 3; ++i)
            line->AddPoint(QPointF(xy[2 * i], xy[2 * i + 1]));
        line->mode = f[9].toInt();
        line->SetLanguage(f[10].toInt());
        line->labelNumber = f[11].toInt();
        m_sys->shapeContainer()->AddObject(line.get());
    }
    // The lines come back seconds after start: a tool or a calibration the
    // operator picked meanwhile stays as it is.
    RefreshTable();
}
