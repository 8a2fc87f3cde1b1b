#include "imaging/FrameFormMINI.h"

FrameFormMINI::FrameFormMINI(QWidget* parent) : QWidget(parent) { setObjectName("FrameFormMINI"); }

void FrameFormMINI::stopRenew() { deleteLater(); }
