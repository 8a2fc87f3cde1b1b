#include "camera/NetCamera_Moravel.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Moravel",
    {{33, 33033}, {20, 200}, {0, 80}, {16, 1023}, {16, 1023}, {16, 1023}, {0, 255}, {1, 100}, {0, 100}, {0, 20}},
    {true, true, true, true, true, true, true, true, true, true},
    {1, 1, 1, 0, 0},
    NetCameraModel::ExposureScale::Plain,
    {33, 33033},
    {33, 188},
    NetCameraModel::BlackWhiteCall::BWMode,
};
} // namespace

NetCamera_Moravel::NetCamera_Moravel(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }
