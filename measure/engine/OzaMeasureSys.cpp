#include "measure/engine/OzaMeasureSys.h"

#include "app/hub/SharedConstants.h"
#include "measure/engine/CCLObjectContainer.h"
#include "measure/engine/CCrossLineContainer.h"
#include "measure/engine/CPlottingContainer.h"
#include "measure/engine/CScaleContainer.h"
#include "measure/engine/MeasureGlobals.h"
#include "measure/engine/UpdateRegions.h"
#include "platform/RegularFile.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
bool fastModeOn() {
    QSettings settings(RegularFile::settingsName("./OtherSet.ini"), QSettings::IniFormat);
    return settings.value("FastMode", false).toBool();
}

bool inColourList(const QColor& colour) {
    return colour.isValid() && colorList.contains(colour);
}

// The shapes whose last three rows are their minimum, maximum and average,
// and the column that carries the tag.
int statisticsColumn(int kind) {
    switch (kind) {
    case KindConCircle:
        return ColRadius;
    case KindParallel:
    case KindParallelH:
    case KindParallelV:
    case KindMulP2L:
        return ColLength;
    default:
        return -1;
    }
}
} // namespace

OzaMeasureSys::OzaMeasureSys(QObject* parent) : QObject(parent) {
    m_plotting = new CPlottingContainer();
    m_crossLines = new CCrossLineContainer();
    m_scales = new CScaleContainer();
    m_shapes = new CCLObjectContainer();
    measureSystems.append(this);
    connect(m_scales, SIGNAL(setScalePara_signal(QString, double, int)), this,
            SLOT(setScalePara_slot(QString, double, int)));
    measureView = nullptr;
    if (fastModeOn()) {
        imageWidth = 3840.0f;
        imageHeight = 2160.0f;
    }
    measureSys = this;
    connect(m_shapes, SIGNAL(SingalAddNewObj(const CCLBaseObject*)), this,
            SLOT(ContainerAddObj(const CCLBaseObject*)));
}

OzaMeasureSys::~OzaMeasureSys() {
    delete m_shapes;
    delete m_scales;
    delete m_crossLines;
    delete m_plotting;
    measureSystems.removeAll(this);
    if (measureSys == this)
        measureSys = measureSystems.isEmpty() ? nullptr : measureSystems.last();
}

// ---------------------------------------------------------------- modes

void OzaMeasureSys::cancelShapeCreation() {
    m_shapes->CancelCreating();
}

void OzaMeasureSys::SetMode(int mode) {
    if (mode == m_mode)
        return;
    cancelShapeCreation();
    m_scales->CancelCalibration();
    m_mode = mode;
    if (mode == ModeShapes)
        m_shapes->CancelCreating();
    else if (mode == ModeCalibration)
        m_scales->CancelCalibration();
}

void OzaMeasureSys::CancelMode() {
    if (m_mode == ModeIdle)
        return;
    cancelShapeCreation();
    m_scales->CancelCalibration();
    m_mode = ModeIdle;
}

void OzaMeasureSys::StartCalibration() {
    if (m_mode != ModeCalibration) {
        cancelShapeCreation();
        m_scales->CancelCalibration();
        m_mode = ModeCalibration;
        m_scales->CancelCalibration();
    }
    m_scales->setState(CScaleContainer::Armed);
}

void OzaMeasureSys::SetScaleKind(int kind) {
    m_scales->setKind(kind);
}

void OzaMeasureSys::OnMousePress(const QPointF& image) {
    ClearSelections();
    if (m_mode == ModeShapes)
        m_shapes->OnMousePress(image);
    else if (m_mode == ModeCalibration)
        m_scales->AddCalibrationPoint(image);
}

void OzaMeasureSys::OnMouseMove(const QPointF& image) {
    if (m_mode == ModeShapes)
        m_shapes->OnMouseMove(image);
    else if (m_mode == ModeCalibration)
        m_scales->MoveCalibrationPoint(image);
}

void OzaMeasureSys::FinishCreating() {
    if (m_mode == ModeShapes)
        m_shapes->FinishCreating();
    else if (m_mode == ModeCalibration)
        m_scales->CancelCalibration();
}

void OzaMeasureSys::MoveHitPart(const MeasureHit& hit, const QPointF& from, const QPointF& to) {
    if (m_mode != ModeShapes || !hit.shape)
        return;
    switch (hit.part) {
    case 1:
        if (hit.shape->kind == KindLasso)
            m_shapes->MoveObjectBy(hit.shape, from, to);
        else
            m_shapes->MovePointTo(hit.shape, hit.index, to);
        break;
    case 2:
        m_shapes->MoveLabelBy(hit.shape, hit.index, from, to);
        break;
    case 3:
        m_shapes->MoveObjectBy(hit.shape, from, to);
        break;
    default:
        break;
    }
}

MeasureHit OzaMeasureSys::HitTest(const QPoint& view) {
    MeasureHit hit;
    if (showShapes) {
        const CCLObjectContainer::Hit h = m_shapes->HitTest(view);
        if (h.part) {
            hit.part = h.part;
            hit.index = h.index;
            hit.shape = h.shape;
            return hit;
        }
    }
    if (showCrossLines && m_crossLines->HitTestLines(ViewToImage(view))) {
        hit.line = m_crossLines->SelectedLine();
        hit.lineSet = m_crossLines;
        if (hit.line)
            return hit;
    }
    if (showTenCross && m_crossLines->HitTestReticle(ViewToImage(view))) {
        const int i = m_crossLines->selectedReticle();
        hit.reticle = i == 0 ? m_crossLines->FirstReticle() : nullptr;
    }
    return hit;
}

void OzaMeasureSys::SelectHit(const MeasureHit& hit) {
    if (hit.shape)
        m_shapes->SetSelected(hit.shape);
    else
        m_shapes->ClearSelect();
    m_crossLines->SelectLine(hit.line, m_crossLines->SelectedLine());
    CTenCrossItem* old = m_crossLines->selectedReticle() >= 0 ? m_crossLines->FirstReticle() : nullptr;
    m_crossLines->SelectReticle(hit.reticle, old);
}

void OzaMeasureSys::ClearSelections() {
    m_shapes->ClearSelect();
    m_crossLines->ClearSelection();
}

bool OzaMeasureSys::IsIdle() const {
    switch (m_mode) {
    case ModeIdle:
        return true;
    case ModeShapes:
        return m_shapes->toolKind() == 0;
    default:
        return false;
    }
}

bool OzaMeasureSys::IsCreating() const {
    if (m_mode == ModeShapes)
        return m_shapes->IsCreating();
    if (m_mode == ModeCalibration)
        return m_scales->IsCalibrating();
    return false;
}

bool OzaMeasureSys::IsJustFinished() const {
    if (m_mode == ModeShapes)
        return m_shapes->createState() == CCLObjectContainer::StateAdded;
    if (m_mode == ModeCalibration)
        return m_scales->state() == CScaleContainer::Complete;
    return false;
}

bool OzaMeasureSys::IsPointsEnough() const {
    return m_shapes->IsPointsEnough();
}

// ---------------------------------------------------------------- shapes

void OzaMeasureSys::RemoveObject(CCLBaseObject* shape) {
    if (!shape)
        return;
    QList<QRect> rects;
    m_shapes->CollectRects(shape, rects);
    m_shapes->RemoveObject(shape);
    UpdateRects(rects);
}

CCLBaseObject* OzaMeasureSys::ObjectAtRow(int row) {
    return m_shapes->GetObjectByRow(0, row);
}

CCLBaseObject* OzaMeasureSys::SetObjValue(int row, int column, double value) {
    return m_shapes->SetObjValue(0, row, column, value);
}

void OzaMeasureSys::GetAllMeasureData(CCLBaseObject* only, int& first, int& last, QList<QString>& names,
                                      QList<QString>& values) {
    QList<double> rows;
    m_shapes->CollectRows(0, only, first, last, names, rows);
    // A shape in a state without a result (NaN) shows an empty cell.
    for (double v : rows)
        values.append(std::isfinite(v) ? QString("%1").arg(v, 0, 'f', m_numbits) : QString());
    // Tag the statistics rows: walk the same listing to find each shape's rows.
    int row = 0;
    for (CCLBaseObject* shape : m_shapes->shapes()) {
        if (!shape || shape->kind == KindText || (only && shape != only))
            continue;
        const int n = shape->GetRowCount();
        const int column = statisticsColumn(shape->kind);
        if (column >= 0 && n >= 3) {
            static const char* const tags[3] = {"Min", "Max", "Avg"};
            for (int t = 0; t < 3; ++t) {
                const int at = (row + n - 3 + t) * ColumnCount + column;
                if (at < values.size())
                    values[at] += tags[t];
            }
        }
        row += n;
    }
}

// ------------------------------------------------------- drawing attributes

void OzaMeasureSys::repaintAllShapes() {
    QList<QRect> rects;
    m_shapes->CollectRects(nullptr, rects);
    UpdateRects(rects);
}

void OzaMeasureSys::SetPenWidth(int width) {
    if (width < 1 || width > 20)
        return;
    m_penWidth = width;
    m_shapes->SetPenWidth(width);
    repaintAllShapes();
}

void OzaMeasureSys::relabelAll(const std::function<void()>& change) {
    QList<QRect> rects;
    m_shapes->CollectRects(nullptr, rects);
    change();
    for (CCLBaseObject* shape : m_shapes->shapes()) {
        shape->cachedLineLength = -1;
        shape->cachedLabelSize = QSize(0, 0);
    }
    m_shapes->CollectRects(nullptr, rects);
    UpdateRects(rects);
}

void OzaMeasureSys::SetShapeFontSize(int size) {
    if (size < 11 || size > 128)
        return;
    relabelAll([&] {
        m_shapeFontSize = size;
        QFont font(measureFontFamily);
        font.setPixelSize(size);
        const QFontMetrics fm(font);
        labelBoxWidth = fm.horizontalAdvance(QString(15, QChar(0x8D62)));
        labelBoxHeight = fm.height();
    });
}

void OzaMeasureSys::SetLabelFontSize(int size) {
    if (size < 11 || size > 128)
        return;
    relabelAll([&] { m_labelFontSize = size; });
}

void OzaMeasureSys::SetShapeColour(const QColor& colour) {
    if (!inColourList(colour) || colour == m_shapeColour)
        return;
    m_shapeColour = colour;
    m_shapes->SetColor(colour);
}

void OzaMeasureSys::SetLabelColour(const QColor& colour) {
    if (!inColourList(colour) || colour == m_labelColour)
        return;
    m_labelColour = colour;
    m_shapes->SetSecondColor(colour);
}

void OzaMeasureSys::SetLabelColour2(const QColor& colour) {
    if (!inColourList(colour))
        return;
    m_labelColour2 = colour;
    m_shapes->SetTextColor(colour);
}

void OzaMeasureSys::SetNumBits(int numbits) {
    if (numbits < 0 || numbits >= 5)
        return;
    m_numbits = numbits;
    m_shapes->SetNumbits(numbits);
    repaintAllShapes();
}

void OzaMeasureSys::SetUnit(const QString& unit) {
    const int i = unitIndexOf(unit);
    if (i < 0)
        return;
    m_unit = unitNames[i];
    m_unitFactor = unitFactors[i];
    m_shapes->SetUnit(m_unit);
}

bool OzaMeasureSys::IsKnownUnit(const QString& unit) {
    return unitIndexOf(unit) >= 0;
}

double OzaMeasureSys::GetRate() const {
    if (m_unit == QLatin1String("pix"))
        return 1.0;
    return m_unitFactor * m_disrate;
}

// ------------------------------------------------------------------ scales

void OzaMeasureSys::setScalePara_slot(QString unit, double disrate, int numbits) {
    if (disrate >= 0.0 && std::isfinite(disrate)) {
        m_disrate = disrate;
        m_shapes->SetDisrate(disrate);
    }
    if (numbits >= 0 && numbits < 5) {
        m_numbits = numbits;
        m_shapes->SetNumbits(numbits);
    }
    SetUnit(unit);
    // Shapes that keep results in the display unit (the arc) follow the scale.
    m_shapes->RecalcAll(false);
    repaintAllShapes();
}

void OzaMeasureSys::ContainerAddObj(const CCLBaseObject* object) {
    emit m_shapes->SingalObjAddedOver(object);
}

void OzaMeasureSys::tellScaleBar(const QString& name, bool withName) {
    if (withName)
        m_plotting->SetScale(name, m_unit, GetRate());
    else
        m_plotting->SetRate(m_unit, GetRate());
    m_crossLines->SetTickScale(m_plotting->BarLength(), m_plotting->BarValue());
    UpdateView();
}

void OzaMeasureSys::SetScaleUnit(const QString& unit) {
    SetUnit(unit);
    m_shapes->RecalcAll(false);
    repaintAllShapes();
    tellScaleBar(QString(), false);
}

bool OzaMeasureSys::SetCurScale(const QString& name) {
    if (!m_scales->SelectScale(name))
        return false;
    tellScaleBar(name, true);
    repaintAllShapes();
    return true;
}

bool OzaMeasureSys::AddScale(const QString& name, const QString& unit, int bits, double length,
                             int scaleLength) {
    const double factor = unitFactorOf(unit);
    if (factor <= 0.0)
        return false;
    return m_scales->AddScale(name, unit, bits, length / factor, scaleLength);
}

bool OzaMeasureSys::DeleteScale(const QString& name) {
    if (name.isEmpty() || name == QLatin1String("default"))
        return false;
    const bool wasCurrent = m_scales->currentName() == name;
    if (!m_scales->DeleteScale(name))
        return false;
    if (wasCurrent) {
        tellScaleBar(m_scales->currentName(), true);
        repaintAllShapes();
    }
    return true;
}

QString OzaMeasureSys::ReadLastScaleName() const {
    return m_scales->ReadLastScaleName();
}

bool OzaMeasureSys::GetScaleInfo(const QString& name, int& kind, QString& unit, int& bits, double& lengthMm,
                                 double& pixelLength) const {
    const ScaleInfo* s = m_scales->FindScale(name);
    if (!s)
        return false;
    kind = m_scales->kind();
    unit = s->unit;
    bits = s->bits;
    lengthMm = s->value;
    pixelLength = s->distance;
    return true;
}

QStringList OzaMeasureSys::ScaleNames() const {
    QStringList names;
    m_scales->GetScaleNames(names);
    return names;
}

void OzaMeasureSys::SetCameraIndex(int camera) {
    m_plotting->setCameraIndex(camera);
    m_crossLines->setCameraIndex(camera);
    m_scales->setCameraIndex(camera);
}

void OzaMeasureSys::LoadSettings() {
    m_crossLines->ReadWriteCrossLines(true);
    m_scales->ReadWriteIni(true);
    QList<QRect> rects;
    m_crossLines->CollectLineRects(rects);
    UpdateRects(rects);
}

// ------------------------------------------------------------ sizes, hooks

void OzaMeasureSys::SetViewSize(float width, float height) {
    if (width > 1.0f)
        viewWidth = width;
    if (height > 1.0f)
        viewHeight = height;
}

void OzaMeasureSys::SetImageSize(float width, float height) {
    if (fastModeOn()) {
        width = 3840.0f;
        height = 2160.0f;
    }
    if (width > 1.0f)
        imageWidth = width;
    if (height > 1.0f)
        imageHeight = height;
}

void OzaMeasureSys::SetViewWidget(MeasureView* view) {
    if (view)
        measureView = view;
}

void OzaMeasureSys::SetTextInputCallback(const std::function<QString()>& callback) {
    if (callback)
        textInputCallback = callback;
}

QSize OzaMeasureSys::GetTextSize(const QString& text, int pixelSize) const {
    if (pixelSize < 11 || pixelSize > 128)
        pixelSize = m_shapeFontSize;
    QFont font(measureFontFamily);
    font.setPixelSize(pixelSize);
    const QFontMetrics fm(font);
    const QStringList lines = text.split('\n');
    if (lines.size() > 1) {
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, fm.horizontalAdvance(line));
        return QSize(widest + 50, (lines.size() + 1) * fm.height());
    }
    return QSize(fm.horizontalAdvance(text) + 35, fm.height() + 3);
}

// -------------------------------------------------------------- cross lines

void OzaMeasureSys::SetCrossLineCount(int count, bool horizontal) {
    m_crossLines->SetLineCount(count, horizontal);
    UpdateView();
}

void OzaMeasureSys::RemoveAllCrossLines() {
    m_crossLines->SetLineCount(0, true);
    m_crossLines->SetLineCount(0, false);
    UpdateView();
}

void OzaMeasureSys::DeleteCrossLine(int index, bool horizontal) {
    if (m_crossLines->DeleteLine(index, horizontal))
        UpdateView();
}

bool OzaMeasureSys::SetCrossLineInfo(int index, bool horizontal, float position, float angle,
                                     const QColor& colour, bool visible, bool scale) {
    if (!measureView || index < 0 || std::fabs(angle) >= 90.0f || !std::isfinite(position))
        return false;
    CrossLineInfo* line = m_crossLines->FindLine(index, horizontal);
    if (!line)
        return false;
    QList<QRect> rects;
    m_crossLines->CollectLineRect(*line, rects);
    m_crossLines->SelectLine(nullptr, m_crossLines->SelectedLine());
    m_crossLines->SetLine(horizontal, index, position, angle, colour, visible, scale);
    if (CrossLineInfo* now = m_crossLines->FindLine(index, horizontal))
        m_crossLines->CollectLineRect(*now, rects);
    UpdateRects(rects);
    return true;
}

bool OzaMeasureSys::SetCrossLineDatum(int index, double distance, bool horizontal) {
    if (!m_crossLines->SetDatum(index, horizontal))
        return false;
    if (distance < 0.0 || !std::isfinite(distance))
        return false;
    const double k = m_unit == QLatin1String("pix") ? 1.0 : m_disrate * m_unitFactor;
    if (k <= 0.0)
        return false;
    const double pixels = distance / k + 0.5;
    if (pixels < 1.0 || pixels > 1e9)
        return false;
    const bool ok = m_crossLines->ApplyDatumSpacing(int(pixels), horizontal);
    UpdateView();
    return ok;
}

void OzaMeasureSys::SelectCrossLine(int index, bool horizontal) {
    m_crossLines->SelectLine(m_crossLines->FindLine(index, horizontal), m_crossLines->SelectedLine());
}

void OzaMeasureSys::SetCrossLineColour(const QColor& colour) {
    if (inColourList(colour))
        m_crossLines->setLineColour(colour);
}

void OzaMeasureSys::SetCrossLinesVisible(bool on) {
    showCrossLines = on;
    UpdateView();
}

void OzaMeasureSys::SetCrossLineWidth(int width) {
    if (width < 1)
        return;
    m_crossLines->setPenWidth(width);
    UpdateView();
}

// A view displacement in image pixels along one axis; below 1 pixel is 0.
static float dragDistance(int viewDelta) {
    const float d = float(viewDelta) * imageWidth / viewWidth;
    return std::fabs(d) < 1.0f ? 0.0f : d;
}

bool OzaMeasureSys::DragCrossLine(CrossLineInfo* line, float startPosition, const QPoint& viewDelta) {
    if (!line)
        return false;
    const float delta = line->horizontal ? -dragDistance(viewDelta.y()) : dragDistance(viewDelta.x());
    return m_crossLines->MoveLine(delta, startPosition, line);
}

