// Stitching core against OpenCV's references on the same synthetic pans of
// four specimen kinds (a textured specimen, printed text, a newspaper page,
// parallel veins; vignetting, sensor noise, JPEG round trip, sub-pixel stage
// positions): our loop (frame-to-frame matches, full search, registration,
// placing), cv::phaseCorrelate between consecutive frames, and cv::Stitcher
// in SCANS mode on the last frame of each stop (every frame with
// --stitcher-all-frames, which takes minutes). All with the same OpenCV
// thread count (first argument, default 1).
//
// Prints placement error per frame against the truth (median, p95, max),
// the share of stops placed, ms per frame-to-frame match (p50, p95), ms per
// full search, and total times with their ratios.
#include "tests/imaging/StitchLoopDriver.h"
#include "tests/imaging/StitchPanGenerator.h"

#include "imaging/StitchFeatherMask.h"
#include "imaging/StitchOverlapCheck.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/stitching.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    const double pos = p * double(v.size() - 1);
    const size_t lo = size_t(pos);
    const size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (pos - double(lo));
}

struct Figures {
    std::vector<double> errors; // per placed stop, pixels
    int placed = 0;
    int stops = 0;
    std::vector<double> matchMs;
    std::vector<double> searchMs;
    double totalMs = 0;
};

void print(const char* name, const Figures& f) {
    std::printf("%-28s err med %6.2f  p95 %7.2f  max %8.2f px | placed %2d/%2d (%5.1f%%) | match p50 %6.1f  p95 %6.1f ms",
                name, percentile(f.errors, 0.5), percentile(f.errors, 0.95),
                f.errors.empty() ? std::nan("") : *std::max_element(f.errors.begin(), f.errors.end()), f.placed,
                f.stops, 100.0 * f.placed / std::max(1, f.stops), percentile(f.matchMs, 0.5),
                percentile(f.matchMs, 0.95));
    if (!f.searchMs.empty())
        std::printf(" | search %7.1f ms", percentile(f.searchMs, 0.5));
    std::printf(" | total %8.1f ms\n", f.totalMs);
}

// Our loop over the whole pan, as the panel drives it.
Figures runOurs(const std::vector<StitchPanFrame>& frames, bool precision, int stops, bool subPixel) {
    StitchLoopDriver driver(precision);
    driver.mosaic().setSubPixelRefinement(subPixel);
    const cv::Mat full = buildStitchFeatherMask(1920, 1080, 800, 500);
    driver.setFeatherMasks(full, halveStitchFeatherMask(full));
    const auto t0 = Clock::now();
    driver.run(frames);
    Figures f;
    f.totalMs = msSince(t0);
    f.stops = stops;
    f.errors = driver.placementErrors(frames);
    std::map<int, bool> placedStops;
    for (int frame : driver.placementFrames())
        placedStops[frames[size_t(frame)].stop] = true;
    f.placed = int(placedStops.size());
    double searchMs = 0;
    for (const auto& r : driver.records()) {
        if (r.job != StitchLoopDriver::FrameMatch && subPixel)
            std::printf("  %s: job %.1f ms, applying the result %.1f ms, status %d\n",
                        r.job == StitchLoopDriver::FullSearch ? "full search" : "region match (after registration)",
                        r.ms, r.applyMs, r.status);
        if (r.job == StitchLoopDriver::FrameMatch)
            f.matchMs.push_back(r.ms);
        else
            searchMs += r.ms + r.applyMs; // coarse search, registration, region match
        if (r.job == StitchLoopDriver::FullSearch) {
            if (searchMs > 0 && r.status == StitchMoved)
                f.searchMs.push_back(searchMs), searchMs = 0;
        } else if (r.job == StitchLoopDriver::RegionMatch) {
            f.searchMs.push_back(searchMs);
            searchMs = 0;
        }
    }
    if (subPixel)
        std::printf("  ours: %d full searches, %d registrations, %d places refused by the overlap check, mosaic %dx%d\n",
                    driver.fullSearches, driver.registrations, driver.refusals, driver.mosaic().size().width(), driver.mosaic().size().height());
    return f;
}

