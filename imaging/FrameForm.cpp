#include "imaging/FrameForm.h"

FrameForm::FrameForm(QWidget* parent) : QWidget(parent) { setObjectName("FrameForm"); }
