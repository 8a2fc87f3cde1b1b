#include "imaging/StitchRegistration.h"

#include "imaging/StoppableWork.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/flann.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

} // namespace

bool reduceStitchImage(const cv::Mat& image, double scale, cv::Mat* small, const std::function<bool()>& stopped) {
    const cv::Size size(cv::saturate_cast<int>(image.cols * scale), cv::saturate_cast<int>(image.rows * scale));
    if (size.width <= 0 || size.height <= 0)
        return false;
    if (scale == 1.0) {
        *small = image;
        return true;
    }
    small->create(size, image.type());
    for (int r0 = 0; r0 < size.height; r0 += stitchRegistrationBand) {
        if (stopped && stopped())
            return false;
        const int r1 = std::min(size.height, r0 + stitchRegistrationBand);
        const int y0 = int(std::lround(r0 / scale)), y1 = std::min(image.rows, int(std::lround(r1 / scale)));
        cv::Mat into = (*small)(cv::Rect(0, r0, size.width, r1 - r0));
        cv::resize(image(cv::Rect(0, y0, image.cols, y1 - y0)), into, into.size(), 0, 0, cv::INTER_AREA);
    }
    return true;
}

namespace {

// SIFT key points of `small`, a band of rows at a time, in its coordinates;
// false when stopped.
bool bandedSift(const cv::Ptr<cv::SIFT>& sift, const cv::Mat& small, std::vector<cv::KeyPoint>* kp, cv::Mat* desc,
                const std::function<bool()>& stopped) {
    kp->clear();
    *desc = cv::Mat();
    std::vector<cv::Mat> parts;
    for (int c0 = 0; c0 < small.rows; c0 += stitchRegistrationBand) {
        if (stopped && stopped())
            return false;
        int c1 = std::min(small.rows, c0 + stitchRegistrationBand);
        if (small.rows - c1 <= stitchRegistrationMargin)
            c1 = small.rows; // a last sliver goes with this band
        const int s0 = std::max(0, c0 - stitchRegistrationMargin);
        const int s1 = std::min(small.rows, c1 + stitchRegistrationMargin);
        std::vector<cv::KeyPoint> bandKp;
        cv::Mat bandDesc;
        sift->detectAndCompute(small(cv::Rect(0, s0, small.cols, s1 - s0)), cv::noArray(), bandKp, bandDesc);
        for (size_t i = 0; i < bandKp.size(); ++i) {
            cv::KeyPoint k = bandKp[i];
            k.pt.y += float(s0);
            if (k.pt.y < float(c0) || k.pt.y >= float(c1))
                continue; // the neighbouring band's
            kp->push_back(k);
            parts.push_back(bandDesc.row(int(i)));
        }
        c0 = c1 - stitchRegistrationBand;
    }
    if (!parts.empty())
        cv::vconcat(parts, *desc);
    return true;
}

} // namespace

double stitchRegistrationScale(int frameWidth) {
    if (frameWidth > 640)
        return 0.25;
    return frameWidth > 320 ? 0.5 : 1.0;
}

bool stitchHomographyPosition(const cv::Mat& homography, QPoint* topLeft) {
    if (homography.empty() || homography.rows != 3 || homography.cols != 3)
        return false;
    cv::Mat h;
    homography.convertTo(h, CV_64F);
    const double tx = h.at<double>(0, 2), ty = h.at<double>(1, 2);
    const double sx = h.at<double>(0, 0), sy = h.at<double>(1, 1);
    if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(sx) || !std::isfinite(sy))
        return false;
    if (!(std::fabs(sx - sy) < 0.016))
        return false;
    // The default rounding mode rounds halves to even.
    *topLeft = QPoint(int(std::nearbyint(tx)), int(std::nearbyint(ty)));
    return true;
}

bool registerStitchFrame(const cv::Mat& mosaic, const cv::Mat& frame, QPoint* topLeft,
                         const std::function<bool()>& stopped) {
    if (mosaic.empty() || frame.empty())
        return false;
    // The k-d trees are built with the thread's random generator: started
    // afresh, a frame registers the same way on any thread and at any time.
    cv::theRNG() = cv::RNG();
    cv::Ptr<cv::SIFT> sift = cv::SIFT::create(0, 3, 0.04, 10, 1.6);
    std::vector<cv::KeyPoint> kpMosaic, kpFrame;
    cv::Mat dMosaic, dFrame;
    const double scale = stitchRegistrationScale(frame.cols);
    cv::Mat smallMosaic, smallFrame;
    if (!reduceStitchImage(mosaic, scale, &smallMosaic, stopped) || !bandedSift(sift, smallMosaic, &kpMosaic, &dMosaic, stopped))
        return false;
    smallMosaic.release();
    if (stopped && stopped())
        return false;
    cv::resize(frame, smallFrame, cv::Size(), scale, scale, cv::INTER_AREA);
    sift->detectAndCompute(smallFrame, cv::noArray(), kpFrame, dFrame);
    if (dMosaic.rows < 5 || dFrame.rows < 5)
        return false;
    if (dMosaic.type() != CV_32F)
        dMosaic.convertTo(dMosaic, CV_32F);
    if (dFrame.type() != CV_32F)
        dFrame.convertTo(dFrame, CV_32F);

    if (stopped && stopped())
        return false;
    // The k-d trees over a whole mosaic's features take longer than a band:
    // they are built and searched on a thread of its own while the stop flag
    // is looked at. Its random generator starts afresh too.
    struct Match {
        cv::Mat query, train;
        std::vector<std::vector<cv::DMatch>> knn;
    };
    auto match = std::make_shared<Match>();
    match->query = dFrame;
    match->train = dMosaic;
    dMosaic.release();
    if (!StoppableWork::run(
            [match] {
                cv::theRNG() = cv::RNG();
                cv::FlannBasedMatcher matcher(cv::makePtr<cv::flann::KDTreeIndexParams>(4),
                                              cv::makePtr<cv::flann::SearchParams>(32, 0.0f, true));
                matcher.knnMatch(match->query, match->train, match->knn, 2);
                match->query.release();
                match->train.release();
            },
            stopped))
        return false;
    const std::vector<std::vector<cv::DMatch>> knn = std::move(match->knn);

    std::vector<cv::Point2f> framePts, mosaicPts;
    for (const std::vector<cv::DMatch>& pair : knn) {
        if (pair.size() < 2)
            continue;
        if (pair[0].distance / pair[1].distance < 0.6666667f) {
            framePts.push_back(kpFrame[size_t(pair[0].queryIdx)].pt * float(1.0 / scale));
            mosaicPts.push_back(kpMosaic[size_t(pair[0].trainIdx)].pt * float(1.0 / scale));
        }
    }
    if (framePts.size() <= 4)
        return false;
    cv::Mat h;
    try {
        h = cv::findHomography(framePts, mosaicPts, cv::RANSAC, 3.0, cv::noArray(), 2000, 0.995);
    } catch (const cv::Exception&) {
        return false;
    }
    return stitchHomographyPosition(h, topLeft);
}
