// The simulated camera's focus sweep: CPU and wall time per picture of its
// specimen drawing (SimSpecimen::renderInto), beside the drawing as it was
// before (namespace `before`, kept here alone), in one run (the arms take
// turns, round after round; medians of the rounds).
// Geometry: the sweep the simulated USB camera draws ("4:tilt=0.005:sweep=4",
// as the focus-stacking tests and benchmarks run it): 3840x2160, one
// specimen unit a pixel, the stage at the origin, depth 0.005 x, the focus
// turning from 0 to 19.2 and back in 4 s each way. Every picture is a new
// focus, drawn into the buffer of the one before with one kept Scratch, as
// the camera's drawing thread does. Ours keeps the blurred bands of the
// picture before, so its cost depends on the focus step: arms at the steps
// of the camera's 30 pictures a second and of 10 a second (the program takes
// in some 9); the drawing before draws every picture whole. Beside them a
// flat specimen in focus while the stage pans (the stitching tests' camera),
// ours and the drawing before, which drew it straight into the picture.
// First the two drawings are compared pixel for pixel over sweeps of other
// steps, tilts, offsets and sizes too, some pictures after a drawing stopped
// part way; any difference ends the run (exit 1).
// Arguments: rounds (default 10); OpenCV threads (default 1, so that the
// thread's CPU is all the drawing takes; process CPU beside it).
#include "platform/SimSpecimen.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

namespace before {

using namespace SimSpecimen;

struct Scratch {
    cv::Mat sharp, blurred;
    SimSpecimen::Scratch specimen; // draws the sharp specimen, anew for every picture
};

bool applyFocus(cv::Mat& img, const View& v, const std::function<bool()>& cancelled, Scratch& scratch) {
    const double upp = v.unitsPerPixel;
    if (v.tilt == 0.0) {
        const double s = std::min(kMaxBlurPixels, kBlurPerDepth * std::abs(v.focus) / upp);
        if (s >= 0.3)
            cv::GaussianBlur(img, img, cv::Size(0, 0), s);
        return true;
    }
    // Bands of columns share one depth; each blur level is computed once over
    // the columns that need it.
    constexpr int band = 32;
    std::map<double, std::vector<int>> bandsByLevel;
    for (int bx = 0; bx < img.cols; bx += band) {
        const double x = v.offset.x() + (bx + band / 2.0) * upp;
        const double level = bandBlur(v.focus - depthAt(x, v.tilt), upp);
        bandsByLevel[level].push_back(bx);
    }
    img.copyTo(scratch.sharp);
    const cv::Mat& sharp = scratch.sharp;
    scratch.blurred.create(img.size(), img.type());
    for (const auto& [level, bands] : bandsByLevel) {
        if (level < 0.3)
            continue;
        if (cancelled && cancelled())
            return false;
        const int margin = int(std::ceil(3 * level)) + 1;
        const int lo = std::max(0, bands.front() - margin);
        const int hi = std::min(img.cols, bands.back() + band + margin);
        cv::Mat blurred = scratch.blurred(cv::Rect(0, 0, hi - lo, img.rows));
        cv::GaussianBlur(sharp(cv::Rect(lo, 0, hi - lo, img.rows)), blurred, cv::Size(0, 0), level, 0,
                         cv::BORDER_REFLECT);
        for (int bx : bands) {
            const int w = std::min(band, img.cols - bx);
            blurred(cv::Rect(bx - lo, 0, w, img.rows)).copyTo(img(cv::Rect(bx, 0, w, img.rows)));
        }
    }
    return true;
}

bool renderInto(const View& view, cv::Mat& img, Scratch& scratch) {
    if (view.size.isEmpty() || view.unitsPerPixel <= 0)
        return false;
    // Grain, grid and discs are drawn as they always were: a flat specimen
    // at focus 0 is the sharp specimen, unblurred, and one at a new place is
    // drawn straight into the picture, as the drawing before did.
    View flat = view;
    flat.focus = flat.tilt = 0.0;
    scratch.specimen.sharpShown = false;
    scratch.specimen.lastPlace = {};
    if (!SimSpecimen::renderInto(flat, {}, img, scratch.specimen))
        return false;
    return applyFocus(img, view, {}, scratch);
}

// How many of the view's blur levels the drawing before blurred over every
// column (OpenCV's whole-matrix way) and how many over a part.
std::pair<int, int> wholeAndPartLevels(const View& v) {
    std::map<double, std::pair<int, int>> spans;
    for (int bx = 0; bx < v.size.width(); bx += 32) {
        const double x = v.offset.x() + (bx + 16.0) * v.unitsPerPixel;
        const double level = bandBlur(v.focus - depthAt(x, v.tilt), v.unitsPerPixel);
        auto it = spans.emplace(level, std::make_pair(bx, bx)).first;
        it->second.second = bx;
    }
    int whole = 0, part = 0;
    for (const auto& [level, span] : spans) {
        if (level < 0.3 || v.tilt == 0.0)
            continue;
        const int margin = int(std::ceil(3 * level)) + 1;
        (span.first - margin <= 0 && span.second + 32 + margin >= v.size.width() ? whole : part)++;
    }
    return {whole, part};
}

} // namespace before

namespace {

double clockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A sweep's focus positions: from the depth at the picture's left edge to
// the depth at its right edge and back in `steps` pictures, with `beyond`
// units more at both ends (a flat specimen: -beyond to beyond).
std::vector<double> sweepFoci(const SimSpecimen::View& v, int steps, double beyond) {
    const double near = SimSpecimen::depthAt(v.offset.x(), v.tilt);
    const double far = SimSpecimen::depthAt(v.offset.x() + v.size.width() * v.unitsPerPixel, v.tilt);
    const double a = std::min(near, far) - beyond, b = std::max(near, far) + beyond;
    std::vector<double> out;
    for (int i = 0; i < steps; ++i) {
        const double phase = 2.0 * i / steps;
        out.push_back(a + (b - a) * (phase < 1.0 ? phase : 2.0 - phase));
    }
    return out;
}

SimSpecimen::View viewOf(QSize size, double upp, QPointF offset, double tilt) {
    SimSpecimen::View v;
    v.size = size;
    v.unitsPerPixel = upp;
    v.offset = offset;
    v.tilt = tilt;
    return v;
}

// Pictures of sweeps drawn both ways, ours with one Scratch across all of
// them, so that it keeps its blurred bands from picture to picture and from
// sweep to sweep, and must draw the sharp specimen again at each move of the
// view. Some sweeps have every picture follow a drawing stopped part way (at
// the first ask, the second, ...) at another focus. False at the first
// difference.
bool sameAsBefore() {
    struct Sweep {
        SimSpecimen::View view;
        int steps, from, count; // pictures [from, from + count) of a sweep of `steps` there and back
        bool stops;
    };
    const QSize k4(3840, 2160), k1080(1920, 1080), k720(1280, 720);
    const Sweep sweeps[] = {
        {viewOf(k4, 1, {0, 0}, 0.005), 40, 0, 40, false},            // the camera's sweep, long steps
        {viewOf(k4, 1, {0, 0}, 0.005), 240, 100, 40, false},         // its own steps, past the far end
        {viewOf(k4, 1, {0, 0}, 0.005), 240, 50, 6, true},            // drawings stopped in between
        {viewOf(k4, 1, {731.25, -412.5}, 0.005), 16, 0, 16, false},  // the stage moved
        {viewOf(k4, 1, {731.25, -412.5}, -0.004), 16, 0, 16, false}, // tilted the other way
        {viewOf(k1080, 2, {0, 0}, 0.005), 120, 0, 120, false},       // the camera at half size
        {viewOf(k720, 3, {-1000.5, 333}, 10.0 / 1280), 24, 0, 24, true},
        {viewOf(QSize(640, 360), 2, {5, 7}, 0.02), 60, 0, 60, false},
        {viewOf(QSize(1000, 300), 1.5, {-3, 2}, 0.03), 48, 0, 48, true}, // a last band cut short
        {viewOf(k720, 3, {0, 0}, 0.0), 16, 0, 16, false},                // flat
        {viewOf(k720, 3, {-1000.5, 333}, 10.0 / 1280), 24, 5, 8, false}, // back to an earlier view
        {viewOf(k4, 1, {0, 0}, 0.005), 240, 0, 12, false},               // the first again
    };
    SimSpecimen::Scratch ours;
    before::Scratch theirs;
    cv::Mat a, b, stopped;
    int pictures = 0, whole = 0, part = 0, stops = 0;
    for (const Sweep& s : sweeps) {
        SimSpecimen::View v = s.view;
        const std::vector<double> foci = sweepFoci(v, s.steps, 3.0);
        for (int k = s.from; k < s.from + s.count; ++k) {
            if (s.stops) {
                SimSpecimen::View elsewhere = v;
                elsewhere.focus = foci[size_t(k + s.steps / 2) % foci.size()];
                int asked = 0;
                const int stopAt = 1 + k % 6;
                stops += !SimSpecimen::renderInto(
                    elsewhere, [&] { return ++asked >= stopAt; }, stopped, ours);
            }
            v.focus = foci[size_t(k) % foci.size()];
            if (!SimSpecimen::renderInto(v, {}, a, ours) || !before::renderInto(v, b, theirs)) {
                std::printf("no picture at %dx%d focus %g\n", v.size.width(), v.size.height(), v.focus);
                return false;
            }
            const double diff = cv::norm(a, b, cv::NORM_INF);
            if (diff != 0.0) {
                std::printf(
                    "DIFFERENT: %dx%d, %g units/pixel, offset (%g, %g), tilt %g, focus %g: up to %g\n",
                    v.size.width(), v.size.height(), v.unitsPerPixel, v.offset.x(), v.offset.y(), v.tilt,
                    v.focus, diff);
                return false;
            }
            const auto [w, p] = before::wholeAndPartLevels(v);
            whole += w;
            part += p;
            ++pictures;
        }
    }
    std::printf("identical: %d pictures of %zu sweeps, %d of them after a drawing stopped part way (blur "
                "levels the drawing before took whole: %d, as a part: %d)\n",
                pictures, std::size(sweeps), stops, whole, part);
    return true;
}

struct Figures {
    double threadMs = 0, processMs = 0, wallMs = 0; // per picture
};

// One way of drawing, walking a sweep there and back picture after picture.
struct Arm {
    const char* name;
    std::function<bool(const SimSpecimen::View&, cv::Mat&)> draw;
    std::vector<double> foci;
    size_t next = 0;
    bool pans = false; // a flat specimen in focus, the stage moving every picture
};

Figures drawOn(Arm& arm, int pictures) {
    SimSpecimen::View v = viewOf(QSize(3840, 2160), 1.0, {0, 0}, arm.pans ? 0.0 : 0.005);
    cv::Mat picture;
    const double t0 = clockMs(CLOCK_THREAD_CPUTIME_ID), p0 = clockMs(CLOCK_PROCESS_CPUTIME_ID);
    const auto w0 = std::chrono::steady_clock::now();
    for (int i = 0; i < pictures; ++i) {
        if (arm.pans) {
            v.offset = QPointF(7.5 * double(arm.next), 3.0 * double(arm.next % 200));
            ++arm.next;
        } else
            v.focus = arm.foci[arm.next++ % arm.foci.size()];
        if (!arm.draw(v, picture))
            std::abort();
    }
    Figures f;
    f.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - w0).count() / pictures;
    f.threadMs = (clockMs(CLOCK_THREAD_CPUTIME_ID) - t0) / pictures;
    f.processMs = (clockMs(CLOCK_PROCESS_CPUTIME_ID) - p0) / pictures;
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    cv::setNumThreads(argc > 2 ? std::max(1, std::atoi(argv[2])) : 1);
    if (!sameAsBefore())
        return 1;

