#include "platform/SimSpecimen.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace SimSpecimen {
namespace {

uint64_t mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t cellHash(int64_t i, int64_t j, uint64_t salt) {
    return mix(uint64_t(i) * 0x100000001B3ull ^ mix(uint64_t(j) + salt));
}

const cv::Vec3b kPalette[6] = {
    {40, 40, 190},  // red
    {40, 160, 40},  // green
    {190, 60, 30},  // blue
    {30, 180, 200}, // yellow
    {190, 170, 30}, // cyan
    {170, 40, 170}, // magenta
};

const cv::Vec3b kBackground(150, 156, 146);
const cv::Scalar kLineColour(55, 55, 60);

Disc discOfCell(int64_t i, int64_t j) {
    const uint64_t h = cellHash(i, j, 7);
    Disc d;
    const double jx = double(h & 0xFF) / 255.0 * 140.0 - 70.0;
    const double jy = double((h >> 8) & 0xFF) / 255.0 * 140.0 - 70.0;
    d.centre = QPointF((double(i) + 0.5) * kDiscCell + jx, (double(j) + 0.5) * kDiscCell + jy);
    d.radius = 50.0 + double((h >> 16) & 0xFF) / 255.0 * 110.0;
    d.bgr = kPalette[(h >> 24) % 6];
    return d;
}

int64_t floorDiv(double v, double cell) { return int64_t(std::floor(v / cell)); }

bool drawGrain(cv::Mat& img, const View& v, const std::function<bool()>& cancelled) {
    const int W = img.cols, H = img.rows;
    std::vector<int64_t> colCell(size_t(W), 0);
    for (int x = 0; x < W; ++x)
        colCell[size_t(x)] = floorDiv(v.offset.x() + (x + 0.5) * v.unitsPerPixel, kGrainCell);
    for (int y = 0; y < H; ++y) {
        if (y % 256 == 0 && cancelled && cancelled())
            return false;
        const int64_t rowCell = floorDiv(v.offset.y() + (y + 0.5) * v.unitsPerPixel, kGrainCell);
        const uint64_t rowSalt = mix(uint64_t(rowCell) + 11);
        auto* p = img.ptr<cv::Vec3b>(y);
        int64_t lastCell = INT64_MIN;
        int grain = 0;
        for (int x = 0; x < W; ++x) {
            if (colCell[size_t(x)] != lastCell) {
                lastCell = colCell[size_t(x)];
                grain = int(mix(uint64_t(lastCell) * 0x100000001B3ull ^ rowSalt) % 25) - 12;
            }
            p[x] = cv::Vec3b(cv::saturate_cast<uint8_t>(kBackground[0] + grain),
                             cv::saturate_cast<uint8_t>(kBackground[1] + grain),
                             cv::saturate_cast<uint8_t>(kBackground[2] + grain));
        }
    }
    return true;
}

void drawGrid(cv::Mat& img, const View& v) {
    const double upp = v.unitsPerPixel;
    const double half = kGridLineWidth / 2.0;
    const double x0 = v.offset.x(), y0 = v.offset.y();
    const double x1 = x0 + img.cols * upp, y1 = y0 + img.rows * upp;
    for (int64_t k = floorDiv(x0 - half, kGridPitch); k * kGridPitch <= x1 + half; ++k) {
        const int a = int(std::lround((k * kGridPitch - half - x0) / upp));
        const int b = std::max(a + 1, int(std::lround((k * kGridPitch + half - x0) / upp)));
        cv::rectangle(img, cv::Point(a, 0), cv::Point(b - 1, img.rows - 1), kLineColour, cv::FILLED);
    }
    for (int64_t k = floorDiv(y0 - half, kGridPitch); k * kGridPitch <= y1 + half; ++k) {
        const int a = int(std::lround((k * kGridPitch - half - y0) / upp));
        const int b = std::max(a + 1, int(std::lround((k * kGridPitch + half - y0) / upp)));
        cv::rectangle(img, cv::Point(0, a), cv::Point(img.cols - 1, b - 1), kLineColour, cv::FILLED);
    }
}

void drawDiscs(cv::Mat& img, const View& v) {
    const double upp = v.unitsPerPixel;
    const QRectF units(v.offset, QSizeF(img.cols * upp, img.rows * upp));
    constexpr int shift = 4;
    for (const Disc& d : discsIn(units.adjusted(-kDiscCell, -kDiscCell, kDiscCell, kDiscCell))) {
        const cv::Point c(int(std::lround((d.centre.x() - v.offset.x()) / upp * (1 << shift))),
                          int(std::lround((d.centre.y() - v.offset.y()) / upp * (1 << shift))));
        const int r = int(std::lround(d.radius / upp * (1 << shift)));
        cv::circle(img, c, r, cv::Scalar(d.bgr[0], d.bgr[1], d.bgr[2]), cv::FILLED, cv::LINE_AA, shift);
    }
}

double blurPixels(double defocus, double upp) {
    return std::min(kMaxBlurPixels, kBlurPerDepth * std::abs(defocus) / upp);
}

// Blur levels are quantised so that a tilted specimen needs few full blurs.
double quantiseBlur(double sigma) {
    static const double levels[] = {0, 0.5, 1, 1.5, 2, 3, 4, 6, 8, 12, 16, 24};
    double best = 0;
    for (double l : levels)
        if (std::abs(l - sigma) < std::abs(best - sigma))
            best = l;
    return best;
}

bool applyFocus(cv::Mat& img, const View& v, const std::function<bool()>& cancelled, Scratch& scratch) {
    const double upp = v.unitsPerPixel;
    if (v.tilt == 0.0) {
        const double s = blurPixels(v.focus - 0.0, upp);
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
        const double level = quantiseBlur(blurPixels(v.focus - depthAt(x, v.tilt), upp));
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

} // namespace

QList<Disc> discsIn(const QRectF& units) {
    QList<Disc> out;
    for (int64_t j = floorDiv(units.top(), kDiscCell) - 1; j <= floorDiv(units.bottom(), kDiscCell) + 1; ++j)
        for (int64_t i = floorDiv(units.left(), kDiscCell) - 1; i <= floorDiv(units.right(), kDiscCell) + 1; ++i) {
            const Disc d = discOfCell(i, j);
            if (units.contains(d.centre))
                out.append(d);
        }
    return out;
}

cv::Mat render(const View& view) { return render(view, {}); }

cv::Mat render(const View& view, const std::function<bool()>& cancelled) {
    cv::Mat img;
    Scratch scratch;
    return renderInto(view, cancelled, img, scratch) ? img : cv::Mat();
}

bool renderInto(const View& view, const std::function<bool()>& cancelled, cv::Mat& img, Scratch& scratch) {
    if (view.size.isEmpty() || view.unitsPerPixel <= 0)
        return false;
    img.create(view.size.height(), view.size.width(), CV_8UC3);
    if (!drawGrain(img, view, cancelled))
        return false;
    drawGrid(img, view);
    if (cancelled && cancelled())
        return false;
    drawDiscs(img, view);
    return !(cancelled && cancelled()) && applyFocus(img, view, cancelled, scratch);
}

} // namespace SimSpecimen
