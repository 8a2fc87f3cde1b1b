#include "bench/support/BenchSpecimen.h"

#include <opencv2/imgproc.hpp>

cv::Mat benchSpecimen(int w, int h) {
    cv::Mat bgr(h, w, CV_8UC3);
    cv::randu(bgr, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(bgr, bgr, cv::Size(0, 0), 1.2);
    for (int i = 0; i < 40; ++i)
        cv::circle(bgr, cv::Point((i * 977) % w, (i * 613) % h), 40 + (i * 37) % 200,
                   cv::Scalar((i * 50) % 255, (i * 90) % 255, (i * 130) % 255), 6, cv::LINE_AA);
    cv::Mat grain(h, w, CV_8UC3);
    cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(6));
    cv::add(bgr, grain, bgr);
    return bgr;
}
