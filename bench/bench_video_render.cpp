// The video window's picture making against the strongest references,
// interleaved in one process (ours, then each reference, round after round),
// with the calling thread's CPU time beside wall time (medians).
// Geometries: the program's real view (the picture fitted to 1265x712, the
// size the program draws a 16:9 camera picture at on a 1920x1080 screen, as
// its own loop figures report it: SEVRIN_LOOP_STATS) and 1:1 (a canvas of the frame's size).
// "Ours" is what the program's worker thread does with a frame (the JPEG
// decode; for NV12 and YUY2 the scale-first conversion), with the interface
// thread's share (the pass that hands the frame over plus the pass that shows
// the picture) printed apart.
// References, each producing the same picture (BGRA at the drawn size):
// SDL_ConvertPixels and libyuv's one-call conversion (1:1); libswscale one
// pass with SWS_POINT and with SWS_FAST_BILINEAR; libyuv scale then convert
// (NV12Scale + NV12ToARGB; for YUY2 also through NV12 and through I422);
// tjDecompress2 to BGRX (full size, and at half scale for a fitted 4K frame).
// The ratio line compares ours with the fastest reference of the case. The
// order of the measurements turns by one each round, and the caches are
// filled with other data before each.
// Input: a specimen-like picture (shapes, gradients, grain of sigma 6 over
// blurred noise), packed to YUY2 / NV12, and JPEG quality 85 (bytes printed).
#include "camera/FrameServerCamera.h"
#include "camera/SDLBackground.h"
#include "camera/SDLBackgroundDecoder.h"
#include "bench/support/BenchSpecimen.h"
#include "platform/YuvPack.h"

extern "C" {
#include <libswscale/swscale.h>
}
#include <SDL.h>
#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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


