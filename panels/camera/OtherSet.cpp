#include "panels/camera/OtherSet.h"

OtherSet::OtherSet(QWidget* parent) : QWidget(parent) { setObjectName("OtherSet"); }

void OtherSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }

void OtherSet::initFPSList() {}