int OzaMeasureSys::CrossLineCount(bool horizontal) const {
    return m_crossLines->LineCount(horizontal);
}

QColor OzaMeasureSys::CrossLineColour() const {
    return m_crossLines->lineColour();
}

// ------------------------------------------------------------------ reticle

void OzaMeasureSys::ShowTenCross() {
    if (m_crossLines->ShowReticle())
        UpdateView();
}

void OzaMeasureSys::HideTenCross() {
    m_crossLines->HideReticle();
    UpdateView();
}

void OzaMeasureSys::SetTenCrossColour(const QColor& colour, bool scale) {
    m_crossLines->SetReticleColourScale(colour, scale);
    UpdateView();
}

void OzaMeasureSys::SetTenCrossCentre(float x, float y) {
    m_crossLines->SetReticlePosition(int(x), int(y), 0);
    m_crossLines->SaveReticleGeometry();
    UpdateView();
}

void OzaMeasureSys::SaveTenCross() {
    m_crossLines->SaveReticleGeometry();
}

void OzaMeasureSys::DragTenCross(CTenCrossItem* item, const QPointF& start, const QPoint& viewDelta) {
    if (!item)
        return;
    m_crossLines->MoveReticle(dragDistance(viewDelta.x()), float(start.x()), -dragDistance(viewDelta.y()),
                              float(start.y()), item);
}

// ----------------------------------------------------------------- plotting

void OzaMeasureSys::PlottingPress(const QPoint& view) {
    m_plotting->StartStroke(view);
}
void OzaMeasureSys::PlottingMove(const QPoint& view) {
    m_plotting->ExtendStroke(view);
}
void OzaMeasureSys::PlottingRelease(const QPoint& view) {
    m_plotting->FinishStroke(view);
}
void OzaMeasureSys::RemoveBrush(int index) {
    m_plotting->DeleteStroke(index);
}

int OzaMeasureSys::BrushAt(const QPoint& view) const {
    if (!showShapes)
        return -1;
    return m_plotting->HitTestStrokes(view);
}

void OzaMeasureSys::SetScaleBarVisible(bool on) {
    m_plotting->SetBarVisible(on);
    m_plotting->setAxesVisible(false);
    UpdateView();
}

void OzaMeasureSys::SetScaleBarColour(const QColor& colour) {
    if (!inColourList(colour))
        return;
    m_plotting->setMarkerColour(colour);
    m_plotting->setBarColour(colour);
    UpdateView();
}

void OzaMeasureSys::SetScaleBarLength(int value) {
    m_plotting->SetBarValue(value);
    UpdateView();
}

void OzaMeasureSys::SetScaleBarWidth(int width) {
    m_plotting->SetBarPenWidth(width);
    UpdateView();
}

// ------------------------------------------------------------------ drawing

void OzaMeasureSys::Draw(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (painter.font().pixelSize() != m_shapeFontSize) {
        QFont font(measureFontFamily);
        font.setPixelSize(m_shapeFontSize);
        painter.setFont(font);
    }
    if (painter.pen().color() != m_shapeColour) {
        QPen pen = painter.pen();
        pen.setColor(m_shapeColour);
        painter.setPen(pen);
    }
    if (showShapes)
        m_shapes->DrawAll(&painter, true);
    if (painter.font().pixelSize() != m_labelFontSize) {
        QFont font(measureFontFamily);
        font.setPixelSize(m_labelFontSize);
        painter.setFont(font);
    }
    if (showShapes)
        m_shapes->DrawTextNotes(&painter);
    if (showPlotting)
        m_plotting->DrawPlotting(painter);
    if (showCrossLines)
        m_crossLines->DrawLines(painter);
    if (showTenCross)
        m_crossLines->DrawReticles(painter);
    painter.setPen(QPen(m_shapeColour, m_penWidth));
    m_scales->DrawCalibration(painter);
}
