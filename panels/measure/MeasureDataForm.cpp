#include "panels/measure/MeasureDataForm.h"

MeasureDataForm::MeasureDataForm(QWidget* parent) : QWidget(parent) { setObjectName("MeasureDataForm"); }

void MeasureDataForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
