#pragma once

#include <QString>

class QObject;
class UVCCamera;

// The USB camera models by device code (1-14): the ids the camera scan
// matches, the tokens and formats the device panel offers, and the open step
// that creates, opens and checks the model class of a code.
namespace UvcModels {

// Device code of a capture device name: the first of the scan's id texts
// ("vid_fea9&pid_0020", ...) that the name contains, ignoring case, in code
// order; 0 when none. ("vid_fea9&pid_5020" is watched for hot-plug only.)
int codeForDeviceName(const QString& name);
// The device panel's token of a code ("Corvo"); empty outside 1-14.
QString token(int code);
// The format the panel offers for a code: codes 3 and 14 "NV12" from
// firmware 29, 4 from firmware 9, else "YUYV"; the others fixed.
QString offeredFormat(int code, int firmware);
// "NV12" 22, "MJPG" 15, "YUYV" 6; -1 for anything else.
int formatCode(const QString& text);
// The firmware byte of the camera at a capture index, read through a
// temporary capture (255 reads as 0; 0 when it cannot be opened).
int readFirmwareByte(int captureIndex);

// The open step of the device panel: the model class of `code` opened at the
// capture index in the format of `formatText` (where the model takes one)
// and checked by its probe; the Ambrel model also gets the capture size of
// its video output mode. Returns the camera, not yet live (call startLive),
// or null when the code has no model, the format is not accepted, the open
// or the probe failed (the camera made is deleted).
UVCCamera* openModel(int code, int captureIndex, const QString& formatText, QObject* parent = nullptr);

} // namespace UvcModels
