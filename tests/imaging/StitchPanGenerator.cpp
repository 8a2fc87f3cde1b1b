#include "StitchPanGenerator.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

cv::Scalar randomColour(cv::RNG& rng) { return cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)); }

} // namespace

cv::Mat StitchPanGenerator::makeSpecimen(cv::Size size, cv::Rect patch, uint64_t seed) {
    cv::RNG rng(seed);
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
    m_specimen = makeSpecimen(options.specimen, m_patch, options.seed);
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
        }
        const int hold = jumpStop ? plan.jumpHold : plan.hold;
        const QPointF at = QPointF(positions[i]) + (i == 0 ? QPointF() : fraction()) + double(i) * plan.drift;
        for (int k = 0; k < hold; ++k)
            addFrame(at, int(i), jumpStop);
    }
    return frames;
}
