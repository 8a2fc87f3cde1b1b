// One render pass of the video window per frame, beside the bare conversion
// of the same frame measured in the same run: TurboJPEG's decode to YUV for
// MJPG, libswscale's conversion to RGB32 for YUY2 and NV12 (nothing for BGR24).
// The canvas is 1920x1080 with the picture fitted to it (4K frames are shown
// at half size), and, as a second figure, a canvas of the frame's own size.
#include "camera/FrameServerCamera.h"
#include "camera/SDLBackground.h"
#include "platform/YuvPack.h"

extern "C" {
#include <libswscale/swscale.h>
}
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double medianMs(int runs, const std::function<void()>& fn) {
    fn(); // warm-up: textures, scratch buffers
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        fn();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// A picture with the texture of a real specimen: shapes, gradients and grain,
// so that JPEG frames have a realistic size.
cv::Mat specimenLike(int w, int h) {
    cv::Mat bgr(h, w, CV_8UC3);
    cv::randu(bgr, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(bgr, bgr, cv::Size(0, 0), 1.2);
    for (int i = 0; i < 40; ++i)
        cv::circle(bgr, cv::Point((i * 977) % w, (i * 613) % h), 40 + (i * 37) % 200,
                   cv::Scalar((i * 50) % 255, (i * 90) % 255, (i * 130) % 255), 6, cv::LINE_AA);
    return bgr;
}

double renderPassMs(int format, const QByteArray& frame, int w, int h, QSize canvas, int runs) {
    SDLBackground window;
    window.setCanvasSize(canvas);
    const double s = std::min(double(canvas.width()) / w, double(canvas.height()) / h);
    window.move(QPoint(0, 0));
    window.resize(QSize(int(w * s), int(h * s)));
    window.show();
    FrameServerCamera cam(format, w, h);
    window.attachUsbCamera(&cam, w, h);
    return medianMs(runs, [&] {
        cam.queueFrame(frame, w, h);
        window.renderFrame();
    });
}

double netPassMs(const QByteArray& bgr, int w, int h, QSize canvas, int runs) {
    SDLBackground window;
    window.setCanvasSize(canvas);
    const double s = std::min(double(canvas.width()) / w, double(canvas.height()) / h);
    window.resize(QSize(int(w * s), int(h * s)));
    window.show();
    FrameServerNetFeed net;
    net.setFrame(bgr, w, h);
    window.attachNetCamera(&net, w, h);
    return medianMs(runs, [&] {
        ++net.index;
        window.renderFrame();
    });
}

double swscaleMs(AVPixelFormat src, const QByteArray& frame, int w, int h, int runs) {
    SwsContext* sws = sws_getContext(w, h, src, w, h, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
    std::vector<uint8_t> out(size_t(w) * h * 4);
    const auto* base = reinterpret_cast<const uint8_t*>(frame.constData());
    const uint8_t* planes[2] = {base, base + size_t(w) * h};
    const int strides[2] = {src == AV_PIX_FMT_YUYV422 ? w * 2 : w, w};
    uint8_t* dst[1] = {out.data()};
    const int dstStride[1] = {w * 4};
    const double ms = medianMs(runs, [&] { sws_scale(sws, planes, strides, 0, h, dst, dstStride); });
    sws_freeContext(sws);
    return ms;
}

double jpegDecodeMs(const QByteArray& jpeg, int w, int h, int runs) {
    tjhandle tj = tjInitDecompress();
    std::vector<uint8_t> yuv(size_t(w) * h * 2);
    const double ms = medianMs(runs, [&] {
        tjDecompressToYUV2(tj, reinterpret_cast<const unsigned char*>(jpeg.constData()), jpeg.size(), yuv.data(), w,
                           1, h, 0);
    });
    tjDestroy(tj);
    return ms;
}

void row(const char* name, int w, int h, double fitted, double native, double reference) {
    if (reference > 0)
        std::printf("%-14s %4dx%-4d  fitted %7.2f ms  native %7.2f ms  reference %7.2f ms  ratio %.2f / %.2f\n",
                    name, w, h, fitted, native, reference, fitted / reference, native / reference);
    else
        std::printf("%-14s %4dx%-4d  fitted %7.2f ms  native %7.2f ms  (no reference)\n", name, w, h, fitted,
                    native);
}

} // namespace

int main() {
    const QSize screen(1920, 1080);
    std::printf("render pass (fitted on a 1920x1080 canvas; native = canvas of the frame size) vs bare conversion\n");
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)}) {
        const int w = size.width(), h = size.height();
        const int runs = w > 2000 ? 15 : 40;
        const cv::Mat bgr = specimenLike(w, h);
        QByteArray yuyv(int(YuvPack::rawFrameBytes(PixFmtYUYV, w, h)), Qt::Uninitialized);
        YuvPack::bgrToYuyv(bgr, reinterpret_cast<uint8_t*>(yuyv.data()));
        QByteArray nv12(int(YuvPack::rawFrameBytes(PixFmtNV12, w, h)), Qt::Uninitialized);
        YuvPack::bgrToNv12(bgr, reinterpret_cast<uint8_t*>(nv12.data()));
        const QByteArray jpeg420 = YuvPack::bgrToJpeg(bgr, 85, false);
        const QByteArray jpeg422 = YuvPack::bgrToJpeg(bgr, 85, true);
        const QByteArray raw(reinterpret_cast<const char*>(bgr.data), int(bgr.total() * 3));

        row("YUY2", w, h, renderPassMs(PixFmtYUYV, yuyv, w, h, screen, runs),
            renderPassMs(PixFmtYUYV, yuyv, w, h, size, runs), swscaleMs(AV_PIX_FMT_YUYV422, yuyv, w, h, runs));
        row("NV12", w, h, renderPassMs(PixFmtNV12, nv12, w, h, screen, runs),
            renderPassMs(PixFmtNV12, nv12, w, h, size, runs), swscaleMs(AV_PIX_FMT_NV12, nv12, w, h, runs));
        const double mj420 = renderPassMs(PixFmtMJPG, jpeg420, w, h, screen, runs);
        const double mj420n = renderPassMs(PixFmtMJPG, jpeg420, w, h, size, runs);
        row("MJPG 4:2:0", w, h, mj420, mj420n, jpegDecodeMs(jpeg420, w, h, runs));
        row("MJPG 4:2:2", w, h, renderPassMs(PixFmtMJPG, jpeg422, w, h, screen, runs),
            renderPassMs(PixFmtMJPG, jpeg422, w, h, size, runs), jpegDecodeMs(jpeg422, w, h, runs));
        row("BGR24 (net)", w, h, netPassMs(raw, w, h, screen, runs), netPassMs(raw, w, h, size, runs), 0);
        if (w == 3840)
            std::printf("MJPG 3840x2160 on one core: %.1f frames/s fitted, %.1f frames/s native (target 30)\n",
                        1000.0 / mj420, 1000.0 / mj420n);
    }
    return 0;
}
