#include "camera/UvcModels.h"

#include "camera/UVCCamera_Ambrel.h"
#include "camera/UVCCamera_Bexo.h"
#include "camera/UVCCamera_Corvo.h"
#include "camera/UVCCamera_Dunmor.h"
#include "camera/UVCCamera_Lutrava.h"
#include "camera/UVCCamera_Pellam.h"
#include "camera/UVCCamera_Quillet.h"
#include "camera/UVCCamera_Sorrin.h"
#include "camera/UVCCamera_Tirsa.h"
#include "camera/UVCCamera_Yselt.h"
#include "camera/UvcRegisterChannel.h"
#include "platform/CaptureDevice.h"

#include <QStringList>

#include <memory>

namespace UvcModels {
namespace {

struct IdRow {
    int code;
    const char* id;
};

// In the order the scan tests them.
const IdRow kIds[] = {
    {1, "vid_fea9&pid_0020"},  {2, "vid_fea9&pid_0080"},  {3, "vid_0603&pid_8612"},  {3, "vid_fea9&pid_5080"},
    {4, "vid_fea9&pid_5280"},  {5, "vid_fea9&pid_5480"},  {6, "vid_fea9&pid_6280"},  {7, "vid_fea9&pid_5250"},
    {8, "vid_fea9&pid_52C0"},  {9, "vid_fea9&pid_52F1"},  {10, "vid_fea9&pid_5460"}, {11, "vid_fea9&pid_54C0"},
    {12, "vid_fea9&pid_54F4"}, {13, "vid_fea9&pid_5680"}, {14, "vid_fea9&pid_5180"},
};

const char* const kTokens[] = {"",      "Yseltan", "Yseltor", "Corvo", "Nesko", "Tirsa", "Pellam", "Lutrava",
                               "Dunmor", "Hevra",  "Casmo",   "Bexo",  "Nodrin", "Ambrel", "Sorrin"};

// Formats each model accepts, in the order the panel tests them.
QStringList acceptedFormats(int code) {
    switch (code) {
    case 3:
    case 4:
    case 14:
        return {"NV12", "MJPG", "YUYV"};
    case 7:
    case 8:
    case 13:
        return {"NV12"};
    case 11:
        return {"NV12", "MJPG"};
    default:
        return {};
    }
}

} // namespace

int codeForDeviceName(const QString& name) {
    for (const IdRow& row : kIds)
        if (name.contains(QLatin1String(row.id), Qt::CaseInsensitive))
            return row.code;
    return 0;
}

QString token(int code) { return (code >= 1 && code <= 14) ? QString(kTokens[code]) : QString(); }

QString offeredFormat(int code, int firmware) {
    switch (code) {
    case 1:
    case 2:
    case 5:
    case 6:
        return "MJPG";
    case 3:
    case 14:
        return firmware >= 29 ? "NV12" : "YUYV";
    case 4:
        return firmware >= 9 ? "NV12" : "YUYV";
    default:
        return (code >= 7 && code <= 13) ? "NV12" : QString();
    }
}

int formatCode(const QString& text) {
    if (text == "NV12")
        return 22;
    if (text == "MJPG")
        return 15;
    if (text == "YUYV")
        return 6;
    return -1;
}

int readFirmwareByte(int captureIndex) {
    auto capture = CaptureDevice::create();
    if (!capture->open(captureIndex, CaptureDevice::PlatformBackend))
        return 0;
    const int fw = UvcRegisterChannel(capture.get()).readFirmware();
    capture->release();
    return fw;
}

UVCCamera* openModel(int code, int captureIndex, const QString& formatText, QObject* parent) {
    const int format = formatCode(formatText);
    if (!acceptedFormats(code).isEmpty() && !acceptedFormats(code).contains(formatText))
        return nullptr;
    std::unique_ptr<UVCCamera> camera;
    UVCRegisterCamera* registers = nullptr;
    auto make = [&](auto* model) {
        camera.reset(model);
        registers = model;
    };
    switch (code) {
    case 1:
    case 2: {
        // The generic model has no probe: it is taken when it opens.
        auto yselt = std::make_unique<UVCCamera_Yselt>(parent);
        if (!yselt->open(captureIndex))
            return nullptr;
        return yselt.release();
    }
    case 3:
        make(new UVCCamera_Corvo(parent));
        break;
    case 4:
        make(new UVCCamera_Quillet(parent));
        break;
    case 5:
        make(new UVCCamera_Tirsa(parent));
        break;
    case 6:
        make(new UVCCamera_Pellam(parent));
        break;
    case 7:
        make(new UVCCamera_Lutrava(parent));
        break;
    case 8:
        make(new UVCCamera_Dunmor(parent));
        break;
    case 11:
        make(new UVCCamera_Bexo(parent));
        break;
    case 13:
        make(new UVCCamera_Ambrel(parent));
        break;
    case 14:
        make(new UVCCamera_Sorrin(parent));
        break;
    default:
        return nullptr; // 9, 10, 12 and unknown codes have no model
    }
    // Tirsa and Pellam always take MJPG.
    const int openFormat = (code == 5 || code == 6) ? 15 : format;
    if (!camera->open(captureIndex, openFormat) || !registers->probe())
        return nullptr;
    if (code == 13) {
        auto* ambrel = static_cast<UVCCamera_Ambrel*>(registers);
        ambrel->applyVideoOutMode(ambrel->readVideoOutMode());
    }
    return camera.release();
}

} // namespace UvcModels
