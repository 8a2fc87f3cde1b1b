#include "imaging/PinJieForm.h"

PinJieForm::PinJieForm(QWidget* parent) : QWidget(parent) { setObjectName("PinJieForm"); }

void PinJieForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
