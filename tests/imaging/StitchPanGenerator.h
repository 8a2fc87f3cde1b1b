#pragma once

#include <QPoint>
#include <QPointF>

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// A synthetic specimen much larger than a camera frame, and the frames a
// camera would deliver while the stage pans over it along a known path.
// Reusable by the stitching tests, the panel's tests and the benchmarks.
//
// The specimen is textured everywhere (smooth colour shading, fine grain and
// thousands of small shapes) except one nearly uniform patch. Frames are
// 8-bit RGB crops at the stage positions (resampled where a position has a
// fraction), optionally with vignetting, Gaussian sensor noise and a JPEG
// round trip, and halved for Fast mode.

struct StitchPanOptions {
    // What lies on the stage: the textured specimen, a page of printed text,
    // a newspaper-like page (columns, headlines, rules, picture boxes), or
    // parallel stripes with small irregularities (veins), or window blinds:
    // soft-shaded slats repeating every 36 pixels, their cords and little
    // else, with leaves and stems in front of them in the right half; or a
    // page seen close up: mostly white, a few short paragraphs far apart.
    enum Kind { Textured, Text, Newspaper, Stripes, Blinds, SparseText };
    Kind kind = Textured;
    cv::Size cameraFrame{1920, 1080}; // frame size the camera delivers
    bool halve = false;               // Fast mode: the panel halves each frame
    double vignetting = 0.0;          // share of brightness lost in the corners (0..1)
    double noiseSigma = 0.0;          // Gaussian sensor noise, grey levels
    int jpegQuality = 0;              // > 0: JPEG round trip at this quality
    uint64_t seed = 1;                // specimen, noise and fractions
    bool subpixel = false;            // each stop gets a random fraction of a pixel
    cv::Size specimen{5800, 2400};    // camera pixels
    // The nearly uniform patch (camera pixels): right of the default path,
    // so that the path's last column sees its edge and a frame fits inside.
    cv::Rect uniformPatch{3640, 300, 2000, 1200};
};

// The path: a serpentine of stops, a frame in transit between stops, a hold
// at each stop, then an abrupt jump far from the last stop (tracking is
// lost) onto the edge of covered ground where the frame is mostly the
// uniform patch (the coarse ORB search finds too few features there and the
// SIFT registration has to locate it), then a few stops onwards from there.
// Positions are in camera pixels and must be even when frames are halved.
struct StitchPanPlan {
    QPoint origin{200, 400};  // first stop
    int cols = 4;
    int rows = 2;
    QPoint step{640, 360};    // between neighbouring stops
    int hold = 4;             // frames at each stop
    bool transit = true;      // one frame halfway between stops
    bool jump = true;
    QPoint jumpTo{3300, 424}; // where the jump lands
    int jumpHold = 20;        // frames held after the jump (13 failures, then the search)
    int afterJumpStops = 2;   // stops after the jump
    QPoint afterJumpStep{-640, 180};
    // Added once more at every stop (camera pixels): a stage whose step is
    // no whole number of pixels.
    QPointF drift{0.0, 0.0};
    // Frames in transit and the first frame at every stop after the first
    // are taken while the stage moves or settles: motion-blurred along the move.
    bool settleBlur = false;
    // Frames in transit are motion-blurred over twice this many pixels
    // (0: as settleBlur says; without it, the stage is still when each
    // stop's first frame is taken).
    int transitBlur = 0;
};

struct StitchPanFrame {
    cv::Mat image;     // RGB, the frame size of the mode
    QPointF truth;     // the frame's top-left on the specimen, in the mode's pixels
    int stop = -1;     // stop index, -1 in transit
    bool jumped = false;
};

class StitchPanGenerator {
public:
    explicit StitchPanGenerator(const StitchPanOptions& options = StitchPanOptions());
    // A generator with the default options, built once per process.
    static const StitchPanGenerator& standard();

    const StitchPanOptions& options() const { return m_options; }
    const cv::Mat& specimen() const { return m_specimen; }
    // Camera pixels.
    cv::Rect uniformPatch() const { return m_patch; }
    // Frame size of the mode.
    cv::Size frameSize() const;

    // The frame at a stage position (camera pixels, top-left on the
    // specimen). `serial` seeds the noise, so that still frames differ.
    cv::Mat frameAt(QPointF stage, int serial) const;

    // Every frame of a plan, in delivery order.
    std::vector<StitchPanFrame> pan(const StitchPanPlan& plan) const;
    // Stop positions of a plan (camera pixels), in order, jump included.
    static std::vector<QPoint> stops(const StitchPanPlan& plan);

    // The specimen with its patch; deterministic for a seed.
    static cv::Mat makeSpecimen(cv::Size size, cv::Rect patch, uint64_t seed,
                                StitchPanOptions::Kind kind = StitchPanOptions::Textured);
    // A plan of cols x rows stops a third of a frame apart, and a specimen
    // size that holds it, for a camera frame size.
    static StitchPanPlan planFor(cv::Size cameraFrame, int cols, int rows, cv::Size* specimen);

private:
    StitchPanOptions m_options;
    cv::Rect m_patch;
    cv::Mat m_specimen;
};
