#include "camera/NetCamera_Zamble.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Zamble",
    {{0, 5525}, {20, 200}, {0, 7000}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 255}, {0, 255}, {0, 100}, {0, 255}},
    {true, true, true, true, true, true, true, true, true, true},
    {1, 1, 0, 0, 0},
    NetCameraModel::ExposureScale::Offset32Step3,
    {0, 5525},
    {0, 188},
    NetCameraModel::BlackWhiteCall::BWMode,
};
} // namespace

NetCamera_Zamble::NetCamera_Zamble(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }
