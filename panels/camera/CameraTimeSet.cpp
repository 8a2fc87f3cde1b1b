#include "panels/camera/CameraTimeSet.h"

CameraTimeSet::CameraTimeSet(QWidget* parent) : QWidget(parent) { setObjectName("CameraTimeSet"); }

void CameraTimeSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }
