#include "panels/measure/LineForm.h"

LineForm::LineForm(QWidget* parent) : QWidget(parent) { setObjectName("LineForm"); }

void LineForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
