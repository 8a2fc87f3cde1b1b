#include "measure/engine/CCrossLineContainer.h"

#include "platform/AppPaths.h"

CCrossLineContainer::CCrossLineContainer() = default;
QString CCrossLineContainer::crossLineFile() { return AppPaths::appFile("INI/SINGLE_CROSSINFO.ini"); }
QString CCrossLineContainer::reticleFile() { return AppPaths::appFile("INI/SINGLE_TENCROSSINFO.ini"); }
void CCrossLineContainer::ReadWriteCrossLines(bool) {}
void CCrossLineContainer::SetLineCount(int, bool) {}
bool CCrossLineContainer::DeleteLine(int, bool) { return false; }
void CCrossLineContainer::SetLine(bool, int, float, float, const QColor&, bool, bool) {}
bool CCrossLineContainer::MoveLine(float, float, CrossLineInfo*) { return false; }
bool CCrossLineContainer::SetDatum(int, bool) { return false; }
bool CCrossLineContainer::ApplyDatumSpacing(int, bool) { return false; }
CrossLineInfo* CCrossLineContainer::FindLine(int, bool) { return nullptr; }
CrossLineInfo* CCrossLineContainer::SelectedLine() { return nullptr; }
bool CCrossLineContainer::HitTestLines(const QPointF&) { return false; }
void CCrossLineContainer::SelectLine(CrossLineInfo*, CrossLineInfo*) {}
void CCrossLineContainer::ClearSelection() {}
void CCrossLineContainer::SetTickScale(int, int) {}
void CCrossLineContainer::SetLabelFontSize(int) {}
void CCrossLineContainer::DrawLines(QPainter&) {}
void CCrossLineContainer::CollectLineRects(QList<QRect>&) {}
void CCrossLineContainer::CollectLineRect(const CrossLineInfo&, QList<QRect>&) {}
int CCrossLineContainer::LineCount(bool horizontal) const { return horizontal ? m_hor.size() : m_ver.size(); }
int CCrossLineContainer::IndexOf(const CrossLineInfo*) const { return -1; }
void CCrossLineContainer::setPenWidth(int width) { m_penWidth = width; }
bool CCrossLineContainer::ShowReticle() { return false; }
void CCrossLineContainer::HideReticle() {}
void CCrossLineContainer::SetReticleColourScale(const QColor&, bool) {}
void CCrossLineContainer::SetReticlePosition(int, int, int) {}
void CCrossLineContainer::MoveReticle(float, float, float, float, CTenCrossItem*) {}
bool CCrossLineContainer::HitTestReticle(const QPointF&) { return false; }
void CCrossLineContainer::SelectReticle(CTenCrossItem*, CTenCrossItem*) {}
void CCrossLineContainer::SaveReticleGeometry() {}
void CCrossLineContainer::SaveReticleAppearance() {}
void CCrossLineContainer::LoadReticles() {}
CTenCrossItem* CCrossLineContainer::FirstReticle() { return m_reticles.isEmpty() ? nullptr : &m_reticles[0]; }
void CCrossLineContainer::DrawReticles(QPainter&) {}
void CCrossLineContainer::CollectReticleRects(const CTenCrossItem&, QList<QRect>&) {}
