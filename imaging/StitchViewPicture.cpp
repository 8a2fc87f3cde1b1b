#include "imaging/StitchViewPicture.h"

#include "imaging/LargeBufferAllocator.h"
#include "imaging/StitchMosaic.h"
#include "imaging/StitchStart.h"
#include "platform/MemoryRefusal.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Opaque RGB pixels in these formats are the bytes blue, green, red, 255.
bool bgraBytes(QImage::Format format) {
    return Q_BYTE_ORDER == Q_LITTLE_ENDIAN &&
           (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
            format == QImage::Format_ARGB32_Premultiplied);
}

void dropCanvas(void* canvas) { delete static_cast<cv::Mat*>(canvas); }

} // namespace

void StitchViewPicture::clear() {
    m_canvas.release();
    m_offset = cv::Point();
    m_canvasId = 0;
    m_shown = cv::Rect();
}

bool StitchViewPicture::place(const cv::Rect& now, const cv::Size& whole) {
    // The mosaic canvas's layout (reserved: memory only where the mosaic
    // lies), or, where the system refuses that, room for half the mosaic's
    // side on each side the canvas has room on, so that a copy comes at
    // every doubling, not at every growth; at the least the mosaic alone.
    const int left = std::min(now.x, now.width / 2), top = std::min(now.y, now.height / 2);
    const int right = std::min(whole.width - now.br().x, now.width / 2);
    const int bottom = std::min(whole.height - now.br().y, now.height / 2);
    const cv::Size sizes[3] = {whole, {now.width + left + right, now.height + top + bottom}, now.size()};
    const cv::Point offsets[3] = {{0, 0}, {left - now.x, top - now.y}, {-now.x, -now.y}};
    for (int i = 0; i < 3; ++i) {
        if (i == 0 && !m_canvas.empty() && m_canvas.size() == whole && m_offset == cv::Point())
            continue; // that layout is the one that has no memory left
        cv::Mat canvas;
        if (!MemoryRefusal::within(
                [&] { canvas = LargeBufferAllocator::reserve(sizes[i], CV_8UC4); }) ||
            !LargeBufferAllocator::commit(canvas(now + offsets[i])))
            continue;
        // What the pictures before showed moves along (with the frames the
        // caller pasted into them).
        if (!m_shown.empty())
            m_canvas(m_shown + m_offset).copyTo(canvas(m_shown + offsets[i]));
        m_canvas = canvas;
        m_offset = offsets[i];
        return true;
    }
    return false;
}

QImage StitchViewPicture::grown(const StitchMosaic& mosaic, QImage::Format format) {
    const cv::Mat& m = mosaic.mosaic();
    if (m.empty() || m.type() != CV_8UC3 || mosaic.canvasId() == 0 || !bgraBytes(format)) {
        clear();
        return StitchStart::picture(m, format);
    }
    cv::Size whole;
    cv::Point at;
    m.locateROI(whole, at);
    const cv::Rect now(at, m.size());
    if (mosaic.canvasId() != m_canvasId || format != m_format || (now & m_shown) != m_shown) {
        // A new canvas: the whole mosaic is converted.
        clear();
        m_canvasId = mosaic.canvasId();
        m_format = format;
    }
    const cv::Rect inCanvas = now + m_offset;
    if (m_canvas.empty() || (inCanvas & cv::Rect(cv::Point(), m_canvas.size())) != inCanvas ||
        !LargeBufferAllocator::commit(m_canvas(inCanvas))) {
        if (!place(now, whole)) {
            clear();
            return StitchStart::picture(m, format);
        }
    }
    cv::Mat view = m_canvas(now + m_offset);
    if (m_shown.empty()) {
        cv::cvtColor(m, view, cv::COLOR_RGB2BGRA);
    } else {
        // What the last picture did not show, in the mosaic's coordinates:
        // the full-height bands left and right of it, and above and below
        // it. The mosaic grew into black room there, and holds pictures
        // only where frames were placed since: black, and those converted.
        const cv::Rect s = m_shown - at;
        const cv::Rect added[4] = {{0, 0, s.x, m.rows},
                                   {s.br().x, 0, m.cols - s.br().x, m.rows},
                                   {s.x, 0, s.width, s.y},
                                   {s.x, s.br().y, s.width, m.rows - s.br().y}};
        for (const cv::Rect& r : added) {
            if (r.width <= 0 || r.height <= 0)
                continue;
            view(r).setTo(cv::Scalar(0, 0, 0, 255));
            for (const QRect& q : mosaic.placements()) {
                const cv::Rect f = cv::Rect(q.x(), q.y(), q.width(), q.height()) & r;
                if (f.empty())
                    continue;
                cv::Mat into = view(f);
                cv::cvtColor(m(f), into, cv::COLOR_RGB2BGRA);
            }
        }
    }
    m_shown = now;
    return QImage(view.data, view.cols, view.rows, int(view.step), format, dropCanvas, new cv::Mat(m_canvas));
}

QImage StitchViewPicture::reduced(const cv::Mat& mosaic, int longSide) {
    if (mosaic.empty() || mosaic.type() != CV_8UC3 || longSide <= 0)
        return QImage();
    const double f = std::min(1.0, double(longSide) / std::max(mosaic.cols, mosaic.rows));
    const cv::Size size(std::max(1, int(std::lround(mosaic.cols * f))), std::max(1, int(std::lround(mosaic.rows * f))));
    QImage out;
    MemoryRefusal::within([&] {
        out = QImage(size.width, size.height, QImage::Format_RGB888);
        if (out.isNull())
            return;
        cv::Mat into(out.height(), out.width(), CV_8UC3, out.bits(), size_t(out.bytesPerLine()));
        cv::resize(mosaic, into, size, 0, 0, cv::INTER_AREA);
    });
    return out;
}
