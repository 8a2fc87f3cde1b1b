#include "measure/engine/CPlottingContainer.h"

int plottingPenWidth = 1;
QColor plottingPenColour = QColor(Qt::red);

CPlottingAxesItem::CPlottingAxesItem() = default;
CPlottingScale::CPlottingScale() = default;
CPlottingContainer::CPlottingContainer() = default;
CPlottingContainer::~CPlottingContainer() { qDeleteAll(m_strokes); }
void CPlottingContainer::StartStroke(const QPoint&) {}
void CPlottingContainer::ExtendStroke(const QPoint&) {}
void CPlottingContainer::FinishStroke(const QPoint&) {}
int CPlottingContainer::HitTestStrokes(const QPoint&) const { return -1; }
void CPlottingContainer::DeleteStroke(int) {}
void CPlottingContainer::SetFontSize(int) {}
void CPlottingContainer::DrawPlotting(QPainter&) {}
void CPlottingContainer::SetScale(const QString&, const QString&, double) {}
void CPlottingContainer::SetRate(const QString&, double) {}
void CPlottingContainer::SetBarValue(int) {}
void CPlottingContainer::SetBarVisible(bool on) { m_scale.visible = on; }
void CPlottingContainer::SetBarPenWidth(int) {}
void CPlottingContainer::SetFontScale(float) {}
bool CPlottingContainer::HitTestBar(const QPoint&) const { return false; }
void CPlottingContainer::BeginBarDrag() {}
void CPlottingContainer::DragBar(const QPoint&) {}
void CPlottingContainer::LoadBarPosition() {}
void CPlottingContainer::SaveBarPosition() {}
void CPlottingContainer::LayoutBar() {}
void CPlottingContainer::LayoutBarFixed(int) {}
