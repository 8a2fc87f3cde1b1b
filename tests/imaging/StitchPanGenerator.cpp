#include "StitchPanGenerator.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

cv::Scalar randomColour(cv::RNG& rng) { return cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)); }

} // namespace

namespace {

std::string randomWord(cv::RNG& rng, int minLen, int maxLen) {
    std::string w;
    const int n = rng.uniform(minLen, maxLen + 1);
    for (int i = 0; i < n; ++i)
        w += char((rng.uniform(0, 6) == 0 ? 'A' : 'a') + rng.uniform(0, 26));
    return w;
}

// Lines of words in [x0, x1) from y0 to y1, each line `pitch` apart.
void typeText(cv::Mat& page, cv::RNG& rng, int x0, int x1, int y0, int y1, int pitch, double scale, int thick) {
    for (int y = y0 + pitch; y < y1; y += pitch) {
        int x = x0;
        while (true) {
            const std::string w = randomWord(rng, 1, 9);
            int base = 0;
            const cv::Size ts = cv::getTextSize(w, cv::FONT_HERSHEY_SIMPLEX, scale, thick, &base);
            if (x + ts.width >= x1)
                break;
            cv::putText(page, w, cv::Point(x, y), cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(28, 26, 30), thick,
                        cv::LINE_AA);
            x += ts.width + int(scale * 14);
        }
    }
}

void paperGrain(cv::Mat& page, cv::RNG& rng) {
    cv::Mat grain(page.size(), CV_8UC3);
    rng.fill(grain, cv::RNG::UNIFORM, 0, 8);
    cv::subtract(page, grain, page);
}

cv::Mat textPage(cv::Size size, cv::RNG& rng) {
    cv::Mat page(size, CV_8UC3, cv::Scalar(236, 233, 226));
    typeText(page, rng, 60, size.width - 60, 40, size.height - 40, 30, 0.7, 1);
    paperGrain(page, rng);
    return page;
}

// A printed page seen close up: white paper, a few short paragraphs of
// large type far apart.
cv::Mat sparsePage(cv::Size size, cv::RNG& rng) {
    cv::Mat page(size, CV_8UC3, cv::Scalar(242, 240, 236));
    for (int y = 40; y < size.height - 200; y += rng.uniform(420, 700)) {
        for (int x = 40; x < size.width - 500; x += rng.uniform(900, 1500)) {
            const int width = rng.uniform(300, 700);
            typeText(page, rng, x, std::min(x + width, size.width - 40), y, y + rng.uniform(60, 160), 48, 1.1, 2);
        }
    }
    paperGrain(page, rng);
    return page;
}

cv::Mat newspaperPage(cv::Size size, cv::RNG& rng) {
    cv::Mat page(size, CV_8UC3, cv::Scalar(228, 226, 218));
    const int column = 560, gutter = 40;
    for (int x0 = 40; x0 + column < size.width; x0 += column + gutter) {
        int y = 40;
        while (y < size.height - 60) {
            // A headline, a rule, a picture box now and then, then body text.
            typeText(page, rng, x0, x0 + column, y, y + 60, 50, 1.5, 3);
            y += 70;
            cv::line(page, cv::Point(x0, y), cv::Point(x0 + column, y), cv::Scalar(40, 40, 40), 2);
            if (rng.uniform(0, 3) == 0) {
                const int h = rng.uniform(120, 260);
                cv::Mat box = page(cv::Rect(x0, y + 10, column, std::min(h, size.height - y - 20)));
                box.setTo(cv::Scalar(150, 150, 150));
                for (int k = 0; k < 60; ++k)
                    cv::circle(box, cv::Point(rng.uniform(0, box.cols), rng.uniform(0, box.rows)),
                               rng.uniform(4, 30), cv::Scalar::all(rng.uniform(40, 230)), cv::FILLED, cv::LINE_AA);
                y += h + 20;
            }
            const int body = rng.uniform(200, 500);
            typeText(page, rng, x0, x0 + column, y, std::min(y + body, size.height - 40), 24, 0.55, 1);
            y += body + 20;
        }
    }
    paperGrain(page, rng);
    return page;
}

cv::Mat stripes(cv::Size size, cv::RNG& rng) {
    cv::Mat page(size, CV_8UC3, cv::Scalar(120, 170, 90));
    const int period = 22;
    for (int k = -2; k * period < size.width + 40; ++k) {
        const int width = rng.uniform(6, 11);
        std::vector<cv::Point> pts;
        for (int y = -10; y < size.height + 30; y += 20)
            pts.emplace_back(k * period + int(3.0 * std::sin(y / 180.0)), y);
        cv::polylines(page, pts, false, cv::Scalar(60, 110, 45), width, cv::LINE_AA);
    }
    // Small irregularities: specks, nicks and thinner places.
    const int specks = int(double(size.area()) / 1500.0);
    for (int i = 0; i < specks; ++i)
        cv::circle(page, cv::Point(rng.uniform(0, size.width), rng.uniform(0, size.height)), rng.uniform(1, 4),
                   cv::Scalar::all(rng.uniform(30, 220)), cv::FILLED, cv::LINE_AA);
    cv::Mat grain(size, CV_8UC3);
    rng.fill(grain, cv::RNG::UNIFORM, 0, 10);
    cv::add(page, grain, page);
    return page;
}

cv::Mat blinds(cv::Size size, cv::RNG& rng) {
    // Slats lit from above, a little brighter at the top edge, with soft
    // gaps; ladder cords every 220 pixels; a fleck of dust here and there.
    cv::Mat grey(size, CV_32F);
    const int period = 36;
    for (int y = 0; y < size.height; ++y) {
        const double t = double(y % period) / period;
        grey.row(y).setTo(t < 0.85 ? 176.0 - 8.0 * t : 164.0);
    }
    cv::GaussianBlur(grey, grey, cv::Size(0, 0), 4.0);
    for (int x = 110; x < size.width; x += 220)
        grey.colRange(x, std::min(size.width, x + 3)) -= 18.0;
    const int dust = int(double(size.area()) / 2500.0);
    for (int i = 0; i < dust; ++i)
        cv::circle(grey, cv::Point(rng.uniform(0, size.width), rng.uniform(0, size.height)), rng.uniform(1, 3),
                   cv::Scalar(rng.uniform(148, 156)), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(grey, grey, cv::Size(0, 0), 1.0);
    cv::Mat page;
    grey.convertTo(page, CV_8U);
    cv::cvtColor(page, page, cv::COLOR_GRAY2RGB);
    // Leaves and stems in front of the right half.
    const int leaves = int(double(size.area()) / 3000.0);
    for (int i = 0; i < leaves; ++i) {
        const cv::Point c(rng.uniform(size.width / 2, size.width), rng.uniform(0, size.height));
        const cv::Size axes(rng.uniform(6, 30), rng.uniform(3, 12));
        const cv::Scalar colour(rng.uniform(30, 90), rng.uniform(80, 170), rng.uniform(20, 70));
        cv::ellipse(page, c, axes, rng.uniform(0, 180), 0, 360, colour, cv::FILLED, cv::LINE_AA);
        if (rng.uniform(0, 3) == 0)
            cv::line(page, c, c + cv::Point(rng.uniform(-40, 40), rng.uniform(10, 60)), cv::Scalar(60, 90, 40), 2,
                     cv::LINE_AA);
    }
    return page;
}

// Motion blur along a move: what a frame taken while the stage moves or
// settles looks like.
void smear(cv::Mat& image, QPoint move, int half = 12) {
    const double len = std::max(1.0, std::hypot(double(move.x()), double(move.y())));
    const int c = half + 3;
    cv::Mat kernel(2 * c + 1, 2 * c + 1, CV_32F, cv::Scalar(0));
    cv::line(kernel, cv::Point2d(c - half * move.x() / len, c - half * move.y() / len),
             cv::Point2d(c + half * move.x() / len, c + half * move.y() / len), cv::Scalar(1), 1);
    kernel /= cv::sum(kernel)[0];
    cv::filter2D(image, image, -1, kernel);
}

} // namespace

StitchPanPlan StitchPanGenerator::planFor(cv::Size cameraFrame, int cols, int rows, cv::Size* specimen) {
    StitchPanPlan plan;
    plan.origin = QPoint(120, 120);
    plan.cols = cols;
    plan.rows = rows;
    plan.step = QPoint((cameraFrame.width / 3) & ~1, (cameraFrame.height / 3) & ~1);
    plan.jump = false;
    if (specimen)
        *specimen = cv::Size(plan.origin.x() * 2 + (cols - 1) * plan.step.x() + cameraFrame.width + 4,
                             plan.origin.y() * 2 + (rows - 1) * plan.step.y() + cameraFrame.height + 4);
    return plan;
}

cv::Mat StitchPanGenerator::makeSpecimen(cv::Size size, cv::Rect patch, uint64_t seed, StitchPanOptions::Kind kind) {
    cv::RNG rng(seed);
    if (kind != StitchPanOptions::Textured) {
        cv::Mat page = kind == StitchPanOptions::Text        ? textPage(size, rng)
                       : kind == StitchPanOptions::SparseText  ? sparsePage(size, rng)
                       : kind == StitchPanOptions::Newspaper ? newspaperPage(size, rng)
                       : kind == StitchPanOptions::Blinds    ? blinds(size, rng)
                                                             : stripes(size, rng);
        patch &= cv::Rect(0, 0, size.width, size.height);
        page(patch).setTo(cv::Scalar(128, 129, 127));
        return page;
    }
    // Smooth colour shading: coarse random colours stretched over the whole
    // specimen.
    cv::Mat coarse(size.height / 160 + 2, size.width / 160 + 2, CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, 40, 216);
    cv::Mat image;
    cv::resize(coarse, image, cv::Size(coarse.cols * 160, coarse.rows * 160), 0, 0, cv::INTER_LINEAR);
    image = image(cv::Rect(0, 0, size.width, size.height)).clone();

    // Shapes of many sizes: corners and blobs at every scale a matcher looks at.
    const int shapes = int(double(size.area()) / 900.0);
    for (int i = 0; i < shapes; ++i) {
        const cv::Point c(rng.uniform(0, size.width), rng.uniform(0, size.height));
        const int r = int(std::exp(rng.uniform(std::log(3.0), std::log(40.0))));
        const cv::Scalar colour = randomColour(rng);
        switch (rng.uniform(0, 3)) {
        case 0:
            cv::circle(image, c, r, colour, cv::FILLED, cv::LINE_AA);
            break;
        case 1:
            cv::rectangle(image, cv::Rect(c.x - r, c.y - r / 2, 2 * r, r + 1), colour, cv::FILLED);
            break;
        default: {
            const cv::Point pts[3] = {c, c + cv::Point(rng.uniform(-2 * r, 2 * r), rng.uniform(r / 2, 2 * r)),
                                      c + cv::Point(rng.uniform(r / 2, 2 * r), rng.uniform(-r, r))};
            cv::fillConvexPoly(image, pts, 3, colour, cv::LINE_AA);
        }
        }
    }
    // Fine grain everywhere.
    cv::Mat grain(size, CV_8UC3);
    rng.fill(grain, cv::RNG::UNIFORM, 0, 40);
    cv::GaussianBlur(grain, grain, cv::Size(3, 3), 0.8);
    cv::add(image, grain, image);
    cv::subtract(image, cv::Scalar::all(20), image);

    // The nearly uniform patch: mid grey with a faint gradient.
    patch &= cv::Rect(0, 0, size.width, size.height);
    for (int y = patch.y; y < patch.y + patch.height; ++y) {
        cv::Vec3b* row = image.ptr<cv::Vec3b>(y);
        for (int x = patch.x; x < patch.x + patch.width; ++x) {
            const int v = 126 + (4 * (x - patch.x)) / std::max(1, patch.width) + (2 * (y - patch.y)) / std::max(1, patch.height);
            row[x] = cv::Vec3b(uchar(v), uchar(v + 1), uchar(v - 1));
        }
    }
    return image;
}

StitchPanGenerator::StitchPanGenerator(const StitchPanOptions& options)
    : m_options(options), m_patch(options.uniformPatch & cv::Rect(cv::Point(), options.specimen)) {
    m_specimen = makeSpecimen(options.specimen, m_patch, options.seed, options.kind);
}

const StitchPanGenerator& StitchPanGenerator::standard() {
    static const StitchPanGenerator generator;
    return generator;
}

cv::Size StitchPanGenerator::frameSize() const {
    const cv::Size f = m_options.cameraFrame;
    return m_options.halve ? cv::Size(f.width / 2, f.height / 2) : f;
}

cv::Mat StitchPanGenerator::frameAt(QPointF stage, int serial) const {
    const cv::Size f = m_options.cameraFrame;
    const int sx = int(std::floor(stage.x())), sy = int(std::floor(stage.y()));
    const double fx = stage.x() - sx, fy = stage.y() - sy;
    // One pixel more each way for the resampling of a fraction.
    const cv::Rect wanted(sx, sy, f.width + 1, f.height + 1);
    const cv::Rect area = wanted & cv::Rect(cv::Point(), m_specimen.size());
    cv::Mat source(wanted.size(), CV_8UC3, cv::Scalar::all(0));
    if (area.area() > 0)
        m_specimen(area).copyTo(source(cv::Rect(area.x - sx, area.y - sy, area.width, area.height)));
    cv::Mat frame;
    if (fx == 0.0 && fy == 0.0) {
        frame = source(cv::Rect(0, 0, f.width, f.height)).clone();
    } else {
        const cv::Matx23d shift(1, 0, fx, 0, 1, fy);
        cv::warpAffine(source, frame, shift, f, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
    }

    if (m_options.vignetting > 0.0) {
        // Brightness falls with the squared distance from the centre.
        const double cx = f.width * 0.5, cy = f.height * 0.5, r2max = cx * cx + cy * cy;
        for (int y = 0; y < f.height; ++y) {
            cv::Vec3b* row = frame.ptr<cv::Vec3b>(y);
            for (int x = 0; x < f.width; ++x) {
                const double r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r2max;
                const double k = 1.0 - m_options.vignetting * r2;
                for (int c = 0; c < 3; ++c)
                    row[x][c] = cv::saturate_cast<uchar>(row[x][c] * k);
            }
        }
    }
    if (m_options.noiseSigma > 0.0) {
        cv::RNG rng(m_options.seed * 1000003ULL + uint64_t(serial) * 7919ULL + 17);
        cv::Mat noise(f, CV_16SC3);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, m_options.noiseSigma);
        cv::Mat wide;
        frame.convertTo(wide, CV_16SC3);
        wide += noise;
        wide.convertTo(frame, CV_8UC3);
    }
    if (m_options.jpegQuality > 0) {
        cv::Mat bgr;
        cv::cvtColor(frame, bgr, cv::COLOR_RGB2BGR);
        std::vector<uchar> bytes;
        cv::imencode(".jpg", bgr, bytes, {cv::IMWRITE_JPEG_QUALITY, m_options.jpegQuality});
        cv::cvtColor(cv::imdecode(bytes, cv::IMREAD_COLOR), frame, cv::COLOR_BGR2RGB);
    }
    if (m_options.halve) {
        cv::Mat half;
        cv::resize(frame, half, frameSize(), 0, 0, cv::INTER_AREA);
        return half;
    }
    return frame;
}

std::vector<QPoint> StitchPanGenerator::stops(const StitchPanPlan& plan) {
    std::vector<QPoint> out;
    for (int r = 0; r < plan.rows; ++r)
        for (int i = 0; i < plan.cols; ++i) {
            const int c = (r % 2 == 0) ? i : plan.cols - 1 - i;
            out.push_back(plan.origin + QPoint(c * plan.step.x(), r * plan.step.y()));
        }
    if (plan.jump) {
        out.push_back(plan.jumpTo);
        for (int k = 1; k <= plan.afterJumpStops; ++k)
            out.push_back(plan.jumpTo + k * plan.afterJumpStep);
    }
    return out;
}

std::vector<StitchPanFrame> StitchPanGenerator::pan(const StitchPanPlan& plan) const {
    const std::vector<QPoint> positions = stops(plan);
    const int serpentineStops = plan.cols * plan.rows;
    const double divisor = m_options.halve ? 2.0 : 1.0;
    // Fractions of a pixel (even in Fast mode: they halve with the frame).
    cv::RNG rng(m_options.seed * 31 + 5);
    auto fraction = [&]() {
        if (!m_options.subpixel)
            return QPointF();
        return QPointF(rng.uniform(0.0, divisor), rng.uniform(0.0, divisor));
    };
    std::vector<StitchPanFrame> frames;
    int serial = 0;
    auto addFrame = [&](QPointF stage, int stop, bool jumped) {
        StitchPanFrame f;
        f.image = frameAt(stage, serial++);
        f.truth = stage / divisor;
        f.stop = stop;
        f.jumped = jumped;
        frames.push_back(std::move(f));
    };
    for (size_t i = 0; i < positions.size(); ++i) {
        const bool jumpStop = plan.jump && int(i) == serpentineStops;
        if (i > 0 && plan.transit && !jumpStop) {
            QPoint mid = (positions[i - 1] + positions[i]) / 2;
            mid = QPoint(mid.x() & ~1, mid.y() & ~1);
            addFrame(QPointF(mid) + fraction(), -1, false);
            if (plan.settleBlur || plan.transitBlur)
                smear(frames.back().image, positions[i] - positions[i - 1], plan.transitBlur ? plan.transitBlur : 12);
        }
        const int hold = jumpStop ? plan.jumpHold : plan.hold;
        const QPointF at = QPointF(positions[i]) + (i == 0 ? QPointF() : fraction()) + double(i) * plan.drift;
        for (int k = 0; k < hold; ++k) {
            addFrame(at, int(i), jumpStop);
            if (k == 0 && i > 0 && plan.settleBlur)
                smear(frames.back().image, positions[i] - positions[i - 1]);
        }
    }
    return frames;
}
