#include "platform/WFSdk.h"

#include "platform/NetSdk.h"

#include <QString>

namespace {
QString fromWide(const wchar_t* s) { return s ? QString::fromWCharArray(s) : QString(); }
int setValue(int n, NetSdk::Setting setting, int value) { return NetSdk::instance()->set(n, setting, value); }
} // namespace

int WF_BroadcastCamera() { return NetSdk::instance()->broadcast(); }
int WF_BroadcastResult(int* count, uint32_t* ips) { return NetSdk::instance()->broadcastResult(count, ips); }
int WF_BroadcastResultType(int index, int* type) { return NetSdk::instance()->broadcastResultType(index, type); }
int WF_InitRes(int cameras, int buffers) { return NetSdk::instance()->initRes(cameras, buffers); }
int WF_UnInitRes() { return NetSdk::instance()->uninitRes(); }
int WF_InitCameraSingle(int n, int index, uint32_t ip, int port) {
    return NetSdk::instance()->initCamera(n, index, ip, port);
}
int WF_SetFrameCallBack(int n, WF_FrameCallBack callback, void* user) {
    return NetSdk::instance()->setFrameCallback(n, callback, user);
}
int WF_SetResolution(int n, int index) { return NetSdk::instance()->setResolution(n, index); }
int WF_LiveStart(int n) { return NetSdk::instance()->liveStart(n); }
int WF_LiveStop(int n) { return NetSdk::instance()->liveStop(n); }
int WF_GetCameraFrameRate(int n, float* fps) { return NetSdk::instance()->frameRate(n, fps); }

int WF_SetDoAE(int n, int, int on, int, void*) { return setValue(n, NetSdk::SetDoAE, on); }
int WF_SetDoAWB(int n, int, int once, int, void*) { return setValue(n, NetSdk::SetDoAWB, once); }
int WF_SetExposure(int n, int value) { return setValue(n, NetSdk::SetExposure, value); }
int WF_SetBestAe(int n, int value) { return setValue(n, NetSdk::SetBestAe, value); }
int WF_SetGain_A(int n, int value) { return setValue(n, NetSdk::SetGainA, value); }
int WF_SetGainR(int n, int value) { return setValue(n, NetSdk::SetGainR, value); }
int WF_SetGainG(int n, int value) { return setValue(n, NetSdk::SetGainG, value); }
int WF_SetGainB(int n, int value) { return setValue(n, NetSdk::SetGainB, value); }
int WF_SetSaturation(int n, int value) { return setValue(n, NetSdk::SetSaturation, value); }
int WF_SetContrast(int n, int value) { return setValue(n, NetSdk::SetContrast, value); }
int WF_SetSharpness(int n, int value) { return setValue(n, NetSdk::SetSharpness, value); }
int WF_SetHDR(int n, int value) { return setValue(n, NetSdk::SetHDR, value); }
int WF_SetHFlip(int n, int value) { return setValue(n, NetSdk::SetHFlip, value); }
int WF_SetVFlip(int n, int value) { return setValue(n, NetSdk::SetVFlip, value); }
int WF_SetBWMode(int n, int value) { return setValue(n, NetSdk::SetBWMode, value); }
int WF_SetTemperature(int n, int value) { return setValue(n, NetSdk::SetTemperature, value); }
int WF_Set3DNR(int n, int value) { return setValue(n, NetSdk::Set3DNR, value); }

int WF_GetParam(int n, int* idValue) { return NetSdk::instance()->getParam(n, idValue); }
int WF_GetAllParam(int n, int* block) { return NetSdk::instance()->getAllParam(n, block); }
int WF_GetFrameToImage(int n, const wchar_t* path, int format, int, int) {
    return NetSdk::instance()->frameToImage(n, fromWide(path), format);
}
int WF_GetFrameFromCamera(int n, const wchar_t* path) { return NetSdk::instance()->frameToCard(n, fromWide(path)); }
int WF_ReceiveFile(int n, int on, const wchar_t* directory) {
    return NetSdk::instance()->receiveFile(n, on != 0, fromWide(directory));
}
