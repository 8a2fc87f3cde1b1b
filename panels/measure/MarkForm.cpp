#include "panels/measure/MarkForm.h"

MarkForm::MarkForm(QWidget* parent) : QWidget(parent) { setObjectName("MarkForm"); }

void MarkForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