// phaseCorrelate between consecutive frames, positions chained.
Figures runPhaseCorrelate(const std::vector<StitchPanFrame>& frames, int stops) {
    Figures f;
    f.stops = stops;
    const auto t0 = Clock::now();
    cv::Mat window, prev;
    cv::Point2d pos(0, 0);
    std::map<int, cv::Point2d> stopPos;
    for (size_t i = 0; i < frames.size(); ++i) {
        cv::Mat grey, g32;
        cv::cvtColor(frames[i].image, grey, cv::COLOR_RGB2GRAY);
        grey.convertTo(g32, CV_32F);
        if (window.empty())
            cv::createHanningWindow(window, g32.size(), CV_32F);
        if (!prev.empty()) {
            const auto m0 = Clock::now();
            const cv::Point2d shift = cv::phaseCorrelate(prev, g32, window);
            f.matchMs.push_back(msSince(m0));
            pos -= shift; // the content moves against the stage
        }
        prev = g32;
        if (frames[i].stop >= 0)
            stopPos[frames[i].stop] = pos;
    }
    f.totalMs = msSince(t0);
    const QPointF t0truth = frames.front().truth;
    for (const auto& sp : stopPos) {
        if (sp.first == 0)
            continue;
        QPointF truth;
        for (const auto& fr : frames)
            if (fr.stop == sp.first)
                truth = fr.truth - t0truth;
        f.errors.push_back(std::hypot(sp.second.x - truth.x(), sp.second.y - truth.y()));
    }
    f.placed = int(stopPos.size()); // it never refuses a pair
    return f;
}

// cv::Stitcher (SCANS) on every frame of the pan, or on the last frame of
// each stop only.
Figures runStitcher(const std::vector<StitchPanFrame>& frames, int stops, bool everyFrame) {
    std::vector<cv::Mat> images;
    std::vector<QPointF> truths;
    std::vector<int> stopOf;
    std::map<int, size_t> lastOfStop;
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i].stop >= 0)
            lastOfStop[frames[i].stop] = i;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!everyFrame && (frames[i].stop < 0 || lastOfStop[frames[i].stop] != i))
            continue;
        cv::Mat bgr;
        cv::cvtColor(frames[i].image, bgr, cv::COLOR_RGB2BGR);
        images.push_back(bgr);
        truths.push_back(frames[i].truth);
        stopOf.push_back(frames[i].stop);
    }
    Figures f;
    f.stops = stops;
    cv::Ptr<cv::Stitcher> stitcher = cv::Stitcher::create(cv::Stitcher::SCANS);
    cv::Mat pano;
    const auto t0 = Clock::now();
    const cv::Stitcher::Status status = stitcher->stitch(images, pano);
    f.totalMs = msSince(t0);
    if (status != cv::Stitcher::OK) {
        std::printf("  cv::Stitcher failed with status %d\n", int(status));
        return f;
    }
    // Registration runs at about 0.6 megapixels. Each camera's affine
    // transform q = A p + t maps the panorama to the image at that scale, so
    // the image's top-left lies at -A^-1 t.
    const double area = double(images[0].cols) * images[0].rows;
    const double workScale = std::min(1.0, std::sqrt(stitcher->registrationResol() * 1e6 / area));
    const std::vector<int> kept = stitcher->component();
    const std::vector<cv::detail::CameraParams> cams = stitcher->cameras();
    std::map<int, bool> placedStops;
    for (int k : kept)
        if (stopOf[size_t(k)] >= 0)
            placedStops[stopOf[size_t(k)]] = true;
    f.placed = int(placedStops.size());
    int ref = -1;
    for (size_t k = 0; k < kept.size(); ++k)
        if (kept[k] == 0)
            ref = int(k);
    if (ref < 0)
        return f;
    auto topLeft = [&](size_t k) {
        cv::Mat R;
        cams[k].R.convertTo(R, CV_64F);
        const cv::Matx22d a(R.at<double>(0, 0), R.at<double>(0, 1), R.at<double>(1, 0), R.at<double>(1, 1));
        const cv::Vec2d t(R.at<double>(0, 2), R.at<double>(1, 2));
        const cv::Vec2d p = -(a.inv() * t);
        return cv::Point2d(p[0], p[1]) / workScale;
    };
    const cv::Point2d p0 = topLeft(size_t(ref));
    for (size_t k = 0; k < kept.size(); ++k) {
        if (kept[k] == 0)
            continue;
        const cv::Point2d p = topLeft(k) - p0;
        const QPointF t = truths[size_t(kept[k])] - truths[0];
        f.errors.push_back(std::hypot(p.x - t.x(), p.y - t.y()));
    }
    return f;
}

