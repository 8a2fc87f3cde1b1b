#include "camera/NetCamera_Pellam.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Pellam",
    {{0, 5541}, {20, 200}, {0, 80}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 255}, {0, 255}, {0, 30}, {0, 255}},
    {true, true, true, true, true, true, true, true, true, true},
    {1, 1, 1, 0, 1},
    NetCameraModel::ExposureScale::MicroSeconds,
    {0, 5541},
    {0, 188},
    NetCameraModel::BlackWhiteCall::Temperature,
};
} // namespace

NetCamera_Pellam::NetCamera_Pellam(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }
