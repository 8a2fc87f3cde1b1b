#include "panels/camera/VideoSet.h"

VideoSet::VideoSet(QWidget* parent) : QWidget(parent) { setObjectName("VideoSet"); }

void VideoSet::changeLanguageSLOT(int language) { Q_UNUSED(language) }