// The overlap check's measure on each specimen kind: a frame against a
// mosaic holding the previous stop's frame, at the true place and off it by
// a pixel, three pixels, a stripe period (22) and a text line (30). The
// threshold (StitchMosaic::minAgreement) lies between the two groups.
void measureAgreement() {
    std::printf("\noverlap agreement (Precision, vignetting 25%%, noise 2.5, JPEG 90): min over 6 stop pairs\n");
    const std::pair<const char*, StitchPanOptions::Kind> kinds[] = {{"textured", StitchPanOptions::Textured},
                                                                   {"text", StitchPanOptions::Text},
                                                                   {"newspaper", StitchPanOptions::Newspaper},
                                                                   {"veins", StitchPanOptions::Stripes}};
    const QPoint offs[] = {QPoint(0, 0), QPoint(1, 0), QPoint(3, 2), QPoint(22, 0), QPoint(0, 30)};
    for (const auto& kind : kinds) {
        StitchPanOptions options;
        options.kind = kind.second;
        options.vignetting = 0.25;
        options.noiseSigma = 2.5;
        options.jpegQuality = 90;
        const StitchPanPlan plan = StitchPanGenerator::planFor(options.cameraFrame, 4, 2, &options.specimen);
        options.uniformPatch = cv::Rect();
        const StitchPanGenerator gen(options);
        const std::vector<QPoint> stops = StitchPanGenerator::stops(plan);
        double worst[5] = {1, 1, 1, 1, 1}, best[5] = {-1, -1, -1, -1, -1};
        for (size_t i = 1; i < 7; ++i) {
            cv::Mat mosaic(3000, 4000, CV_8UC3, cv::Scalar::all(0));
            const QPoint base(800, 800);
            gen.frameAt(QPointF(stops[i - 1]), int(i)).copyTo(mosaic(cv::Rect(base.x(), base.y(), 1920, 1080)));
            const cv::Mat frame = gen.frameAt(QPointF(stops[i]), int(i) + 100);
            for (int k = 0; k < 5; ++k) {
                const double a =
                    measureStitchOverlap(mosaic, frame, base + stops[i] - stops[i - 1] + offs[k]).agreement;
                worst[k] = std::min(worst[k], a);
                best[k] = std::max(best[k], a);
            }
        }
        std::printf("  %-10s true place min %.2f | off (1,0) max %.2f | (3,2) max %.2f | (22,0) max %.2f | (0,30) max "
                    "%.2f\n",
                    kind.first, worst[0], best[1], best[2], best[3], best[4]);
    }
}

} // namespace

int main(int argc, char** argv) {
    int threads = 1;
    bool stitcherAllFrames = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--stitcher-all-frames")
            stitcherAllFrames = true;
        else
            threads = std::max(1, std::atoi(argv[i]));
    }
    cv::setNumThreads(threads);
    std::printf("OpenCV threads: %d (the same for every method)\n", cv::getNumThreads());
    std::printf("cv::Stitcher gets %s\n", stitcherAllFrames ? "every frame of the pan (slow: minutes)"
                                                             : "the last frame of each stop (--stitcher-all-frames: every frame)");

    measureAgreement();
    const std::pair<const char*, StitchPanOptions::Kind> kinds[] = {{"textured specimen", StitchPanOptions::Textured},
                                                                   {"printed text", StitchPanOptions::Text},
                                                                   {"newspaper page", StitchPanOptions::Newspaper},
                                                                   {"parallel veins", StitchPanOptions::Stripes}};
    for (const auto& kind : kinds)
        for (bool precision : {true, false}) {
            StitchPanOptions options;
            options.kind = kind.second;
            options.halve = !precision;
            options.vignetting = 0.25;
            options.noiseSigma = 2.5;
            options.jpegQuality = 90;
            options.subpixel = true;
            StitchPanPlan plan;
            if (kind.second != StitchPanOptions::Textured) {
                plan = StitchPanGenerator::planFor(options.cameraFrame, 4, 2, &options.specimen);
                options.uniformPatch = cv::Rect();
            }
            const StitchPanGenerator gen(options);
            const std::vector<StitchPanFrame> frames = gen.pan(plan);
            const int stops = int(StitchPanGenerator::stops(plan).size());
            std::printf("\n%s, %s, sub-pixel stage positions: %d frames of %dx%d, %d stops%s (vignetting 25%%, "
                        "noise sigma 2.5, JPEG 90)\n",
                        kind.first, precision ? "Precision" : "Fast", int(frames.size()), gen.frameSize().width,
                        gen.frameSize().height, stops, plan.jump ? " with a jump that loses tracking" : "");

            const Figures ours = runOurs(frames, precision, stops, true);
            print("ours", ours);
            const Figures phase = runPhaseCorrelate(frames, stops);
            print("phaseCorrelate (all frames)", phase);
            std::printf("ratio ours / phaseCorrelate: match p50 %.2f, total %.2f\n",
                        percentile(ours.matchMs, 0.5) / percentile(phase.matchMs, 0.5), ours.totalMs / phase.totalMs);
            if (precision) {
                const Figures scans = runStitcher(frames, stops, stitcherAllFrames);
                print("cv::Stitcher SCANS", scans);
                if (scans.totalMs > 0)
                    std::printf("ratio ours / cv::Stitcher total: %.3f\n", ours.totalMs / scans.totalMs);
            }
        }
    return 0;
}
