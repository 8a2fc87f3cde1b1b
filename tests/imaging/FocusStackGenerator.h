#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// Synthetic focus stacks for the focus-stacking tests and benchmarks: an
// all-in-focus colour specimen (the truth), a depth map, and frames taken
// while the focus sweeps through the depth range, each with depth-dependent
// defocus blur, sensor noise and optional focus breathing (scale about the
// picture centre) and shift. Everything is deterministic for a given seed.
namespace FocusStackGenerator {

enum class Depth {
    TiltedPlane, // depth rises linearly from the left edge to the right edge
    Steps,       // four vertical bands at four depths
    Dome,        // highest in the centre, falling off as a spherical cap
};

struct StackParams {
    cv::Size size{640, 480};
    Depth depth = Depth::TiltedPlane;
    int frames = 30;
    double maxBlurSigma = 6.0; // Gaussian sigma in pixels at a focus distance of 1 (the whole depth range)
    double noiseSigma = 2.0;   // grey levels, Gaussian
    double breathing = 0.0;    // frame k is magnified by 1 + breathing * k about the centre
    double jitter = 0.0;       // frame k (k > 0) is shifted by up to +-jitter pixels in x and y
    uint64_t seed = 1;
};

// Geometry of a frame against the truth: a truth point x lands at
// centre + scale * (x - centre) + shift, centre = ((W - 1) / 2, (H - 1) / 2).
struct FrameGeometry {
    double scale = 1.0;
    cv::Point2d shift;
};

struct Stack {
    cv::Mat truth;              // RGB888, all in focus
    cv::Mat depth;              // CV_32F in [0, 1]
    std::vector<cv::Mat> frames; // RGB888; frame k focused at depth k / (frames - 1)
    std::vector<FrameGeometry> geometry;
};

// A dome stack whose frames breathe (scale 1 + 0.002 per frame) and shake by
// up to `jitter` pixels, blur up to 5 pixels: the Zoom And Align case.
StackParams breathingParams(cv::Size size, int frames, double jitter, uint64_t seed);

// A textured colour specimen (RGB888) with detail at every place and scale.
cv::Mat makeSpecimen(cv::Size size, uint64_t seed);
cv::Mat makeDepth(cv::Size size, Depth depth);
Stack makeStack(const StackParams& params);

// The simulated camera's tilted sweep: the simulator's specimen (grid, discs,
// grain) seen through a camera whose focus runs through the depth of a
// tilted specimen, so every frame is sharp in one band of columns only. The
// truth is the same view with no defocus. Frame k is focused at
// range x (phase + k / (frames - 1)) folded back at the ends (a hand turning
// the focus through the depth and back), range = tilt x 3840 units.
struct SweepParams {
    cv::Size size{1920, 1080}; // 3840 specimen units across
    double tilt = 0.005;
    int frames = 40;
    double phase = 0.0; // where in the sweep the first frame lies (0: nearest end)
    uint64_t seed = 1;  // the stage position
    // As the simulated USB camera sends them: JPEG (4:2:0) at this quality,
    // decoded again; 0 keeps the rendered frames.
    int jpegQuality = 0;
};
Stack makeSweep(const SweepParams& params);

// Moves a picture by a geometry (bilinear, reflected border).
cv::Mat warp(const cv::Mat& image, const FrameGeometry& g);

// Peak signal-to-noise ratio in dB over all channels, inside `roi` (the whole
// picture when empty); 99 for identical pictures.
double psnr(const cv::Mat& a, const cv::Mat& b, cv::Rect roi = cv::Rect());
// Normalised correlation (without removing the means) of two single-channel
// float pictures inside `r`; 0 when either is all zero there.
double correlation(const cv::Mat& a, const cv::Mat& b, const cv::Rect& r);
// Mean structural similarity of the luma, Gaussian window 11 (sigma 1.5).
double ssim(const cv::Mat& a, const cv::Mat& b, cv::Rect roi = cv::Rect());

// The naive reference fusion: every pixel from the frame with the largest
// |Laplacian| of the luma at that pixel.
cv::Mat laplacianArgmax(const std::vector<cv::Mat>& frames);

} // namespace FocusStackGenerator
