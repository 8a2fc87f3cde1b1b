#include "camera/NetCamera_Vosker.h"

#include "app/MessagePassing.h"

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
    int record[WF_PARAM_BLOCK_INTS] = {};
    WF_GetAllParam(cameraNumber(), record);
    // The record as this model lays it out, field by field.
    static const int keyOfField[13] = {CtlExposure, CtlGain,     CtlRedGain, CtlBlueGain, CtlContrast,
                                       CtlHDR,      CtlSharpness, CtlSaturation, CtlTarget, CtlMirror,
                                       CtlFlip,     CtlBlackWhite, Ctl3DNR};
    for (int field = 0; field < 13; ++field)
        setCurrentValue(keyOfField[field], record[field]);
    MessagePassing::instance()->initImgEffect();
}
