#include "imaging/JingShenFormHigh.h"

JingShenFormHigh::JingShenFormHigh(QWidget* parent) : QWidget(parent) { setObjectName("JingShenFormHigh"); }

void JingShenFormHigh::changeLanguageSLOT(int language) { Q_UNUSED(language) }
