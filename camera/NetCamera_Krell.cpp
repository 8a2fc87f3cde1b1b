#include "camera/NetCamera_Krell.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Krell",
    {{1, 1108}, {20, 200}, {0, 50}, {16, 511}, {16, 511}, {16, 511}, {0, 16}, {0, 100}, {0, 150}, {0, 16}},
    {true, true, true, true, true, true, true, true, true, true},
    {1, 1, 1, 0, 0},
    NetCameraModel::ExposureScale::Plain,
    {1, 1108},
    {1, 188},
    NetCameraModel::BlackWhiteCall::BWMode,
};
} // namespace

NetCamera_Krell::NetCamera_Krell(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }
