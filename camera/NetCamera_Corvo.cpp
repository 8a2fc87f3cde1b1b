#include "camera/NetCamera_Corvo.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Corvo",
    {{0, 5541}, {20, 200}, {0, 80}, {0, 2047}, {0, 900}, {0, 2047}, {0, 254}, {0, 254}, {0, 254}, {0, 254}},
    {true, true, true, true, true, true, true, true, true, true},
    {1, 1, 1, 0, 1},
    NetCameraModel::ExposureScale::MicroSeconds,
    {0, 5541},
    {0, 188},
    NetCameraModel::BlackWhiteCall::Temperature,
};
} // namespace

NetCamera_Corvo::NetCamera_Corvo(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }

void NetCamera_Corvo::setResolution(int index) {
    if (index != 0 && index != 1)
        return;
    switchResolution(index, index == 0 ? QSize(3840, 2160) : QSize(1920, 1080));
}

QSize NetCamera_Corvo::frameSize(bool full) const {
    if (!full && resolutionIndex() != 0)
        return QSize(1920, 1080);
    return QSize(3840, 2160);
}

bool NetCamera_Corvo::startRecord(QString path) {
    NetRecordSettings settings;
    const bool full = resolutionIndex() == 0;
    settings.inputWidth = full ? 3840 : 1920;
    settings.inputHeight = full ? 2160 : 1080;
    settings.fps = full ? 10 : 20;
    settings.outputWidth = 1920;
    settings.outputHeight = 1080;
    settings.keepEvery = 1;
    return beginRecording(path, settings);
}
