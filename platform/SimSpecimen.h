#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include <opencv2/core.hpp>

#include <functional>
#include <vector>

// The procedural specimen the simulated cameras look at: a light background
// with fine grain, a grid of dark lines and a lattice of coloured discs, all
// fixed in specimen coordinates ("units"), so that moving the stage moves the
// picture and neighbouring views overlap exactly (stitching), and a focus
// position blurs the parts of the specimen whose depth differs from it
// (focus stacking). Deterministic; any thread.
namespace SimSpecimen {

constexpr double kGridPitch = 500.0;   // units between grid lines (lines at multiples)
constexpr double kGridLineWidth = 6.0; // units
constexpr double kDiscCell = 500.0;    // one disc per cell, cells offset by half a pitch from the grid
constexpr double kGrainCell = 4.0;     // units per grain cell
constexpr double kBlurPerDepth = 1.5;  // blur sigma (units) per unit of defocus
constexpr double kMaxBlurPixels = 24.0;

struct View {
    QSize size;                // picture size in pixels
    double unitsPerPixel = 1.0;
    QPointF offset;            // specimen position of the picture's top-left corner (the stage)
    double focus = 0.0;        // focus position, in depth units
    double tilt = 0.0;         // depth = tilt * x (units): 0 is a flat specimen
};

struct Disc {
    QPointF centre; // units
    double radius;  // units
    cv::Vec3b bgr;
};

// The picture (CV_8UC3, BGR) the view shows.
cv::Mat render(const View& view);
// The same, asking `cancelled` between the pieces of the drawing (bands of
// rows, each blur level); an empty picture when it answered true.
cv::Mat render(const View& view, const std::function<bool()>& cancelled);

// The working planes of a drawing, kept by a caller that draws picture after
// picture (a focus sweep) so that none is made again for the next one. The
// sharp specimen is drawn again only when the view moves (size, scale,
// offset), and of a tilted specimen's bands of columns only those whose blur
// changed since the last picture are blurred again.
struct Scratch {
    cv::Mat sharp;           // grain, grid and discs
    cv::Mat focused;         // the last tilted picture
    cv::Mat edges;           // columns beside a blurred run, kept while the blur writes over them
    struct Place {            // what the sharp drawing depends on
        QSize size;
        double unitsPerPixel = 0;
        QPointF offset;
        bool operator==(const Place& o) const {
            return size == o.size && unitsPerPixel == o.unitsPerPixel && offset == o.offset;
        }
    };
    bool sharpShown = false; // `sharp` is whole and shows `sharpPlace`
    Place sharpPlace;
    Place lastPlace;         // of the last picture drawn
    struct Blur {
        double level; // sigma in pixels; negative: not known
        bool whole;   // OpenCV's way for a whole matrix
    };
    std::vector<Blur> bandBlurs; // of each band of `focused`
};
// Draws into `out`, reusing its buffer when it has the view's size (no
// other matrix may share it); false, with `out` in an unknown state, when
// `cancelled` answered true.
bool renderInto(const View& view, const std::function<bool()>& cancelled, cv::Mat& out, Scratch& scratch);

// Discs whose centres lie in the given specimen rectangle (for tests that aim
// at an edge).
QList<Disc> discsIn(const QRectF& units);

// The blur (Gaussian sigma in pixels) of a band of a tilted specimen at a
// defocus (depth units) and scale: quantised to a few levels.
double bandBlur(double defocus, double unitsPerPixel);

// Depth of the specimen at specimen x for a tilt.
inline double depthAt(double x, double tilt) { return tilt * x; }

} // namespace SimSpecimen
