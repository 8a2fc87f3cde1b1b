#include "panels/camera/CameraForm.h"

CameraForm::CameraForm(QWidget* parent) : QWidget(parent) { setObjectName("CameraForm"); }

void CameraForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }

void CameraForm::playIfPaused() {}
