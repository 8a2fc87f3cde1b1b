#include "imaging/FocusStackMath.h"

#include "app/late/LateLoad.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc/edge_filter.hpp>

#include <algorithm>
#include <map>
#include <numeric>

namespace FocusStackMath {

namespace {
constexpr double kSpreadSigma = 6.0; // pixels of the 1/8 plane
constexpr double kSpreadShare = 0.5;
} // namespace

void luma(const cv::Mat& rgb, cv::Mat& y) {
    // Through YCrCb rather than the grey conversion: the same Y as the
    // fusion's planes (their vectorised roundings differ by one in a few
    // pixels).
    cv::Mat ycrcb;
    cv::cvtColor(rgb, ycrcb, cv::COLOR_RGB2YCrCb);
    cv::extractChannel(ycrcb, y, 0);
}

cv::Mat eighth(const cv::Mat& y) {
    cv::Mat small;
    cv::resize(y, small, cv::Size(), 0.125, 0.125, cv::INTER_LINEAR);
    return small;
}

std::vector<cv::Rect> gridCells(cv::Size eighthSize) {
    const int cw = static_cast<int>(eighthSize.width * 0.0625);
    const int ch = static_cast<int>(eighthSize.height * 0.0625);
    const int x0 = (eighthSize.width - kGridSide * cw) / 2;
    const int y0 = (eighthSize.height - kGridSide * ch) / 2;
    std::vector<cv::Rect> cells;
    cells.reserve(kGridCells);
    for (int r = 0; r < kGridSide; ++r)
        for (int c = 0; c < kGridSide; ++c)
            cells.emplace_back(x0 + c * cw, y0 + r * ch, cw, ch);
    return cells;
}

void gridSharpness(const cv::Mat& eighthLuma, const std::vector<cv::Rect>& cells, std::vector<float>& out) {
    out.assign(cells.size(), 1.0f);
    if (eighthLuma.empty())
        return;
    // One Sobel over the whole plane equals a Sobel per cell view: a view
    // reads its neighbours from the plane and reflects only at the plane's
    // own border.
    cv::Mat d, a;
    cv::Sobel(eighthLuma, d, CV_32F, 1, 1, 3, 1.0, 0.0, cv::BORDER_REFLECT_101);
    cv::convertScaleAbs(d, a, 1.0, 0.0);
    for (size_t i = 0; i < cells.size(); ++i) {
        const cv::Rect& r = cells[i];
        if (r.width <= 0 || r.height <= 0)
            continue;
        const float v = static_cast<float>(cv::mean(a(r))[0]);
        out[i] = std::max(v, 1.0f);
    }
}

int rankScore(const std::vector<float>& grid) {
    std::vector<int> order(grid.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return static_cast<int>(grid[a]) > static_cast<int>(grid[b]);
    });
    int score = 0;
    for (size_t i = 0; i < order.size() && i < 80; ++i)
        score += order[i];
    return score;
}

cv::Rect searchRect(const std::vector<float>& grid, int width, int height) {
    int bestR = 0, bestC = 0;
    if (grid.size() >= static_cast<size_t>(kGridCells)) {
        double best = 0.0;
        for (int r = 0; r <= 3; ++r)
            for (int c = 0; c <= 3; ++c) {
                double s = 0.0;
                for (int rr = r; rr < r + 12; ++rr)
                    for (int cc = c; cc < c + 12; ++cc)
                        s += grid[rr * kGridSide + cc];
                if (s > best) {
                    best = s;
                    bestR = r;
                    bestC = c;
                }
            }
    }
    const int cellW = width / kGridSide, cellH = height / kGridSide;
    cv::Rect rect((cellW * bestC) / 4, (cellH * bestR) / 4, 3 * cellW, 3 * cellH);
    if (rect.x + rect.width > width / 4)
        rect.x = width / 4 - rect.width;
    if (rect.y + rect.height > height / 4)
        rect.y = height / 4 - rect.height;
    return rect;
}

void raiseCells(std::vector<float>& to, const std::vector<float>& grid) {
    for (size_t i = 0; i < std::min(to.size(), grid.size()); ++i)
        to[i] = std::max(to[i], grid[i]);
}

bool focusMap(const cv::Mat& y, cv::Mat& out, const std::function<bool()>& stop, cv::Mat* scratch) {
    // Each full-size step is a piece of its own: a stop is seen between them.
    const auto stopped = [&stop] { return stop && stop(); };
    // The finest detail tells focus apart: a frame slightly off focus keeps
    // most of the contrast of a 25-pixel neighbourhood, and the fused band
    // took whichever of the frames near the peak came first.
    // In 25ths of a grey level until the map is written (25 Y less the sum of
    // its 5 x 5 neighbourhood, exact in 16 bits): a large frame's sharpest
    // detail averages a grey level or two, and rounded to whole levels two
    // frames of different focus read the same over most of a band.
    // One full-size plane: the detail is written over the sum it comes from.
    cv::Mat local;
    cv::Mat& detail = scratch ? *scratch : local;
    cv::boxFilter(y, detail, CV_16U, cv::Size(5, 5), cv::Point(-1, -1), false, cv::BORDER_REFLECT_101);
    if (stopped())
        return false;
    cv::parallel_for_(cv::Range(0, y.rows), [&](const cv::Range& rows) {
        for (int r = rows.start; r < rows.end; ++r) {
            const uchar* yr = y.ptr<uchar>(r);
            ushort* d = detail.ptr<ushort>(r);
            for (int x = 0; x < y.cols; ++x) {
                const int v = 25 * int(yr[x]) - int(d[x]);
                d[x] = static_cast<ushort>(v < 0 ? -v : v);
            }
        }
    }, 8);
    if (stopped())
        return false;
    const cv::Mat ys = eighth(y);
    if (stopped())
        return false;
    // Averaged, not sampled: a bilinear reduction by 8 reads 2 of every 8
    // columns, and the map followed whichever grains those happened to hit.
    cv::Mat ds, dsF;
    cv::resize(detail, ds, ys.size(), 0, 0, cv::INTER_AREA);
    if (stopped())
        return false;
    ds.convertTo(dsF, CV_32F, 1.0 / 25.0);
    cv::Mat g, g8;
    cv::ximgproc::guidedFilter(ys, dsF, g, 10, 2.0, -1);
    if (stopped())
        return false;
    // Edge-aware, the filter keeps a sharp edge's detail off the flat
    // inside of a shape, while a blurred frame's ramp carries its own faint
    // detail a long way in: over a flat inside the blurred frame won, a
    // fraction of a grey level ahead, and its colour (the edge smeared in)
    // showed as patches cut at the reduction's 8-pixel steps. A wide, plain
    // spread of the detail under the filtered map lets the frame whose
    // surroundings are sharp hold the flat inside.
    cv::Mat spread;
    cv::GaussianBlur(dsF, spread, cv::Size(), kSpreadSigma, kSpreadSigma, cv::BORDER_REFLECT_101);
    g = cv::max(g, spread * kSpreadShare);
    g.convertTo(g8, CV_8U, kFocusGain);
    // For sides that are multiples of 8 this is the resize by 8; other sizes
    // land on the frame size exactly.
    cv::resize(g8, out, y.size(), 0, 0, cv::INTER_LINEAR);
    return true;
}

bool voteKeys(const std::vector<int>& keys, int tolerance, double& mean, int* support) {
    if (keys.empty())
        return false;
    std::map<int, int, std::greater<int>> counts;
    for (int k : keys)
        ++counts[k];
    const std::vector<std::pair<int, int>> bins(counts.begin(), counts.end()); // key descending
    const size_t n = bins.size();
    // Windows are runs of neighbours within the tolerance; the sorted keys make
    // both ends monotone, so two running indices find them.
    size_t lo = 0, hi = 0;
    long long weight = 0;
    long long bestWeight = -1;
    size_t bestLo = 0, bestHi = 0;
    for (size_t i = 0; i < n; ++i) {
        while (hi < n && bins[i].first - bins[hi].first <= tolerance)
            weight += bins[hi++].second;
        while (bins[lo].first - bins[i].first > tolerance)
            weight -= bins[lo++].second;
        if (weight > bestWeight) {
            bestWeight = weight;
            bestLo = lo;
            bestHi = hi;
        }
    }
    double sum = 0.0;
    for (size_t j = bestLo; j < bestHi; ++j)
        sum += static_cast<double>(bins[j].first) * bins[j].second;
    mean = sum / static_cast<double>(bestWeight);
    if (support)
        *support = static_cast<int>(bestWeight);
    return true;
}

bool loadLibraries(std::string& why) {
    char words[512];
    if (sevrin_late_try_load("libopencv_ximgproc", words, sizeof words) == 0)
        return true;
    why = words;
    return false;
}

} // namespace FocusStackMath
