#include "panels/camera/LensForm.h"

LensForm::LensForm(QWidget* parent) : QWidget(parent) { setObjectName("LensForm"); }

void LensForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
