#include "panels/measure/MeasureSet.h"

MeasureSet::MeasureSet(QWidget* parent) : QWidget(parent) { setObjectName("MeasureSet"); }

void MeasureSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }
