#include "export/forms/XlsSet.h"

XlsSet::XlsSet(QWidget* parent) : QWidget(parent) { setObjectName("XlsSet"); }

void XlsSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }
