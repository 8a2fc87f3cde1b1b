#include "panels/camera/ImageReceiveForm.h"

ImageReceiveForm::ImageReceiveForm(QWidget* parent) : QWidget(parent) { setObjectName("ImageReceiveForm"); }

void ImageReceiveForm::changeLanguageSLOT(int language) { Q_UNUSED(language) }
