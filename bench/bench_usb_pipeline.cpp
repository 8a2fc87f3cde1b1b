// 300 simulated 1920x1080 frames of each format read through the USB driver
// (ring, frame step) and the video window's render step, beside the
// simulator's own generation rate measured alone in the same run.
//
// Two settings:
//  - paced: the simulated camera sends 60 frames a second and the main loop
//    runs as in the program (one pass per 16 ms at most); the driver keeps up
//    when its rate matches the source's;
//  - unpaced: the camera gives a frame as soon as it is asked, showing the
//    headroom of the pass that reads a frame and hands it to the decoder's
//    thread (JPEG decoding, YUV conversion run there).
#include "camera/SDLBackground.h"
#include "camera/UVCCamera.h"
#include "platform/SimUsbCamera.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 300;

double seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

// Frames per second of the simulated camera read alone.
double sourceRate(int format, double fps) {
    SimUsbBus::instance()->configure(QString("14:fps=%1").arg(fps));
    SimCaptureDevice dev(SimUsbBus::instance()->cameras().value(0));
    dev.open(0);
    dev.set(3, 1920);
    dev.set(4, 1080);
    dev.selectPixelFormat(format);
    std::vector<uint8_t> buf(1920 * 1080 * 2);
    int bytes = 0, w = 0, h = 0;
    dev.readRaw(buf.data(), buf.size(), bytes, w, h); // the specimen is rendered once
    const auto t0 = Clock::now();
    for (int i = 0; i < kFrames; ++i)
        dev.readRaw(buf.data(), buf.size(), bytes, w, h);
    return kFrames / seconds(t0);
}

// Frames per second through the driver and the render step, the loop paced
// like the program's main loop when `paced`.
double pipelineRate(int format, double fps, bool paced) {
    SimUsbBus::instance()->configure(QString("14:fps=%1").arg(fps));
    auto sim = SimUsbBus::instance()->cameras().value(0);
    SDLBackground window;
    videoWindow = &window;
    window.setCanvasSize(QSize(1920, 1080));
    window.show();
    double rate = 0;
    {
        UVCCamera cam;
        cam.open(0, format);
        cam.startLive();
        cam.fitToWindow();
        window.renderFrame();
        const int start = sim->framesDelivered();
        const auto t0 = Clock::now();
        while (sim->framesDelivered() - start < kFrames) {
            const uint64_t pass = SDL_GetTicks64();
            window.renderFrame();
            const uint64_t spent = SDL_GetTicks64() - pass;
            if (paced && spent < 16)
                SDL_Delay(uint32_t(16 - spent));
        }
        rate = kFrames / seconds(t0);
    }
    videoWindow = nullptr;
    return rate;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    qputenv("SEVRIN_APP_DIR", dir.path().toUtf8());
    QSettings("./OtherSet.ini", QSettings::IniFormat).setValue("Resolution", 1);

    std::printf("USB pipeline, %d frames of 1920x1080 per format\n", kFrames);
    std::printf("%-6s %18s %18s %8s   %18s %18s\n", "format", "source 60 fps", "driver+render", "ratio",
                "source unpaced", "driver+render");
    for (const auto& [name, format] : {std::pair<const char*, int>{"NV12", 22}, {"YUYV", 6}, {"MJPG", 15}}) {
        const double src = sourceRate(format, 60);
        const double pipe = pipelineRate(format, 60, true);
        const double srcFree = sourceRate(format, 0);
        const double pipeFree = pipelineRate(format, 0, false);
        std::printf("%-6s %14.1f f/s %14.1f f/s %8.3f   %14.1f f/s %14.1f f/s\n", name, src, pipe, src / pipe,
                    srcFree, pipeFree);
    }
    std::printf("ratio = source rate / rate through the driver (1.10 = 10%% overhead)\n");
    SimUsbBus::instance()->configure(QString());
    return 0;
}
