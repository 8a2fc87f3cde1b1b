#include "camera/NetCamera_Halder.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Halder",
    {{0, 5541}, {20, 200}, {0, 50}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 255}, {0, 255}, {0, 100}, {0, 255}},
    {true, true, true, true, true, true, true, true, true, true},
    {1, 1, 0, 0, 1},
    NetCameraModel::ExposureScale::MicroSeconds,
    {0, 5541},
    {0, 188},
    NetCameraModel::BlackWhiteCall::Temperature,
};
} // namespace

NetCamera_Halder::NetCamera_Halder(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }
