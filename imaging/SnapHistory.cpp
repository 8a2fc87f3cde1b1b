#include "imaging/SnapHistory.h"

SnapHistory::SnapHistory(QWidget* parent) : QWidget(parent) { setObjectName("SnapHistory"); }

void SnapHistory::changeLanguageSLOT(int language) { Q_UNUSED(language) }

void SnapHistory::showAndReload() {}

void SnapHistory::renewLayout() {}
