#include "imaging/StitchRegistration.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/flann.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace {

void reducedSift(const cv::Ptr<cv::SIFT>& sift, const cv::Mat& image, double scale, std::vector<cv::KeyPoint>* kp,
                 cv::Mat* desc) {
    cv::Mat small;
    cv::resize(image, small, cv::Size(), scale, scale, cv::INTER_AREA);
    sift->detectAndCompute(small, cv::noArray(), *kp, *desc);
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

bool registerStitchFrame(const cv::Mat& mosaic, const cv::Mat& frame, QPoint* topLeft) {
    if (mosaic.empty() || frame.empty())
        return false;
    // The k-d trees are built with the thread's random generator: started
    // afresh, a frame registers the same way on any thread and at any time.
    cv::theRNG() = cv::RNG();
    cv::Ptr<cv::SIFT> sift = cv::SIFT::create(0, 3, 0.04, 10, 1.6);
    std::vector<cv::KeyPoint> kpMosaic, kpFrame;
    cv::Mat dMosaic, dFrame;
    const double scale = stitchRegistrationScale(frame.cols);
    reducedSift(sift, mosaic, scale, &kpMosaic, &dMosaic);
    reducedSift(sift, frame, scale, &kpFrame, &dFrame);
    if (dMosaic.rows < 5 || dFrame.rows < 5)
        return false;
    if (dMosaic.type() != CV_32F)
        dMosaic.convertTo(dMosaic, CV_32F);
    if (dFrame.type() != CV_32F)
        dFrame.convertTo(dFrame, CV_32F);

    cv::FlannBasedMatcher matcher(cv::makePtr<cv::flann::KDTreeIndexParams>(4),
                                  cv::makePtr<cv::flann::SearchParams>(32, 0.0f, true));
    std::vector<std::vector<cv::DMatch>> knn;
    matcher.knnMatch(dFrame, dMosaic, knn, 2);

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
