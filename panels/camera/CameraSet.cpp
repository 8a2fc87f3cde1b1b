#include "panels/camera/CameraSet.h"

CameraSet::CameraSet(QWidget* parent) : QWidget(parent) { setObjectName("CameraSet"); }

void CameraSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }

void CameraSet::initImgTypeByCamera() {}
