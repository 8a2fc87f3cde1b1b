#include "camera/NetCamera_Vosker.h"

#include "app/hub/MessagePassing.h"

namespace {
const NetCameraModel modelTable = {
    "NetCamera_Vosker",
    {{1, 1108}, {20, 200}, {0, 50}, {16, 511}, {0, 0}, {16, 511}, {0, 16}, {0, 100}, {0, 150}, {0, 16}},
    {true, true, true, true, false, true, true, true, true, true},
    {1, 1, 1, 1, 0},
    NetCameraModel::ExposureScale::Plain,
    {1, 1108},
    {1, 1108},
    NetCameraModel::BlackWhiteCall::BWMode,
};
} // namespace

NetCamera_Vosker::NetCamera_Vosker(QObject* parent) : NetCamera(parent) { applyModel(modelTable); }

void NetCamera_Vosker::set3DNR(int on) { WF_Set3DNR(cameraNumber(), on); }

void NetCamera_Vosker::syncParams() {
    // The record as this model lays it out.
    readParamRecord({{CtlExposure, 0}, {CtlGain, 1}, {CtlRedGain, 2}, {CtlBlueGain, 3}, {CtlContrast, 4},
                     {CtlHDR, 5}, {CtlSharpness, 6}, {CtlSaturation, 7}, {CtlTarget, 8}, {CtlMirror, 9},
                     {CtlFlip, 10}, {CtlBlackWhite, 11}, {Ctl3DNR, 12}});
    MessagePassing::instance()->initImgEffect();
}
