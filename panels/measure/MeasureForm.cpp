#include "panels/measure/MeasureForm.h"

MeasureForm::MeasureForm(QWidget* parent) : QWidget(parent) { setObjectName("MeasureForm"); }

void MeasureForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
