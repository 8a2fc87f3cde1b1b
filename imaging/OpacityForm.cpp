#include "imaging/OpacityForm.h"

OpacityForm::OpacityForm(QWidget* parent) : QWidget(parent) { setObjectName("OpacityForm"); }

void OpacityForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
