// Cost of a frame placed over the edge of a large stitching mosaic against
// one placed inside it, in one run, as the stitching worker does both: the
// blend, the growth (steps of 300 columns or rows inside the mosaic's
// canvas, a copy when its room is used up) and the picture of the grown
// mosaic for the panel (StitchViewPicture: only the added part converted).
// Beside them, interleaved, the growth as it was made before (the mosaic
// copied into a matrix 300 columns wider, and its whole picture converted).
//
// Input: a 10,100 x 10,100 mosaic of the textured specimen (started at
// 5,000 and grown, as a run has it), 1920 x 1080
// frames of it with the precision mode's feather mask (semi-axes 800 x 500),
// the scene's RGB32 picture. Rounds of: a frame inside the mosaic, a frame
// hanging 100 px over the right edge, a frame inside, a frame hanging 100 px
// over the bottom edge (32 over the edge in all: the mosaic ends near
// 14,800 px a side). Thread CPU time (and wall time) per placement; OpenCV
// runs on this thread alone (first argument: its thread count, default 1),
// so that thread time holds all the work.
//
// Prints mean and median per kind, the ratio of the means (over the edge /
// inside, the ratio asked for is at most 3) and the old growth step's cost.
#include "tests/imaging/StitchPanGenerator.h"

#include "imaging/StitchFeatherMask.h"
#include "imaging/StitchMosaic.h"
#include "imaging/StitchStart.h"
#include "imaging/StitchViewPicture.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Cost {
    std::vector<double> cpu, wall;
    void add(double c, double w) {
        cpu.push_back(c);
        wall.push_back(w);
    }
    static double mean(const std::vector<double>& v) {
        double s = 0;
        for (double x : v)
            s += x;
        return v.empty() ? 0 : s / double(v.size());
    }
    static double median(std::vector<double> v) {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    void print(const char* name) const {
        std::printf("%-34s n %2zu | thread CPU mean %7.1f  median %7.1f  max %7.1f ms | wall mean %7.1f ms\n", name,
                    cpu.size(), mean(cpu), median(cpu), cpu.empty() ? 0 : *std::max_element(cpu.begin(), cpu.end()),
                    mean(wall));
    }
};

} // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(argc > 1 ? std::atoi(argv[1]) : 1);
    const int side = 10000;
    const cv::Size frameSize(1920, 1080);

    StitchPanOptions options;
    options.specimen = cv::Size(4000, 3000);
    options.uniformPatch = cv::Rect(0, 0, 0, 0);
    const StitchPanGenerator gen(options);
    cv::Mat start;
    cv::repeat(gen.specimen(), side / 3000 + 2, side / 4000 + 2, start);

    StitchMosaic m;
    const cv::Mat full = buildStitchFeatherMask(frameSize.width, frameSize.height, 800, 500);
    m.setFeatherMasks(full, halveStitchFeatherMask(full));
    cv::RNG rng(3);
    auto frame = [&] {
        const int x = rng.uniform(0, gen.specimen().cols - frameSize.width);
        const int y = rng.uniform(0, gen.specimen().rows - frameSize.height);
        return gen.specimen()(cv::Rect(cv::Point(x, y), frameSize)).clone();
    };
    // The mosaic as a run has it at 10,100 px: started at the precision
    // mode's 5,000, grown (its canvas reserved at the first growth, the
    // worker's picture of it made), covered with pictures.
    m.rebuild(frame(), StitchMosaic::sceneSide(true));
    const int toGrow = side - m.size().width();
    m.growStitchCanvas(frame(), -(m.size().width() - frameSize.width + toGrow), -(m.size().height() - frameSize.height + toGrow),
                       QRect(0, 0, 1, 1));
    cv::Mat pixels = m.mosaic(); // the mosaic's own pixels
    start(cv::Rect(0, 0, pixels.cols, pixels.rows)).copyTo(pixels);
    start.release();
    StitchViewPicture view;
    QImage picture = view.grown(m, QImage::Format_RGB32);

    const QSize startSize = m.size();
    Cost inside, over, before;
    for (int round = 0; round < 16; ++round) {
        for (int edge = 0; edge < 2; ++edge) {
            const QSize s = m.size();
            // Inside: anywhere a frame fits, over pictures.
            {
                const cv::Mat f = frame();
                const QPoint at(rng.uniform(0, s.width() - frameSize.width), rng.uniform(0, s.height() - frameSize.height));
                const double c0 = threadMs(), w0 = wallMs();
                const StitchPlacement p = m.growStitchCanvas(f, -at.x(), -at.y(), QRect(0, 0, 1, 1));
                if (p.grew)
                    picture = view.grown(m, QImage::Format_RGB32);
                inside.add(threadMs() - c0, wallMs() - w0);
                if (!p.pasted || p.grew)
                    return std::fprintf(stderr, "an inside frame was not placed inside\n"), 1;
            }
            // Over the right or the bottom edge by 100 px.
            {
                const cv::Mat f = frame();
                const QPoint at = edge == 0 ? QPoint(s.width() - frameSize.width + 100, rng.uniform(0, s.height() - frameSize.height))
                                            : QPoint(rng.uniform(0, s.width() - frameSize.width), s.height() - frameSize.height + 100);
                const double c0 = threadMs(), w0 = wallMs();
                const StitchPlacement p = m.growStitchCanvas(f, -at.x(), -at.y(), QRect(0, 0, 1, 1));
                if (p.grew)
                    picture = view.grown(m, QImage::Format_RGB32);
                over.add(threadMs() - c0, wallMs() - w0);
                if (!p.pasted || !p.grew)
                    return std::fprintf(stderr, "a frame over the edge did not grow the mosaic\n"), 1;
            }
            // The growth as it was made before, at this size: every fourth.
            if ((round * 2 + edge) % 4 == 0) {
                const double c0 = threadMs(), w0 = wallMs();
                cv::Mat bigger;
                cv::copyMakeBorder(m.mosaic(), bigger, 0, 0, 0, StitchMosaic::growStep, cv::BORDER_CONSTANT,
                                   cv::Scalar::all(0));
                const QImage whole = StitchStart::picture(bigger, QImage::Format_RGB32);
                before.add(threadMs() - c0, wallMs() - w0);
                if (whole.isNull())
                    return 1;
            }
        }
    }
    std::printf("mosaic %d x %d at the start, grown to %d x %d, frames %d x %d, OpenCV threads %d\n", startSize.width(), startSize.height(), m.size().width(),
                m.size().height(), frameSize.width, frameSize.height, cv::getNumThreads());
    inside.print("inside");
    over.print("100 px over the edge (ours)");
    before.print("growth step as before (copy+picture)");
    std::printf("over the edge / inside, thread CPU means: %.2f (at most 3 asked)\n",
                Cost::mean(over.cpu) / std::max(1e-9, Cost::mean(inside.cpu)));
    std::printf("growth step as before / a frame inside: %.2f\n",
                Cost::mean(before.cpu) / std::max(1e-9, Cost::mean(inside.cpu)));
    return 0;
}