// Each measurement starts with the caches full of other data, as a frame's
// conversion does in the program: none inherits a warm output buffer or
// frame from the one before.
void evictCaches() {
    static std::vector<uint8_t> junk(size_t(64) << 20);
    static uint8_t value = 0;
    std::memset(junk.data(), ++value, junk.size());
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
    FrameServerCamera cam(k.format, k.w, k.h);
    window.attachUsbCamera(&cam, k.w, k.h);
    const bool jpeg = k.format == PixFmtMJPG;
    const bool nv12 = k.format == PixFmtNV12;
    const auto* data = reinterpret_cast<const uint8_t*>(k.frame.constData());
    const VideoCrop crop = computeVideoCrop(QSize(k.w, k.h), QRectF(QPointF(0, 0), QSizeF(picture)), k.canvas);
    const QRect at(QPoint(0, 0), crop.target.toRect().size());
    const int ow = at.width(), oh = at.height();
    const bool oneToOne = picture == QSize(k.w, k.h);

    std::vector<uint8_t> out(size_t(k.w) * k.h * 4);
    std::vector<uint8_t> planes(size_t(k.w) * k.h * 2 + size_t(ow) * oh * 3);
    SwsContext* swsPoint = nullptr;
    SwsContext* swsBilinear = nullptr;
    if (!jpeg) {
        const AVPixelFormat src = nv12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUYV422;
        swsPoint = sws_getContext(k.w, k.h, src, ow, oh, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
        swsBilinear =
            sws_getContext(k.w, k.h, src, ow, oh, AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    }
    auto runSws = [&](SwsContext* ctx) {
        const uint8_t* src[2] = {data, data + size_t(k.w) * k.h};
        const int strides[2] = {nv12 ? k.w : k.w * 2, k.w};
        uint8_t* dst[1] = {out.data()};
        const int dstStride[1] = {ow * 4};
        sws_scale(ctx, src, strides, 0, k.h, dst, dstStride);
    };
    const libyuv::FilterMode filter = oneToOne ? libyuv::kFilterNone : libyuv::kFilterBilinear;
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> scratch;
    PicturePool pixels(3);
    QImage made;

    Timed ours, oursGui, sdl, yuvDirect, swsP, swsB, yuvNv12, yuvViaNv12, yuvViaI422, tjFull, tjHalf;
    // Every measurement of the case, run in turn; each round starts one
    // further on, so none always runs first (on cold caches) or last.
    std::vector<std::function<void()>> steps;
    if (jpeg)
        steps.push_back([&] {
            ours.run([&] {
                SDLBackgroundDecoder::decode(tj, k.frame, QSize(k.w, k.h), crop, at, scratch, pixels, made);
            });
        });
    else
        steps.push_back([&] {
            ours.run([&] {
                SDLBackgroundDecoder::convertRaw(data, k.frame.size(), k.format, QSize(k.w, k.h), crop, at,
                                                 scratch, pixels, made);
            });
        });
    // The interface thread: the pass that hands the frame over, then the pass that shows it.
    steps.push_back([&] {
        cam.queueFrame(k.frame, k.w, k.h);
        oursGui.run([&] { window.renderFrame(); });
        window.waitDecoded(2000);
        oursGui.run([&] { window.renderFrame(); });
    });
    if (jpeg) {
        steps.push_back([&] {
            tjFull.run([&] {
                tjDecompress2(tj, data, (unsigned long)k.frame.size(), out.data(), k.w, k.w * 4, k.h, TJPF_BGRX, 0);
            });
        });
        if (!oneToOne && k.w >= 3840)
            steps.push_back([&] {
                tjHalf.run([&] {
                    tjDecompress2(tj, data, (unsigned long)k.frame.size(), out.data(), k.w / 2, k.w * 2, k.h / 2,
                                  TJPF_BGRX, 0);
                });
            });
    } else {
        if (oneToOne) {
            steps.push_back([&] {
                sdl.run([&] {
                    SDL_ConvertPixels(k.w, k.h, nv12 ? SDL_PIXELFORMAT_NV12 : SDL_PIXELFORMAT_YUY2, data,
                                      nv12 ? k.w : k.w * 2, SDL_PIXELFORMAT_ARGB8888, out.data(), k.w * 4);
                });
            });
            steps.push_back([&] {
                yuvDirect.run([&] {
                    if (nv12)
                        libyuv::NV12ToARGB(data, k.w, data + size_t(k.w) * k.h, k.w, out.data(), k.w * 4, k.w, k.h);
                    else
                        libyuv::YUY2ToARGB(data, k.w * 2, out.data(), k.w * 4, k.w, k.h);
                });
            });
        }
        steps.push_back([&] { swsP.run([&] { runSws(swsPoint); }); });
        steps.push_back([&] { swsB.run([&] { runSws(swsBilinear); }); });
        uint8_t* dy = planes.data();
        uint8_t* duv = dy + size_t(ow) * oh;
        const int cw = (ow + 1) / 2;
        uint8_t* fy = duv + size_t(cw) * 2 * oh;
        if (nv12) {
            steps.push_back([&, dy, duv, cw] {
                yuvNv12.run([&] {
                    libyuv::NV12Scale(data, k.w, data + size_t(k.w) * k.h, k.w, k.w, k.h, dy, ow, duv, cw * 2, ow,
                                      oh, filter);
                    libyuv::NV12ToARGB(dy, ow, duv, cw * 2, out.data(), ow * 4, ow, oh);
                });
            });
        } else {
            // Through NV12 (chroma rows averaged first), then as NV12.
            steps.push_back([&, dy, duv, cw, fy] {
                uint8_t* fuv = fy + size_t(k.w) * k.h;
                yuvViaNv12.run([&] {
                    libyuv::YUY2ToNV12(data, k.w * 2, fy, k.w, fuv, k.w, k.w, k.h);
                    libyuv::NV12Scale(fy, k.w, fuv, k.w, k.w, k.h, dy, ow, duv, cw * 2, ow, oh, filter);
                    libyuv::NV12ToARGB(dy, ow, duv, cw * 2, out.data(), ow * 4, ow, oh);
                });
            });
            // Through the 4:2:2 planes.
            steps.push_back([&, dy, duv, cw, fy] {
                uint8_t* fu = fy + size_t(k.w) * k.h;
                uint8_t* fv = fu + size_t(k.w / 2) * k.h;
                uint8_t* du = duv;
                uint8_t* dv = du + size_t(cw) * oh;
                yuvViaI422.run([&] {
                    libyuv::YUY2ToI422(data, k.w * 2, fy, k.w, fu, k.w / 2, fv, k.w / 2, k.w, k.h);
                    libyuv::I422Scale(fy, k.w, fu, k.w / 2, fv, k.w / 2, k.w, k.h, dy, ow, du, cw, dv, cw, ow, oh,
                                      filter);
                    libyuv::I422ToARGB(dy, ow, du, cw, dv, cw, out.data(), ow * 4, ow, oh);
                });
            });
        }
    }
    for (int r = 0; r < rounds + 1; ++r) {
        if (r == 1) // the first round warms textures and buffers up
            ours = oursGui = sdl = yuvDirect = swsP = swsB = yuvNv12 = yuvViaNv12 = yuvViaI422 =
                tjFull = tjHalf = Timed();
        for (size_t i = 0; i < steps.size(); ++i) {
            evictCaches();
            steps[(i + size_t(r)) % steps.size()]();
        }
    }
    std::printf("%-10s %4dx%-4d on %4dx%-4d picture %4dx%-4d (step %d)\n", k.name, k.w, k.h, k.canvas.width(),
                k.canvas.height(), ow, oh, crop.step);
    auto line = [&](const char* what, const Timed& t) {
        if (t.wall.empty())
            return;
        std::printf("    %-44s wall %7.2f ms  cpu %7.2f ms", what, t.w(), t.c());
        if (&t != &ours && &t != &oursGui)
            std::printf("   ours/this: wall %.2f  cpu %.2f", ours.w() / t.w(), ours.c() / t.c());
        std::printf("\n");
    };
    line(jpeg ? "ours: decode to the picture (worker)" : "ours: scale-first conversion (worker)", ours);
    line("ours: interface thread, two passes", oursGui);
    const Timed* refs[] = {&sdl, &yuvDirect, &swsP, &swsB, &yuvNv12, &yuvViaNv12, &yuvViaI422, &tjFull, &tjHalf};
    const char* names[] = {"SDL_ConvertPixels to ARGB, 1:1",
                           "libyuv one-call conversion, 1:1",
                           "swscale SWS_POINT + BGRA, one pass",
                           "swscale SWS_FAST_BILINEAR + BGRA, one pass",
                           "libyuv NV12Scale + NV12ToARGB",
                           "libyuv YUY2ToNV12 + NV12Scale + NV12ToARGB",
                           "libyuv YUY2ToI422 + I422Scale + I422ToARGB",
                           "tjDecompress2 BGRX, full size",
                           "tjDecompress2 BGRX, half scale"};
    const Timed* best = nullptr;
    const char* bestName = "";
    for (size_t i = 0; i < sizeof(refs) / sizeof(refs[0]); ++i) {
        line(names[i], *refs[i]);
        if (!refs[i]->wall.empty() && (!best || refs[i]->w() < best->w())) {
            best = refs[i];
            bestName = names[i];
        }
    }
    if (best)
        std::printf("    => ours / strongest reference (%s): wall %.2f  cpu %.2f\n", bestName, ours.w() / best->w(),
                    ours.c() / best->c());
    sws_freeContext(swsPoint);
    sws_freeContext(swsBilinear);
    tjDestroy(tj);
}

} // namespace

int main() {
    const QSize view(1265, 712);
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        const int w = size.width(), h = size.height();
        const int rounds = w > 2000 ? 21 : 41;
        const cv::Mat bgr = benchSpecimen(w, h);
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
