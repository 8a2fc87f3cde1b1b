#include "panels/camera/CameraParaForm.h"

CameraParaForm::CameraParaForm(QWidget* parent) : QWidget(parent) { setObjectName("CameraParaForm"); }

void CameraParaForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }

void CameraParaForm::syncParamsOnce() {}

void CameraParaForm::initAEState() {}
