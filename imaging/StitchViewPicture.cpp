#include "imaging/StitchViewPicture.h"

#include "imaging/StitchCanvasAllocator.h"
#include "imaging/StitchMosaic.h"
#include "imaging/StitchStart.h"

#include <opencv2/imgproc.hpp>

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
    m_canvasId = 0;
    m_shown = cv::Rect();
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
    if (mosaic.canvasId() != m_canvasId || format != m_format || m_canvas.size() != whole ||
        (now & m_shown) != m_shown) {
        // A new canvas: its pages are taken as the mosaic grows into them.
        m_canvas = cv::Mat();
        m_canvas.allocator = StitchCanvasAllocator::instance();
        try {
            m_canvas.create(whole, CV_8UC4);
        } catch (const cv::Exception&) {
            clear();
            return StitchStart::picture(m, format);
        }
        m_canvasId = mosaic.canvasId();
        m_format = format;
        m_shown = cv::Rect();
    }
    cv::Mat view = m_canvas(now);
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
