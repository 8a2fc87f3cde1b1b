#include "imaging/FocusFusionPlanes.h"

#include "imaging/LargeBufferAllocator.h"

#include <algorithm>

FocusFusionPlanes::FocusFusionPlanes() {
    LargeBufferAllocator::adopt({&best, &second, &out, &bestFocus, &secondFocus});
}

void FocusFusionPlanes::init(const cv::Mat& ycrcb, const cv::Mat& focus) {
    CV_Assert(ycrcb.type() == CV_8UC3 && focus.type() == CV_8UC1 && ycrcb.size() == focus.size());
    // Written into, never assigned: an assignment would take the source's allocator.
    ycrcb.copyTo(best);
    ycrcb.copyTo(out);
    focus.copyTo(bestFocus);
    second.create(ycrcb.size(), CV_8UC3);
    second.setTo(cv::Scalar::all(0));
    secondFocus.create(ycrcb.size(), CV_8UC1);
    secondFocus.setTo(cv::Scalar::all(0));
}

void FocusFusionPlanes::release() {
    best.release();
    second.release();
    out.release();
    bestFocus.release();
    secondFocus.release();
}

namespace {

// One row of the update. Raw row pointers, no allocation.
void fuseRow(const uchar* cur, const uchar* f, uchar* b3, uchar* s3, uchar* o3, uchar* bf, uchar* sf, int width) {
    for (int x = 0; x < width; ++x, cur += 3, b3 += 3, s3 += 3, o3 += 3) {
        const uchar fv = f[x];
        if (fv > bf[x]) {
            sf[x] = bf[x];
            s3[0] = b3[0];
            s3[1] = b3[1];
            s3[2] = b3[2];
            bf[x] = fv;
            b3[0] = cur[0];
            b3[1] = cur[1];
            b3[2] = cur[2];
        } else if (fv > sf[x]) {
            sf[x] = fv;
            s3[0] = cur[0];
            s3[1] = cur[1];
            s3[2] = cur[2];
        }
        const int b = bf[x], s = sf[x];
        const int t = b + s;
        if (b > FocusFusionPlanes::kTrustedFocus || t == 0) {
            o3[0] = b3[0];
            o3[1] = b3[1];
            o3[2] = b3[2];
        } else {
            // Averaging two frames keeps only the detail they share: where
            // one is clearly sharper the blend would fall below it, so the
            // second frame's share fades out as its focus falls from the
            // best's to kPickShare of it.
            const float fb = static_cast<float>(b), fs = static_cast<float>(s);
            const float fade = std::min(1.0f, std::max(0.0f, (fs - FocusFusionPlanes::kPickShare * fb) / ((1.0f - FocusFusionPlanes::kPickShare) * fb)));
            const float ws = fade * fs / (fb + fs);
            for (int c = 0; c < 3; ++c)
                o3[c] = static_cast<uchar>(ws * s3[c] + (1.0f - ws) * b3[c]);
        }
    }
}

} // namespace

void FocusFusionPlanes::fuse(const cv::Mat& ycrcb, const cv::Mat& focus) {
    CV_Assert(!best.empty() && ycrcb.type() == CV_8UC3 && focus.type() == CV_8UC1);
    CV_Assert(ycrcb.size() == best.size() && focus.size() == best.size());
    const int width = best.cols;
    cv::parallel_for_(cv::Range(0, best.rows), [&](const cv::Range& rows) {
        for (int r = rows.start; r < rows.end; ++r)
            fuseRow(ycrcb.ptr<uchar>(r), focus.ptr<uchar>(r), best.ptr<uchar>(r), second.ptr<uchar>(r),
                    out.ptr<uchar>(r), bestFocus.ptr<uchar>(r), secondFocus.ptr<uchar>(r), width);
    }, 8);
}
