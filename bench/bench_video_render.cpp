// The video window's render pass against the strongest one-pass references,
// interleaved in one process (ours, then each reference, round after round),
// with the calling thread's CPU time beside wall time (medians).
// Geometries: the program's real view (the picture fitted to 1326x745, the
// view of a 1920x1080 screen) and 1:1 (a canvas of the frame's size).
// References: SDL_ConvertPixels (1:1), libswscale's one-pass point scale and
// conversion to BGRA at the view size, tjDecompress2 to BGRX (full size, and
// at half scale for a fitted 4K frame). For MJPG, "ours" is the decode as the
// decoder thread does it plus the interface thread's pass (submit + copy);
// the interface thread's share is printed apart.
// Input: a specimen-like picture (shapes, gradients, grain of sigma 6 over
// blurred noise), packed to YUY2 / NV12, and JPEG quality 85 (bytes printed).
#include "camera/FrameServerCamera.h"
#include "camera/SDLBackground.h"
#include "camera/SDLBackgroundDecoder.h"
#include "platform/YuvPack.h"

extern "C" {
#include <libswscale/swscale.h>
}
#include <SDL.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Timed {
    std::vector<double> wall, cpu;
    void run(const std::function<void()>& fn) {
        const double c0 = threadCpuMs();
        const auto a = Clock::now();
        fn();
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - a).count());
        cpu.push_back(threadCpuMs() - c0);
    }
    static double median(std::vector<double> v) {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    double w() const { return median(wall); }
    double c() const { return median(cpu); }
};

cv::Mat specimenLike(int w, int h) {
    cv::Mat bgr(h, w, CV_8UC3);
    cv::randu(bgr, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(bgr, bgr, cv::Size(0, 0), 1.2);
    for (int i = 0; i < 40; ++i)
        cv::circle(bgr, cv::Point((i * 977) % w, (i * 613) % h), 40 + (i * 37) % 200,
                   cv::Scalar((i * 50) % 255, (i * 90) % 255, (i * 130) % 255), 6, cv::LINE_AA);
    cv::Mat grain(h, w, CV_8UC3);
    cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(6));
    cv::add(bgr, grain, bgr);
    return bgr;
}

QSize fitted(int w, int h, QSize view) {
    const double s = std::min(double(view.width()) / w, double(view.height()) / h);
    return QSize(int(w * s), int(h * s));
}

// One geometry of one format: ours and the references, interleaved.
struct Case {
    const char* name;
    int format;
    QByteArray frame;
    int w, h;
    QSize canvas;
};

void runCase(const Case& k, int rounds) {
    SDLBackground window;
    window.setCanvasSize(k.canvas);
    const QSize picture = fitted(k.w, k.h, k.canvas);
    window.move(QPoint(0, 0));
    window.resize(picture);
    window.show();
    const bool jpeg = k.format == PixFmtMJPG;
    window.setDecodeOffThread(jpeg);
    FrameServerCamera cam(k.format, k.w, k.h);
    window.attachUsbCamera(&cam, k.w, k.h);
    const auto* data = reinterpret_cast<const uint8_t*>(k.frame.constData());
    const VideoCrop crop = computeVideoCrop(QSize(k.w, k.h), QRectF(QPointF(0, 0), QSizeF(picture)), k.canvas);
    const QRect at(QPoint(0, 0), crop.target.toRect().size());

    std::vector<uint8_t> out(size_t(k.w) * k.h * 4);
    SwsContext* sws = nullptr;
    if (!jpeg)
        sws = sws_getContext(k.w, k.h, k.format == PixFmtNV12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUYV422, at.width(),
                             at.height(), AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> scratch;
    QImage decoded;
    const bool oneToOne = picture == QSize(k.w, k.h);

    Timed ours, oursGui, sdl, swsT, tjFull, tjHalf;
    for (int r = 0; r < rounds + 1; ++r) {
        if (r == 1) // the first round warms textures and buffers up
            ours = oursGui = sdl = swsT = tjFull = tjHalf = Timed();
        if (jpeg) {
            ours.run([&] { SDLBackgroundDecoder::decode(tj, k.frame, QSize(k.w, k.h), crop, at, scratch, decoded); });
            // The interface thread: the pass that hands the frame over, then the pass that shows it.
            cam.queueFrame(k.frame, k.w, k.h);
            oursGui.run([&] { window.renderFrame(); });
            window.waitDecoded(2000);
            oursGui.run([&] { window.renderFrame(); });
            tjFull.run([&] {
                tjDecompress2(tj, data, (unsigned long)k.frame.size(), out.data(), k.w, k.w * 4, k.h, TJPF_BGRX, 0);
            });
            if (!oneToOne && k.w >= 3840)
                tjHalf.run([&] {
                    tjDecompress2(tj, data, (unsigned long)k.frame.size(), out.data(), k.w / 2, k.w * 2, k.h / 2,
                                  TJPF_BGRX, 0);
                });
        } else {
            cam.queueFrame(k.frame, k.w, k.h);
            ours.run([&] { window.renderFrame(); });
            if (oneToOne)
                sdl.run([&] {
                    SDL_ConvertPixels(k.w, k.h, k.format == PixFmtNV12 ? SDL_PIXELFORMAT_NV12 : SDL_PIXELFORMAT_YUY2,
                                      data, k.format == PixFmtNV12 ? k.w : k.w * 2, SDL_PIXELFORMAT_ARGB8888,
                                      out.data(), k.w * 4);
                });
            swsT.run([&] {
                const uint8_t* planes[2] = {data, data + size_t(k.w) * k.h};
                const int strides[2] = {k.format == PixFmtNV12 ? k.w : k.w * 2, k.w};
                uint8_t* dst[1] = {out.data()};
                const int dstStride[1] = {at.width() * 4};
                sws_scale(sws, planes, strides, 0, k.h, dst, dstStride);
            });
        }
    }
    std::printf("%-10s %4dx%-4d on %4dx%-4d picture %4dx%-4d (step %d)\n", k.name, k.w, k.h, k.canvas.width(),
                k.canvas.height(), at.width(), at.height(), crop.step);
    auto line = [&](const char* what, const Timed& t, const Timed& ref) {
        if (t.wall.empty())
            return;
        std::printf("    %-34s wall %7.2f ms  cpu %7.2f ms", what, t.w(), t.c());
        if (!ref.wall.empty() && &t != &ref)
            std::printf("   ours/this: wall %.2f  cpu %.2f", ours.w() / t.w(), ours.c() / t.c());
        std::printf("\n");
    };
    line(jpeg ? "ours: decode to the picture" : "ours: render pass", ours, ours);
    line("ours: interface thread, two passes", oursGui, oursGui);
    line("SDL_ConvertPixels to ARGB, 1:1", sdl, ours);
    line("swscale point scale + BGRA, one pass", swsT, ours);
    line("tjDecompress2 BGRX, full size", tjFull, ours);
    line("tjDecompress2 BGRX, half scale", tjHalf, ours);
    if (sws)
        sws_freeContext(sws);
    tjDestroy(tj);
}

} // namespace

int main() {
    const QSize view(1326, 745);
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        const int w = size.width(), h = size.height();
        const int rounds = w > 2000 ? 21 : 41;
        const cv::Mat bgr = specimenLike(w, h);
        QByteArray yuyv(int(YuvPack::rawFrameBytes(PixFmtYUYV, w, h)), Qt::Uninitialized);
        YuvPack::bgrToYuyv(bgr, reinterpret_cast<uint8_t*>(yuyv.data()));
        QByteArray nv12(int(YuvPack::rawFrameBytes(PixFmtNV12, w, h)), Qt::Uninitialized);
        YuvPack::bgrToNv12(bgr, reinterpret_cast<uint8_t*>(nv12.data()));
        const QByteArray jpeg420 = YuvPack::bgrToJpeg(bgr, 85, false);
        const QByteArray jpeg422 = YuvPack::bgrToJpeg(bgr, 85, true);
        std::printf("== %dx%d specimen with grain; JPEG q85: %d bytes (4:2:0), %d bytes (4:2:2)\n", w, h,
                    int(jpeg420.size()), int(jpeg422.size()));
        for (const QSize canvas : {view, size}) {
            runCase({"YUY2", PixFmtYUYV, yuyv, w, h, canvas}, rounds);
            runCase({"NV12", PixFmtNV12, nv12, w, h, canvas}, rounds);
            runCase({"MJPG 4:2:0", PixFmtMJPG, jpeg420, w, h, canvas}, rounds);
            runCase({"MJPG 4:2:2", PixFmtMJPG, jpeg422, w, h, canvas}, rounds);
        }
    }
    return 0;
}
