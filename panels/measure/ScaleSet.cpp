#include "panels/measure/ScaleSet.h"

ScaleSet::ScaleSet(QWidget* parent) : QWidget(parent) { setObjectName("ScaleSet"); }

void ScaleSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }
