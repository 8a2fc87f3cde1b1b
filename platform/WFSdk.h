#pragma once

#include <cstdint>

// The network-camera SDK as the program calls it: plain functions, camera
// number n (the program always uses 0), int results with 0 = success and a
// negative value = failure. Each call forwards to the installed NetSdk
// backend (platform/NetSdk.h); by default that is the simulator configured by
// SEVRIN_SIM_NET. Nothing is ever sent on a network.
//
// Threads: every call may come from any thread, except that WF_LiveStop and
// WF_UnInitRes must not be called from inside the frame callback (they wait
// for the callback to return).

// Most cameras one broadcast reports, and the number of ints the parameter
// block of WF_GetAllParam must hold.
constexpr int WF_MAX_CAMERAS = 64;
constexpr int WF_PARAM_BLOCK_INTS = 32;
// The port WF_InitCameraSingle connects to.
constexpr int WF_CAMERA_PORT = 8554;

// Formats of WF_GetFrameToImage's third argument.
enum WF_ImageFormat : int { WF_ImageJpg = 1, WF_ImageBmp = 2, WF_ImagePng = 3, WF_ImageTiff = 4 };

// What the SDK knows about a delivered frame; valid during the callback only.
struct WF_FrameInfo {
    int width;
    int height;
    int bytes;       // width * height * 3, rows packed, blue first
    uint32_t serial; // counts frames of this camera number from 1
};

// Called on the SDK's own thread with the frame bytes, the frame's info and
// the user pointer given to WF_SetFrameCallBack. The bytes belong to the SDK
// and are valid only during the call. No callback runs after WF_LiveStop,
// WF_SetFrameCallBack(n, nullptr, ...) or WF_UnInitRes has returned.
using WF_FrameCallBack = void (*)(unsigned char* frame, const WF_FrameInfo* info, void* user);

// Discovery. WF_BroadcastResult: *count is the capacity of ips on entry and
// the number of cameras written on return; the lowest byte of an address is
// its first octet. WF_BroadcastResultType presets nothing: *type is written
// only for a valid index.
int WF_BroadcastCamera();
int WF_BroadcastResult(int* count, uint32_t* ips);
int WF_BroadcastResultType(int index, int* type);

// Resources: once after a search that found cameras; released at shutdown.
int WF_InitRes(int cameras, int buffers);
int WF_UnInitRes();

// Connects camera number n to discovered camera index at ip:port.
int WF_InitCameraSingle(int n, int index, uint32_t ip, int port);

int WF_SetFrameCallBack(int n, WF_FrameCallBack callback, void* user);
int WF_SetResolution(int n, int index);
int WF_LiveStart(int n);
// Returns only when no frame callback of n runs any more.
int WF_LiveStop(int n);
// Frames per second while live (the camera's nominal rate), 0 otherwise.
int WF_GetCameraFrameRate(int n, float* fps);

int WF_SetDoAE(int n, int reserved1, int on, int reserved2, void* reserved3);
int WF_SetDoAWB(int n, int reserved1, int once, int reserved2, void* reserved3);
int WF_SetExposure(int n, int value);
int WF_SetBestAe(int n, int value);
int WF_SetGain_A(int n, int value);
int WF_SetGainR(int n, int value);
int WF_SetGainG(int n, int value);
int WF_SetGainB(int n, int value);
int WF_SetSaturation(int n, int value);
int WF_SetContrast(int n, int value);
int WF_SetSharpness(int n, int value);
int WF_SetHDR(int n, int value);
int WF_SetHFlip(int n, int value);
int WF_SetVFlip(int n, int value);
int WF_SetBWMode(int n, int value);
int WF_SetTemperature(int n, int value);
int WF_Set3DNR(int n, int value);

// *idValue: in the parameter id (WF_ParamId), out its value.
int WF_GetParam(int n, int* idValue);
// Fills WF_PARAM_BLOCK_INTS ints; the layout depends on the camera's type
// (see NetSdkSim.h).
int WF_GetAllParam(int n, int* block);

// Writes the current picture at exactly path (no suffix added) before it
// returns; format is a WF_ImageFormat.
int WF_GetFrameToImage(int n, const wchar_t* path, int format, int reserved1, int reserved2);
// The camera keeps the picture on its own card, named after path's file name.
int WF_GetFrameFromCamera(int n, const wchar_t* path);
// on = 1: pictures the camera sends are written into directory (which must
// exist and be writable); on = 0: stop (directory may be null).
int WF_ReceiveFile(int n, int on, const wchar_t* directory);

// Ids of WF_GetParam.
enum WF_ParamId : int {
    WF_ParamExposure = 0,
    WF_ParamGain = 1,
    WF_ParamGainG = 2,
    WF_ParamGainR = 3,
    WF_ParamGainB = 4,
    WF_ParamAETarget = 5,
};
