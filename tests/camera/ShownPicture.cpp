#include "ShownPicture.h"

#include "camera/SDLBackground.h"
#include "platform/SimUsbCamera.h"

#include <QSettings>

#include <opencv2/imgproc.hpp>

double shownPictureError(const SDLBackground& window, const cv::Mat& cameraPicture) {
    const QRect at = window.lastCrop().target.toRect();
    cv::Mat ref;
    cv::resize(cameraPicture, ref, cv::Size(at.width(), at.height()), 0, 0, cv::INTER_AREA);
    const QImage shown = window.canvas().copy(at).convertToFormat(QImage::Format_RGB888).rgbSwapped();
    const cv::Mat got(shown.height(), shown.width(), CV_8UC3, const_cast<uchar*>(shown.constBits()),
                      size_t(shown.bytesPerLine()));
    cv::Mat diff;
    cv::absdiff(got, ref, diff);
    const cv::Scalar m = cv::mean(diff);
    return m[0] + m[1] + m[2];
}

SimVideoRig::SimVideoRig(const QString& spec, QSize canvas) {
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);
    SimUsbBus::instance()->configure(spec);
    sim = SimUsbBus::instance()->cameras().value(0);
    if (sim)
        sim->setMovingMark(false);
    videoWindow = &window;
    window.setCanvasSize(canvas);
    window.show();
}

SimVideoRig::~SimVideoRig() {
    videoWindow = nullptr;
    SimUsbBus::instance()->configure(QString());
}
