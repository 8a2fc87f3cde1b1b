#include "app/hub/FlatFieldGain.h"

#include "app/hub/MessagePassing.h"
#include "platform/FileCommit.h"

#include <QDir>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace FlatFieldGain {

cv::Mat computeGainPicture(const QImage& field) {
    if (field.isNull() || field.width() <= 0 || field.height() <= 0)
        return cv::Mat();
    const QImage rgb = field.convertToFormat(QImage::Format_RGB888);
    const cv::Mat wrapped(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                          size_t(rgb.bytesPerLine()));
    cv::Mat grey;
    cv::cvtColor(wrapped, grey, cv::COLOR_RGB2GRAY);

    // Integer mean of the 11 x 11 window around the centre, clipped to the
    // picture so that small fields still have a centre brightness.
    const int cx = grey.cols / 2, cy = grey.rows / 2;
    const int x0 = std::max(0, cx - 5), x1 = std::min(grey.cols - 1, cx + 5);
    const int y0 = std::max(0, cy - 5), y1 = std::min(grey.rows - 1, cy + 5);
    long long sum = 0, count = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            sum += grey.at<uchar>(y, x);
            ++count;
        }
    const int m = int(sum / count);

    cv::Mat gain(grey.size(), CV_8UC1);
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* g = grey.ptr<uchar>(y);
        uchar* out = gain.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x) {
            if (g[x] == 0) {
                out[x] = 0;
                continue;
            }
            const float ratio = std::max(0.0f, float(m) / float(g[x]) - 1.0f);
            const int value = int(std::round(ratio * 100.0f));
            out[x] = uchar(std::min(255, value));
        }
    }
    return gain;
}

cv::Mat gainTable(const cv::Mat& gainPicture) {
    cv::Mat table;
    if (!gainPicture.empty())
        gainPicture.convertTo(table, CV_32FC1, 1.0 / 100.0);
    return table;
}

bool save(const cv::Mat& gainPicture, const QString& path, QString* why) {
    if (gainPicture.empty() || gainPicture.type() != CV_8UC1)
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    std::vector<uchar> encoded;
    try {
        // The encoder its suffix names, as cv::imwrite picks it.
        if (!cv::imencode(("." + QFileInfo(path).suffix()).toStdString(), gainPicture, encoded))
            return false;
    } catch (const cv::Exception&) {
        return false;
    }
    // Whole or not at all: a cut table would shade every stitched picture.
    const QByteArray bytes(reinterpret_cast<const char*>(encoded.data()), int(encoded.size()));
    const QString failure = FileCommit::writeBytes(path, bytes, MessagePassing::instance()->language());
    if (why)
        *why = failure;
    return failure.isEmpty();
}

bool apply(cv::Mat* frame, const cv::Mat& table) {
    if (!frame || frame->empty() || table.empty() || frame->type() != CV_8UC3 || table.type() != CV_32FC1 ||
        frame->size() != table.size())
        return false;
    for (int y = 0; y < frame->rows; ++y) {
        uchar* px = frame->ptr<uchar>(y);
        const float* g = table.ptr<float>(y);
        for (int x = 0; x < frame->cols; ++x, px += 3) {
            // The table holds G / 100 in single precision, which is not exact
            // in binary: take G back as the integer it was and correct in
            // integers, v + v x G / 100 truncated.
            const int gain = int(g[x] * 100.0f + 0.5f);
            for (int c = 0; c < 3; ++c) {
                const int v = px[c];
                px[c] = uchar(std::min(255, v + v * gain / 100));
            }
        }
    }
    return true;
}

bool apply(QImage* rgbFrame, const cv::Mat& table) {
    if (!rgbFrame || rgbFrame->isNull() || rgbFrame->format() != QImage::Format_RGB888)
        return false;
    if (table.cols != rgbFrame->width() || table.rows != rgbFrame->height())
        return false;
    cv::Mat wrapped(rgbFrame->height(), rgbFrame->width(), CV_8UC3, rgbFrame->bits(),
                    size_t(rgbFrame->bytesPerLine()));
    return apply(&wrapped, table);
}

} // namespace FlatFieldGain