    // The camera's sweep of 4 s each way (as the focus-stacking tests and
    // benchmarks run it): at its 30 frames a second, 240 pictures there and
    // back; at the 10 a second the program takes in at best, 80.
    const SimSpecimen::View sweep = viewOf(QSize(3840, 2160), 1.0, {0, 0}, 0.005);
    SimSpecimen::Scratch ours30, ours10, oursPanning;
    before::Scratch theirs, theirsPanning;
    std::vector<Arm> arms = {
        {"ours, 30/s steps",
         [&](const SimSpecimen::View& v, cv::Mat& out) {
             return SimSpecimen::renderInto(v, {}, out, ours30);
         },
         sweepFoci(sweep, 240, 0.0)},
        {"ours, 10/s steps",
         [&](const SimSpecimen::View& v, cv::Mat& out) {
             return SimSpecimen::renderInto(v, {}, out, ours10);
         },
         sweepFoci(sweep, 80, 0.0)},
        {"ours, panning",
         [&](const SimSpecimen::View& v, cv::Mat& out) {
             return SimSpecimen::renderInto(v, {}, out, oursPanning);
         },
         {}, 0, true},
        {"before, panning",
         [&](const SimSpecimen::View& v, cv::Mat& out) { return before::renderInto(v, out, theirsPanning); },
         {}, 0, true},
        {"before",
         [&](const SimSpecimen::View& v, cv::Mat& out) { return before::renderInto(v, out, theirs); },
         sweepFoci(sweep, 240, 0.0)},
    };
    for (Arm& arm : arms) { // planes made, and ours its sharp specimen and first bands
        drawOn(arm, 1);
        arm.next = 0;
    }
    constexpr int kPictures = 16; // an arm's pictures a round, going on along its sweep
    std::vector<std::vector<Figures>> got(arms.size());
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < arms.size(); ++i) {
            const size_t arm = (i + size_t(r)) % arms.size();
            got[arm].push_back(drawOn(arms[arm], kPictures));
        }
    std::printf("3840x2160 sweep, tilt 0.005, focus 0..19.2..0 (panning: flat, focus 0, 7.5 pixels a "
                "picture), %d rounds of %d pictures an arm, OpenCV "
                "threads %d (per picture: median of the rounds; mean)\n",
                rounds, kPictures, cv::getNumThreads());
    std::vector<Figures> med(arms.size());
    for (size_t a = 0; a < arms.size(); ++a) {
        std::vector<double> t, p, w;
        Figures mean;
        for (const Figures& f : got[a]) {
            t.push_back(f.threadMs);
            p.push_back(f.processMs);
            w.push_back(f.wallMs);
            mean.threadMs += f.threadMs / rounds;
            mean.processMs += f.processMs / rounds;
            mean.wallMs += f.wallMs / rounds;
        }
        med[a] = {median(t), median(p), median(w)};
        std::printf(
            "    %-17s thread cpu %6.1f ms (mean %6.1f)  process cpu %6.1f ms  wall %6.1f ms (mean %6.1f)\n",
            arms[a].name, med[a].threadMs, mean.threadMs, med[a].processMs, med[a].wallMs, mean.wallMs);
    }
    // Each of ours against the drawing before of its own kind.
    const auto against = [&](size_t a, size_t b) {
        std::printf("    => %s / %s: thread cpu %.3f  process cpu %.3f  wall %.3f\n", arms[a].name, arms[b].name,
                    med[a].threadMs / med[b].threadMs, med[a].processMs / med[b].processMs,
                    med[a].wallMs / med[b].wallMs);
    };
    against(0, 4);
    against(1, 4);
    against(2, 3);
    return 0;
}
