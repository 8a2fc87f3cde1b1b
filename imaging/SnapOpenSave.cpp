#include "imaging/SnapOpenSave.h"

SnapOpenSave::SnapOpenSave(QWidget* parent) : QWidget(parent) { setObjectName("SnapOpenSave"); }

void SnapOpenSave::changeLanguageSLOT(int language) { Q_UNUSED(language) }
