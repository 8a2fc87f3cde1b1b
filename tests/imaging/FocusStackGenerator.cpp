#include "FocusStackGenerator.h"

#include "platform/SimSpecimen.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace FocusStackGenerator {

namespace {

// Random values on a coarse grid, scaled up smoothly: detail of about `cell` pixels.
cv::Mat valueNoise(cv::Size size, int cell, int channels, cv::RNG& rng) {
    const cv::Size coarse(std::max(2, size.width / cell + 2), std::max(2, size.height / cell + 2));
    cv::Mat small(coarse, CV_32FC(channels));
    rng.fill(small, cv::RNG::UNIFORM, -1.0, 1.0);
    cv::Mat big;
    cv::resize(small, big, cv::Size(coarse.width * cell, coarse.height * cell), 0, 0, cv::INTER_CUBIC);
    return big(cv::Rect(cell / 2, cell / 2, size.width, size.height)).clone();
}

cv::Scalar randomColour(cv::RNG& rng) {
    return cv::Scalar(rng.uniform(20, 236), rng.uniform(20, 236), rng.uniform(20, 236));
}

} // namespace

cv::Mat makeSpecimen(cv::Size size, uint64_t seed) {
    cv::RNG rng(seed * 7919 + 17);
    // A smooth colour field carrying texture at several scales.
    cv::Mat base = valueNoise(size, std::max(8, size.width / 6), 3, rng) * 60.0 + cv::Scalar(128, 120, 110);
    cv::Mat texture(size, CV_32FC1, cv::Scalar(0));
    const int scales[] = {2, 3, 5, 9, 17};
    const double amps[] = {22, 18, 16, 14, 12};
    for (int i = 0; i < 5; ++i)
        texture += valueNoise(size, scales[i], 1, rng) * amps[i];
    std::vector<cv::Mat> ch;
    cv::split(base, ch);
    for (auto& c : ch)
        c += texture;
    cv::Mat specimen;
    cv::merge(ch, specimen);

    // Objects with hard edges: cells, fibres and grains.
    const double area = static_cast<double>(size.area());
    const int cells = static_cast<int>(area / 9000) + 6;
    for (int i = 0; i < cells; ++i) {
        const cv::Point c(rng.uniform(0, size.width), rng.uniform(0, size.height));
        const int r = rng.uniform(4, std::max(5, size.width / 25));
        cv::circle(specimen, c, r, randomColour(rng), rng.uniform(0, 2) ? -1 : 2, cv::LINE_AA);
    }
    const int fibres = static_cast<int>(area / 20000) + 4;
    for (int i = 0; i < fibres; ++i) {
        const cv::Point a(rng.uniform(0, size.width), rng.uniform(0, size.height));
        const cv::Point b(a.x + rng.uniform(-size.width / 4, size.width / 4),
                          a.y + rng.uniform(-size.height / 4, size.height / 4));
        cv::line(specimen, a, b, randomColour(rng), rng.uniform(1, 3), cv::LINE_AA);
    }
    const int grains = static_cast<int>(area / 1500);
    for (int i = 0; i < grains; ++i) {
        const cv::Point c(rng.uniform(0, size.width), rng.uniform(0, size.height));
        cv::circle(specimen, c, 1, randomColour(rng), -1, cv::LINE_8);
    }
    cv::Mat out;
    specimen.convertTo(out, CV_8UC3);
    return out;
}

StackParams breathingParams(cv::Size size, int frames, double jitter, uint64_t seed) {
    StackParams p;
    p.size = size;
    p.depth = Depth::Dome;
    p.frames = frames;
    p.maxBlurSigma = 5.0;
    p.breathing = 0.002;
    p.jitter = jitter;
    p.seed = seed;
    return p;
}

cv::Mat makeDepth(cv::Size size, Depth depth) {
    static const double kStepDepths[4] = {0.1, 0.7, 0.35, 0.9};
    cv::Mat d(size, CV_32FC1);
    const double cx = (size.width - 1) * 0.5, cy = (size.height - 1) * 0.5;
    const double radius = 0.5 * std::hypot(size.width, size.height);
    for (int y = 0; y < size.height; ++y) {
        float* row = d.ptr<float>(y);
        for (int x = 0; x < size.width; ++x) {
            double v = 0.0;
            switch (depth) {
            case Depth::TiltedPlane:
                v = static_cast<double>(x) / std::max(1, size.width - 1);
                break;
            case Depth::Steps:
                // Bands at depths 0.1, 0.7, 0.35, 0.9: neighbours differ a lot.
                v = kStepDepths[std::min(3, x * 4 / size.width)];
                break;
            case Depth::Dome: {
                const double r = std::hypot(x - cx, y - cy) / radius;
                v = std::sqrt(std::max(0.0, 1.0 - r * r));
                break;
            }
            }
            row[x] = static_cast<float>(v);
        }
    }
    return d;
}

cv::Mat warp(const cv::Mat& image, const FrameGeometry& g) {
    const double cx = (image.cols - 1) * 0.5, cy = (image.rows - 1) * 0.5;
    const cv::Matx23d m(g.scale, 0, cx * (1 - g.scale) + g.shift.x, 0, g.scale, cy * (1 - g.scale) + g.shift.y);
    cv::Mat out;
    cv::warpAffine(image, out, m, image.size(), cv::INTER_LINEAR, cv::BORDER_REFLECT_101);
    return out;
}

Stack makeStack(const StackParams& p) {
    Stack s;
    s.truth = makeSpecimen(p.size, p.seed);
    s.depth = makeDepth(p.size, p.depth);

    // The specimen blurred at sigma steps of 0.5; a pixel interpolates between
    // the two levels around its own sigma.
    const double step = 0.5;
    const int levels = static_cast<int>(std::ceil(p.maxBlurSigma / step)) + 2;
    std::vector<cv::Mat> blurred(levels);
    cv::Mat truthF;
    s.truth.convertTo(truthF, CV_32FC3);
    for (int l = 0; l < levels; ++l) {
        if (l == 0)
            blurred[l] = truthF;
        else
            cv::GaussianBlur(truthF, blurred[l], cv::Size(), l * step, l * step, cv::BORDER_REFLECT_101);
    }

    cv::RNG rng(p.seed * 104729 + 3);
    const int n = std::max(1, p.frames);
    for (int k = 0; k < n; ++k) {
        const double focus = n > 1 ? static_cast<double>(k) / (n - 1) : 0.5;
        cv::Mat frame(p.size, CV_32FC3);
        for (int y = 0; y < p.size.height; ++y) {
            const float* d = s.depth.ptr<float>(y);
            cv::Vec3f* out = frame.ptr<cv::Vec3f>(y);
            for (int x = 0; x < p.size.width; ++x) {
                const double level = p.maxBlurSigma * std::abs(d[x] - focus) / step;
                const int l0 = std::min(levels - 2, static_cast<int>(level));
                const float w = static_cast<float>(std::min(1.0, level - l0));
                out[x] = blurred[l0].at<cv::Vec3f>(y, x) * (1.0f - w) + blurred[l0 + 1].at<cv::Vec3f>(y, x) * w;
            }
        }
        FrameGeometry g;
        g.scale = 1.0 + p.breathing * k;
        if (k > 0 && p.jitter > 0)
            g.shift = cv::Point2d(rng.uniform(-p.jitter, p.jitter), rng.uniform(-p.jitter, p.jitter));
        if (g.scale != 1.0 || g.shift != cv::Point2d())
            frame = warp(frame, g);
        if (p.noiseSigma > 0) {
            cv::Mat noise(p.size, CV_32FC3);
            rng.fill(noise, cv::RNG::NORMAL, 0.0, p.noiseSigma);
            frame += noise;
        }
        cv::Mat out8;
        frame.convertTo(out8, CV_8UC3);
        s.frames.push_back(out8);
        s.geometry.push_back(g);
    }
    return s;
}

Stack makeSweep(const SweepParams& p) {
    constexpr double kSensorUnits = 3840.0;
    Stack s;
    SimSpecimen::View v;
    v.size = QSize(p.size.width, p.size.height);
    v.unitsPerPixel = kSensorUnits / p.size.width;
    cv::RNG rng(p.seed * 2654435761u + 5);
    v.offset = QPointF(rng.uniform(-20000.0, 20000.0), rng.uniform(-20000.0, 20000.0));
    cv::Mat bgr = SimSpecimen::render(v);
    cv::cvtColor(bgr, s.truth, cv::COLOR_BGR2RGB);
    s.depth = cv::Mat(p.size, CV_32FC1);
    for (int x = 0; x < p.size.width; ++x)
        s.depth.col(x).setTo(static_cast<float>(static_cast<double>(x) / std::max(1, p.size.width - 1)));
    v.tilt = p.tilt;
    const double range = p.tilt * kSensorUnits;
    const int n = std::max(1, p.frames);
    for (int k = 0; k < n; ++k) {
        double t = std::fmod(p.phase + (n > 1 ? static_cast<double>(k) / (n - 1) : 0.0), 2.0);
        if (t > 1.0)
            t = 2.0 - t;
        v.focus = SimSpecimen::depthAt(v.offset.x(), p.tilt) + range * t; // the depth range of the view
        bgr = SimSpecimen::render(v);
        if (p.jpegQuality > 0) {
            std::vector<uchar> bytes;
            cv::imencode(".jpg", bgr, bytes, {cv::IMWRITE_JPEG_QUALITY, p.jpegQuality});
            bgr = cv::imdecode(bytes, cv::IMREAD_COLOR);
        }
        cv::Mat rgb;
        cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
        s.frames.push_back(rgb);
        s.geometry.push_back(FrameGeometry());
    }
    return s;
}

double psnr(const cv::Mat& a, const cv::Mat& b, cv::Rect roi) {
    if (roi.empty())
        roi = cv::Rect(0, 0, a.cols, a.rows);
    const double sq = cv::norm(a(roi), b(roi), cv::NORM_L2SQR);
    const double mse = sq / (static_cast<double>(roi.area()) * a.channels());
    if (mse <= 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double correlation(const cv::Mat& a, const cv::Mat& b, const cv::Rect& r) {
    const cv::Mat x = a(r), y = b(r);
    const double xy = x.dot(y), xx = x.dot(x), yy = y.dot(y);
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

double ssim(const cv::Mat& a, const cv::Mat& b, cv::Rect roi) {
    if (roi.empty())
        roi = cv::Rect(0, 0, a.cols, a.rows);
    cv::Mat ga, gb;
    cv::cvtColor(a(roi), ga, cv::COLOR_RGB2GRAY);
    cv::cvtColor(b(roi), gb, cv::COLOR_RGB2GRAY);
    cv::Mat x, y;
    ga.convertTo(x, CV_32F);
    gb.convertTo(y, CV_32F);
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    auto blur = [](const cv::Mat& m) {
        cv::Mat o;
        cv::GaussianBlur(m, o, cv::Size(11, 11), 1.5);
        return o;
    };
    const cv::Mat mx = blur(x), my = blur(y);
    const cv::Mat mx2 = mx.mul(mx), my2 = my.mul(my), mxy = mx.mul(my);
    const cv::Mat sx = blur(x.mul(x)) - mx2, sy = blur(y.mul(y)) - my2, sxy = blur(x.mul(y)) - mxy;
    cv::Mat num = (2 * mxy + c1).mul(2 * sxy + c2);
    cv::Mat den = (mx2 + my2 + c1).mul(sx + sy + c2);
    cv::Mat map;
    cv::divide(num, den, map);
    return cv::mean(map)[0];
}

cv::Mat laplacianArgmax(const std::vector<cv::Mat>& frames) {
    CV_Assert(!frames.empty());
    cv::Mat out = frames[0].clone();
    cv::Mat best(frames[0].size(), CV_16SC1, cv::Scalar(-1));
    cv::Mat grey, lap, mag;
    for (const cv::Mat& f : frames) {
        cv::cvtColor(f, grey, cv::COLOR_RGB2GRAY);
        cv::Laplacian(grey, lap, CV_16S, 1);
        mag = cv::abs(lap);
        const cv::Mat better = mag > best;
        mag.copyTo(best, better);
        f.copyTo(out, better);
    }
    return out;
}

} // namespace FocusStackGenerator
