// Cost of a network frame on its way in: the simulator's rendering of a frame
// and the driver's frame callback (size check, ring lock, copy into the ring),
// each beside a plain memcpy of the same bytes measured in the same run.
#include "app/hub/SharedConstants.h"
#include "camera/NetCamera.h"
#include "platform/NetSdkSim.h"
#include "platform/NetSdkSimFrames.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template <typename F>
double msPerCall(int calls, F&& f) {
    for (int i = 0; i < 3; ++i)
        f(); // warm: caches, first touch of all three ring slots, the specimen
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        f();
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(t1 - t0).count() / calls;
}

void report(const char* what, double ours, double reference) {
    std::printf("%-34s %8.3f ms   memcpy %8.3f ms   ratio %5.2f\n", what, ours, reference, ours / reference);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A slow live camera: the SDK reports 5 frames per second, so the
    // callback accepts frames, while its own thread hardly competes.
    NetSdk::install(std::make_unique<NetSdkSim>(NetSdkSim::parseConfig("0@10.0.0.1:fps=5")));
    if (!NetCamera::broadcastCameras())
        return 1;
    std::unique_ptr<NetCamera> camera(NetCamera::createCamera(0, nullptr));
    if (!camera)
        return 1;

    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        camera->setResolution(size.width() == 3840 ? 2 : 0);
        const int bytes = size.width() * size.height() * 3;
        std::vector<uint8_t> frame(static_cast<size_t>(bytes)), copy(static_cast<size_t>(bytes));
        const int calls = size.width() == 3840 ? 40 : 120;
        const double reference = msPerCall(calls, [&] { std::memcpy(copy.data(), frame.data(), frame.size()); });

        uint32_t serial = 1;
        const double render = msPerCall(calls, [&] {
            NetSdkSimFrames::render(frame.data(), size.width(), size.height(), {}, serial++);
        });
        const WF_FrameInfo info{size.width(), size.height(), bytes, 1};
        const double callback =
            msPerCall(calls, [&] { NetCamera::frameCallBack(frame.data(), &info, camera.get()); });
        std::printf("%dx%d\n", size.width(), size.height());
        report("  simulator frame render", render, reference);
        report("  driver frame callback", callback, reference);
    }
    camera.reset();
    NetSdk::install(std::make_unique<NetSdkSim>(QList<NetSdkSim::CameraSpec>()));
    return 0;
}
