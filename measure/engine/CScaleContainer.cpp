#include "measure/engine/CScaleContainer.h"

namespace {
QString g_path = QStringLiteral("SCALE_INFO.ini");
}

void CScaleContainer::setFilePath(const QString& path) { g_path = path; }
QString CScaleContainer::filePath() { return g_path; }

CScaleContainer::CScaleContainer(QObject* parent) : QObject(parent) { resetList(); }
CScaleContainer::~CScaleContainer() { qDeleteAll(m_scales); }

void CScaleContainer::resetList() {
    qDeleteAll(m_scales);
    m_scales.clear();
    m_scales.append(new ScaleInfo());
}

void CScaleContainer::ReadWriteIni(bool) {}
bool CScaleContainer::AddScale(const QString&, const QString&, int, float, int) { return false; }

bool CScaleContainer::SelectScale(const QString& name) {
    for (int i = 0; i < m_scales.size(); ++i)
        if (m_scales[i]->name == name)
            return SelectScaleAt(i);
    return false;
}

bool CScaleContainer::SelectScaleAt(int index) {
    if (index < 0 || index >= m_scales.size())
        return false;
    emitSelected(index);
    return true;
}

void CScaleContainer::emitSelected(int index) {
    const ScaleInfo* s = m_scales[index];
    m_currentName = s->name;
    emit setScalePara_signal(s->unit, s->disrate, s->bits);
}

bool CScaleContainer::DeleteScale(const QString&) { return false; }
ScaleInfo* CScaleContainer::FindScale(const QString& name) const {
    for (int i = m_scales.size() - 1; i >= 0; --i)
        if (m_scales[i]->name == name)
            return m_scales[i];
    return nullptr;
}
void CScaleContainer::GetScaleNames(QStringList& out) const {
    for (const ScaleInfo* s : m_scales)
        out.append(s->name);
}
QString CScaleContainer::ReadLastScaleName() const { return QStringLiteral("default"); }
void CScaleContainer::AddCalibrationPoint(const QPointF&) {}
void CScaleContainer::MoveCalibrationPoint(const QPointF&) {}
void CScaleContainer::CancelCalibration() { m_state = Idle; }
void CScaleContainer::DrawCalibration(QPainter&) {}
void CScaleContainer::CollectCalibrationRects(QList<QRect>&) {}
float CScaleContainer::CalibrationLength() const { return 1.0f; }
QString CScaleContainer::groupPrefix() const { return QString(); }
bool CScaleContainer::isOwnGroup(const QString&) const { return false; }
