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

void copyColumns(const cv::Mat& from, int fromX, cv::Mat& to, int toX, int width) {
    if (width > 0)
        from.colRange(fromX, fromX + width).copyTo(to.colRange(toX, toX + width));
}

Scratch::Place placeOf(const View& v) { return {v.size, v.unitsPerPixel, v.offset}; }

// The sharp specimen (grain, grid, discs) into `img`, of the view's size.
bool drawSpecimen(cv::Mat& img, const View& v, const std::function<bool()>& cancelled) {
    if (!drawGrain(img, v, cancelled))
        return false;
    drawGrid(img, v);
    if (cancelled && cancelled())
        return false;
    drawDiscs(img, v);
    return true;
}

// The sharp specimen in `scratch.sharp`. None of it depends on the focus,
// nor on the tilt: a focus sweep draws it once.
bool drawSharp(const View& v, const std::function<bool()>& cancelled, Scratch& scratch) {
    if (scratch.sharpShown && scratch.sharpPlace == placeOf(v))
        return true;
    scratch.sharpShown = false;
    scratch.bandBlurs.clear(); // blurred from the specimen drawn before
    scratch.sharp.create(v.size.height(), v.size.width(), CV_8UC3);
    if (!drawSpecimen(scratch.sharp, v, cancelled))
        return false;
    scratch.sharpPlace = placeOf(v);
    scratch.sharpShown = true;
    return true;
}

bool applyFocus(cv::Mat& img, const View& v, const std::function<bool()>& cancelled, Scratch& scratch) {
    const double upp = v.unitsPerPixel;
    const cv::Mat& sharp = scratch.sharp;
    if (v.tilt == 0.0) {
        const double s = blurPixels(v.focus - 0.0, upp);
        if (s >= 0.3)
            cv::GaussianBlur(sharp, img, cv::Size(0, 0), s);
        else
            sharp.copyTo(img);
        return true;
    }
    // Bands of columns share one depth and so one blur level.
    constexpr int band = 32;
    const int cols = img.cols, rows = img.rows, bands = (cols + band - 1) / band;
    std::vector<double> levels(size_t(bands), 0.0);
    std::map<double, std::pair<int, int>> spans; // first and last band of each level
    for (int i = 0; i < bands; ++i) {
        const double x = v.offset.x() + (i * band + band / 2.0) * upp;
        levels[size_t(i)] = bandBlur(v.focus - depthAt(x, v.tilt), upp);
        auto it = spans.emplace(levels[size_t(i)], std::make_pair(i, i)).first;
        it->second.second = i;
    }
    // The picture is kept band by band with each band's blur, and a band is
    // blurred again only when its blur changed: from one picture of a sweep
    // to the next the levels move by a band or a few. A level is blurred
    // over runs of its bands, not over the columns from its first band to
    // its last, which in a sweep take in every level between the two sides
    // of the sharp band. The pixels stay those of that older way (first to
    // last band, plus a margin): OpenCV blurs an 8-bit part of a larger
    // matrix reading the real columns beside it, with other rounding than a
    // whole matrix, and the older way blurred a part unless its columns
    // with margins were all of them. The runs are blurred as parts then;
    // otherwise with the margin, as isolated parts, which the margin makes
    // the same as the whole (an 8-bit kernel of sigma s reaches
    // (cvRound(6 s + 1) | 1) / 2 columns, never more than the margin).
    cv::Mat& focused = scratch.focused;
    focused.create(img.size(), img.type());
    // The widest margins of a run, made once.
    scratch.edges.create(rows, 2 * (int(std::ceil(3 * kMaxBlurPixels)) + 1), img.type());
    if (scratch.bandBlurs.size() != size_t(bands))
        scratch.bandBlurs.assign(size_t(bands), {-1.0, false});
    std::vector<Scratch::Blur>& done = scratch.bandBlurs;
    for (const auto& [level, span] : spans) {
        const bool blur = level >= 0.3;
        if (blur && cancelled && cancelled())
            return false;
        const int margin = int(std::ceil(3 * level)) + 1;
        const bool whole = span.first * band - margin <= 0 && (span.second + 1) * band + margin >= cols;
        const auto needed = [&, level = level](int k) {
            const Scratch::Blur& d = done[size_t(k)];
            return levels[size_t(k)] == level && !(d.level == level && d.whole == whole);
        };
        for (int i = span.first; i <= span.second;) {
            if (!needed(i)) {
                ++i;
                continue;
            }
            int j = i + 1;
            while (j < bands && needed(j))
                ++j;
            const int a = i * band, b = std::min(cols, j * band);
            if (!blur) {
                copyColumns(sharp, a, focused, a, b - a);
            } else if (!whole) {
                cv::Mat into = focused.colRange(a, b);
                cv::GaussianBlur(sharp.colRange(a, b), into, cv::Size(0, 0), level, 0, cv::BORDER_REFLECT);
            } else {
                // Blurred in place with the margin: the columns of the
                // margin are kept meanwhile.
                const int lo = std::max(0, a - margin), hi = std::min(cols, b + margin);
                copyColumns(focused, lo, scratch.edges, 0, a - lo);
                copyColumns(focused, b, scratch.edges, a - lo, hi - b);
                cv::Mat into = focused.colRange(lo, hi);
                cv::GaussianBlur(sharp.colRange(lo, hi), into, cv::Size(0, 0), level, 0,
                                 cv::BORDER_REFLECT | cv::BORDER_ISOLATED);
                copyColumns(scratch.edges, 0, focused, lo, a - lo);
                copyColumns(scratch.edges, a - lo, focused, b, hi - b);
            }
            std::fill(done.begin() + i, done.begin() + j, Scratch::Blur{level, whole});
            i = j;
        }
    }
    focused.copyTo(img);
    return true;
}

} // namespace

double bandBlur(double defocus, double unitsPerPixel) { return quantiseBlur(blurPixels(defocus, unitsPerPixel)); }

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
    const Scratch::Place place = placeOf(view);
    const bool moved = !(place == scratch.lastPlace);
    scratch.lastPlace = place;
    // A flat specimen in focus is the sharp drawing itself. While the stage
    // moves (a new place every picture) it is drawn straight into the
    // picture: keeping it would cost a copy of every picture and serve none.
    // A place shown twice running is kept for the pictures after it.
    if (view.tilt == 0.0 && blurPixels(view.focus, view.unitsPerPixel) < 0.3 && moved &&
        !(scratch.sharpShown && scratch.sharpPlace == place))
        return drawSpecimen(img, view, cancelled) && !(cancelled && cancelled());
    if (!drawSharp(view, cancelled, scratch) || (cancelled && cancelled()))
        return false;
    return applyFocus(img, view, cancelled, scratch);
}

} // namespace SimSpecimen
