#include "panels/measure/CrossLineSetWidget.h"

CrossLineSetWidget::CrossLineSetWidget(QWidget* parent) : QWidget(parent) { setObjectName("CrossLineSetWidget"); }

void CrossLineSetWidget::changeLanguageSLOT(int language) { Q_UNUSED(language) }
