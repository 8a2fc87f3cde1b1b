#include "imaging/StitchMosaic.h"

#include "imaging/LargeBufferAllocator.h"
#include "imaging/StitchFeatherMask.h"
#include "imaging/StitchMatcher.h"
#include "imaging/StitchOverlapCheck.h"
#include "imaging/StitchRegistration.h"
#include "imaging/StitchSubPixel.h"
#include "platform/MemoryRefusal.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>

namespace {

// Columns or rows to add for an overhang: whole 300-pixel steps, at least one.
int growthFor(int overhang) { return StitchMosaic::growStep * std::max(1, overhang / StitchMosaic::growStep); }

// A frame reduced to an eighth of its size in grey: enough to tell a frame
// taken at rest from one taken while the stage moved (blurred by the move,
// or somewhere else), too coarse for sensor noise to matter.
cv::Mat restThumb(const cv::Mat& frame) {
    cv::Mat grey, thumb;
    if (frame.empty())
        return thumb;
    cv::cvtColor(frame, grey, cv::COLOR_RGB2GRAY);
    cv::resize(grey, thumb, cv::Size(std::max(1, frame.cols / 8), std::max(1, frame.rows / 8)), 0, 0,
               cv::INTER_AREA);
    return thumb;
}

// Two frames taken at rest at one place: their thumbnails differ by noise
// alone (a few tenths of a grey level; a move or its blur: 3 and more).
bool alike(const cv::Mat& a, const cv::Mat& b) {
    return !a.empty() && a.size() == b.size() && cv::mean(cv::abs(a - b))[0] < 2.0;
}

// A message in a language (0 simplified Chinese, 1 English, 2 traditional
// Chinese; English for any other), from its three texts in that order.
QString inLanguage(const std::array<const char*, 3>& texts, int language) {
    return QString::fromUtf8(texts[size_t(language == 0 || language == 2 ? language : 1)]);
}

} // namespace

QString StitchMosaic::sizeLimitText(int language) {
    return inLanguage({"超过最大支持尺寸！", "Exceeding the maximum support size!", "超過最大支持尺寸！"},
                      language);
}

QString StitchMosaic::noMemoryText(int language) {
    return inLanguage(
        {"内存不足，拼接已停止。已拼好的图像仍可导出。",
         "Not enough memory: stitching has stopped. The image stitched so far can still be exported.",
         "記憶體不足，拼接已停止。已拼好的圖像仍可匯出。"},
        language);
}

QString StitchMosaic::noMemoryAtStartText(int language) {
    return inLanguage({"内存不足，拼接未能开始。", "Not enough memory: stitching could not start.",
                       "記憶體不足，拼接未能開始。"},
                      language);
}

QString StitchMosaic::noticeText(StitchStep::Notice notice, int language) {
    static const char* const texts[5][3] = {
        {"这里纹理太少，无法拼接，请把样品移到有纹理的区域。",
         "Too little texture to stitch here: please move the specimen to a textured area.",
         "這裡紋理太少，無法拼接，請把樣品移到有紋理的區域。"},
        {"无法放置图像，请在每个位置多停留片刻。", "Nothing can be placed: please hold each place a moment longer.",
         "無法放置圖像，請在每個位置多停留片刻。"},
        {"前两幅图像无法拼接：重叠处细节太少，无法核对接缝。将从细节更多的图像重新开始。",
         "The first pictures cannot be joined: where they overlap there is too little fine detail to check the "
         "join. Stitching starts again from a picture with more detail.",
         "前兩幅圖像無法拼接：重疊處細節太少，無法核對接縫。將從細節更多的圖像重新開始。"},
        {"前两幅图像无法拼接：图案重复或细节太淡，特征无法确定重叠的位置。将从细节更多的图像重新开始。",
         "The first pictures cannot be joined: the pattern repeats or its detail is faint, so their features do "
         "not agree on where they overlap. Stitching starts again from a picture with more detail.",
         "前兩幅圖像無法拼接：圖案重複或細節太淡，特徵無法確定重疊的位置。將從細節更多的圖像重新開始。"},
        {"前两幅图像无法匹配：可区分的特征太少。将从细节更多的图像重新开始。",
         "The first pictures cannot be matched: too few distinct features. Stitching starts again from a picture "
         "with more detail.",
         "前兩幅圖像無法匹配：可區分的特徵太少。將從細節更多的圖像重新開始。"}};
    if (notice == StitchStep::NoNotice)
        return QString();
    const char* const* t = texts[int(notice) - 1];
    return inLanguage({t[0], t[1], t[2]}, language);
}

bool StitchMosaic::canStartMosaic(const cv::Mat& frame, int descriptors) {
    return !frame.empty() && (descriptors < 0 || descriptors > 100) && stitchDetailSpread(frame) > stitchMinDetail;
}

void StitchMosaic::setFeatherMasks(const cv::Mat& full, const cv::Mat& half) {
    m_maskFull = full;
    m_maskHalf = half;
    m_maskFitted = cv::Mat();
}

cv::Mat StitchMosaic::startingMosaic(const cv::Mat& frame, int side) {
    const int s = std::max({side, frame.cols, frame.rows, 1});
    cv::Mat mosaic(s, s, CV_8UC3, cv::Scalar::all(0));
    if (!frame.empty())
        frame.copyTo(mosaic(cv::Rect((s - frame.cols) / 2, (s - frame.rows) / 2, frame.cols, frame.rows)));
    return mosaic;
}

void StitchMosaic::rebuild(const cv::Mat& frame, int side) {
    rebuild(frame.clone(), side, startingMosaic(frame, side));
}

void StitchMosaic::rebuild(const cv::Mat& frame, int side, const cv::Mat& prepared) {
    // A fresh buffer (startingMosaic's): a worker may still hold the old mosaic.
    m_mosaic = prepared.empty() ? startingMosaic(frame, side) : prepared;
    m_claimed.reset();
    m_canvasId = 0;
    const int s = m_mosaic.cols;
    m_placements.clear();
    const int x = (s - frame.cols) / 2, y = (s - frame.rows) / 2;
    m_placements.insert(0, QRect(x, y, frame.cols, frame.rows));
    m_frameCounter = 1;
    m_previousFrame = frame;
    m_previousRemainder = QPointF();
    // Votes are relative to the reference they were measured against.
    m_previousVotes.clear();
    m_placementOverlay = QPoint(x, y);
    m_markerVisible = false;
    m_unplacedMoves = 0;
    m_restingFailures = 0;
    m_lastFailedThumb.release();
    m_firstJoinSearches = 0;
    m_regionPending = false;
}

void StitchMosaic::restore(const cv::Mat& mosaic, const QMap<int, QRect>& placements,
                           const cv::Mat& previousFrame) {
    m_mosaic = mosaic.clone();
    m_claimed.reset();
    m_canvasId = 0;
    m_placements = placements;
    m_frameCounter = placements.isEmpty() ? 0 : placements.lastKey() + 1;
    m_previousFrame = previousFrame.clone();
    m_previousRemainder = QPointF();
    m_previousVotes.clear();
    m_placementOverlay = placements.isEmpty() ? QPoint() : placements.last().topLeft();
    m_regionPending = false;
}

QRect StitchMosaic::fullSearchRegion() const {
    const QRect last = frameMatchRegion();
    return QRect(0, 0, last.width(), last.height());
}

void StitchMosaic::setPositionMarker(QPointF pos, bool visible) {
    m_marker = pos;
    m_markerVisible = visible;
}

QImage StitchMosaic::mosaicView() const {
    if (m_mosaic.empty())
        return QImage();
    return QImage(m_mosaic.data, m_mosaic.cols, m_mosaic.rows, int(m_mosaic.step), QImage::Format_RGB888);
}

// ---------------------------------------------------------------- results

StitchStep StitchMosaic::restartFrom(const cv::Mat& frame, StitchStep step) {
    rebuild(frame, m_mosaic.cols);
    step.rebuilt = true;
    step.placementMoved = true;
    step.placementPos = m_placementOverlay;
    step.matchOverlay = StitchStep::Show;
    step.matchMarker = 0;
    step.matchMoved = true;
    step.matchPos = m_placementOverlay;
    step.placed = true;
    step.head = 1;
    return step;
}

StitchStep StitchMosaic::failure(StitchStep step, const StitchMatchResult& result, const cv::Mat& frame,
                                 Cause cause) {
    m_stills = 0;
    // Frames that fail while the camera rests: the hold was long enough.
    // (m_lastThumb is this frame's.)
    if (alike(m_lastThumb, m_lastFailedThumb))
        ++m_restingFailures;
    m_lastFailedThumb = m_lastThumb;
    if (++m_failures >= failureLimit) {
        m_failures = 0;
        if (m_placements.size() == 1) {
            // The second frame was never placed. When no two failed frames
            // were taken at rest, each place was left before it could be
            // matched: holding longer helps. Otherwise the first frame is
            // what cannot be joined, and the operator is told why; matches
            // that do not settle on one offset, and places whose detail
            // disagrees, come from a pattern that repeats. Start again from
            // this frame when it was held still and can start a mosaic (a
            // frame taken in transit is blurred by the move, and a mosaic
            // started from it joins nothing); otherwise search, and start
            // again from the first frame that can (applyFullSearchResult).
            if (m_restingFailures < 2)
                step.notice = StitchStep::HoldLonger;
            else if (cause == NoDetail)
                step.notice = StitchStep::FirstJoinNoDetail;
            else if (cause == Disagrees || cause == Unreliable)
                step.notice = StitchStep::FirstJoinRepeats;
            else
                step.notice = StitchStep::FirstJoinNoMatch;
            m_unplacedMoves = 0;
            m_restingFailures = 0;
            if (m_heldStill && canStartMosaic(frame, result.frameDescriptors))
                return restartFrom(frame, step);
        }
        // Lost after a place that was seen moved but never placed: the pan
        // went on before two frames of that place agreed.
        if (m_unplacedMoves > 0 && step.notice == StitchStep::NoNotice)
            step.notice = StitchStep::HoldLonger;
        m_unplacedMoves = 0;
        step.matchOverlay = StitchStep::Show;
        step.matchMarker = 2;
        step.head = 3;
    }
    return step;
}

void StitchMosaic::noteFrame(const cv::Mat& frame, int descriptors) {
    cv::Mat thumb = restThumb(frame);
    const bool alikeBefore = alike(thumb, m_lastThumb);
    // On a mostly white page a frame blurred by a move differs little from
    // the sharp frame before it, but keeps far fewer distinct features
    // (two thirds and less; frames at rest keep all but a few per cent):
    // held still, a frame keeps about as many as the frame before it, where
    // both counts are known.
    const bool counted = descriptors >= 0 && m_lastDescriptors >= 0;
    m_heldStill = alikeBefore && (!counted || descriptors * 10 >= m_lastDescriptors * 9);
    m_lastThumb = thumb;
    m_lastDescriptors = descriptors;
}

StitchStep StitchMosaic::applyMatchResult(const StitchMatchResult& result, const cv::Mat& frame) {
    noteFrame(frame, result.frameDescriptors);
    StitchStep step;
    const QPoint estimate(result.region.x() - result.offsetX, result.region.y() - result.offsetY);

    if (result.status == StitchStill) {
        m_failures = 0;
        step.matchOverlay = StitchStep::Hide;
        if (++m_stills < stillLimit) {
            step.delayMs = 201;
        } else {
            m_stills = 0;
            step.delayMs = 1340;
        }
        return step;
    }
    if (result.status != StitchMoved) {
        // A first frame without texture can never be matched, and no search
        // of a mosaic that holds only it can help: the first textured frame
        // starts the mosaic instead, and until then the operator is told.
        const bool featurelessStart = m_placements.size() == 1 &&
                                      result.status == StitchFewFeatures && result.referenceDescriptors >= 0 &&
                                      result.referenceDescriptors <= 100;
        if (featurelessStart) {
            m_stills = 0;
            if (result.frameDescriptors > 100) {
                step = restartFrom(frame, step);
                step.head = -1;
            } else {
                step.notice = StitchStep::NeedTexture;
            }
            return step;
        }
        return failure(step, result, frame, result.status == StitchFewFeatures ? FewFeatures : Unreliable);
    }

    // Moved: a frame is placed only when two results agree.
    if (m_previousVotes.empty()) {
        m_previousVotes = result.votes;
        if (++m_unplacedMoves == unplacedLimit)
            step.notice = StitchStep::HoldLonger;
        step.matchOverlay = StitchStep::Show;
        step.matchMoved = true;
        step.matchPos = estimate;
        return step;
    }
    int total = 0;
    StitchVotes common = commonStitchVotes(result.votes, m_previousVotes, &total);
    m_previousVotes.clear();
    sortVotesByWeight(common);
    if (common.empty() || common.front().weight < 10) {
        step.matchOverlay = StitchStep::Show;
        step.matchMoved = true;
        step.matchPos = estimate;
        // Results that keep disagreeing: every place is left before two
        // frames of it agree.
        if (++m_unplacedMoves == unplacedLimit)
            step.notice = StitchStep::HoldLonger;
        return step;
    }
    return placeFromVotes(std::move(common), total, result, frame, true);
}

StitchStep StitchMosaic::applyFullSearchResult(const StitchMatchResult& result, const cv::Mat& frame) {
    if (!m_regionPending) // a region match comes with the frame its search had
        noteFrame(frame, -1);
    StitchStep step = searchResult(result, frame);
    // Lost while the mosaic holds its first frame alone: that frame cannot be
    // joined, and searching it again will not change that. The first frame
    // held still that can start a mosaic does.
    if (step.head == 3 && !step.placed && !m_regionPending && m_placements.size() == 1 &&
        ++m_firstJoinSearches >= firstJoinSearchLimit && m_heldStill && canStartMosaic(frame, -1))
        return restartFrom(frame, step);
    return step;
}

StitchStep StitchMosaic::searchResult(const StitchMatchResult& result, const cv::Mat& frame) {
    StitchStep lost;
    lost.head = 3;

    if (m_regionPending) {
        // The region match after a registration.
        m_regionPending = false;
        if (result.status != StitchMoved)
            return lost;
    } else if (result.status != StitchMoved) {
        QPoint pos = result.registeredPos;
        const bool found = result.registration >= 0 ? result.registration == 1
                                                    : registerStitchFrame(m_mosaic, frame, &pos);
        if (!found)
            return lost;
        // A registration is believed only where the frame lies over mosaic
        // that holds pictures.
        if (measureStitchOverlap(m_mosaic, frame, pos).covered < minCovered) {
            lost.refused = true;
            return lost;
        }
        m_placementOverlay = pos;
        // The region the registration found, kept inside the mosaic; the
        // frame-to-frame match then measures the offset in it.
        const int w = frame.cols, h = frame.rows, W = m_mosaic.cols, H = m_mosaic.rows;
        int x = pos.x(), y = pos.y();
        if (x < 0)
            x = 0;
        if (x + w >= W)
            x = std::max(0, W - w - 1);
        if (y < 0)
            y = 0;
        if (y + h >= H)
            y = std::max(0, H - h - 1);
        StitchStep step;
        step.registered = true;
        step.placementMoved = true;
        step.placementPos = pos;
        step.startRegionMatch = true;
        step.region = QRect(x, y, w, h);
        step.delayMs = 0;
        m_regionPending = true;
        return step;
    }

    StitchVotes votes = result.votes;
    sortVotesByWeight(votes);
    const int total = stitchVoteTotal(votes);
    return placeFromVotes(std::move(votes), total, result, frame, false);
}

StitchStep StitchMosaic::placeFromVotes(StitchVotes votes, int total, const StitchMatchResult& result,
                                        const cv::Mat& frame, bool fromPreviousFrame) {
    StitchStep step;
    int ix = 0, iy = 0;
    double ex = 0.0, ey = 0.0;
    if (m_subPixel) {
        float mx = 0.0f, my = 0.0f;
        if (!stitchVoteMeanExact(votes, total, &mx, &my)) {
            // Nothing to average: treat as lost rather than divide by zero.
            step.head = 3;
            return step;
        }
        // Where the frame lies in the reference: the votes give it to about
        // a pixel (key points sit on the pixel grid), the pictures to a
        // fraction.
        cv::Point2d shift(-double(mx), -double(my));
        const QRect r = result.region;
        if (fromPreviousFrame)
            refineStitchShift(m_previousFrame, frame, &shift);
        else if (QRect(0, 0, m_mosaic.cols, m_mosaic.rows).contains(r))
            refineStitchShift(m_mosaic(cv::Rect(r.x(), r.y(), r.width(), r.height())), frame, &shift);
        // The frame's position relative to the region, rounded once (halves
        // away from zero). Against the previous frame the region is that
        // frame's rounded placement, so the fraction its rounding dropped
        // counts; a mosaic region holds the pictures at their rounded places
        // already.
        const QPointF remainder = fromPreviousFrame ? m_previousRemainder : QPointF();
        ex = remainder.x() + shift.x;
        ey = remainder.y() + shift.y;
        ix = int(std::round(ex));
        iy = int(std::round(ey));
    } else {
        int ox = 0, oy = 0;
        if (!stitchVoteMean(votes, total, &ox, &oy)) {
            step.head = 3;
            return step;
        }
        ix = -ox;
        iy = -oy;
        ex = ix;
        ey = iy;
    }

    // Checked before anything is pasted: a wrong place would spoil the
    // mosaic for every frame matched against it later.
    const QPoint proposed(result.region.x() + ix, result.region.y() + iy);
    const StitchOverlap overlap = measureStitchOverlap(m_mosaic, frame, proposed);
    if (overlap.covered < minCovered || !overlap.textured || overlap.agreement < minAgreement) {
        step.refused = true;
        step.matchOverlay = StitchStep::Show;
        step.matchMarker = 2;
        step.matchMoved = true;
        step.matchPos = proposed;
        if (!fromPreviousFrame) {
            step.head = 3; // a full search that found a wrong place is still lost
            return step;
        }
        // Two results of this place agreed: the hold was long enough, and
        // what failed is the place itself.
        m_unplacedMoves = 0;
        const Cause cause = overlap.covered < minCovered ? Uncovered : !overlap.textured ? NoDetail : Disagrees;
        return failure(step, result, frame, cause);
    }

    m_failures = 0;
    m_unplacedMoves = 0;
    m_restingFailures = 0;
    m_firstJoinSearches = 0;
    const StitchPlacement p = growStitchCanvas(frame, -ix, -iy, result.region);
    if (p.pasted)
        m_previousRemainder = m_subPixel ? QPointF(ex - ix, ey - iy) : QPointF();
    step.matchOverlay = StitchStep::Show;
    step.matchMoved = true;
    step.matchPos = p.pos;
    step.placementMoved = true;
    step.placementPos = p.pos;
    m_placementOverlay = p.pos;
    step.head = 1;
    step.placed = p.pasted;
    step.grew = p.grew;
    step.sizeLimit = p.sizeLimit;
    step.noMemory = p.noMemory;
    if (p.noMemory)
        step.head = 0;
    step.hidePositionMarker = p.markerCovered;
    return step;
}

// ---------------------------------------------------------------- placing

void StitchMosaic::grow(int left, int top, int right, int bottom) {
    cv::Size whole;
    cv::Point at;
    m_mosaic.locateROI(whole, at);
    const cv::Rect now(at, m_mosaic.size());
    // The room the canvas has on each side; none when a copy of this
    // mosaic took it.
    const bool claimed = m_claimed && *m_claimed == now;
    const int hasLeft = claimed ? at.x : 0, hasTop = claimed ? at.y : 0;
    const int hasRight = claimed ? whole.width - now.br().x : 0, hasBottom = claimed ? whole.height - now.br().y : 0;
    cv::Mat inside = m_mosaic;
    if (hasLeft >= left && hasTop >= top && hasRight >= right && hasBottom >= bottom &&
        LargeBufferAllocator::commit(inside.adjustROI(top, bottom, left, right))) {
        m_mosaic = inside;
        m_mosaic.locateROI(whole, at);
        *m_claimed = cv::Rect(at, m_mosaic.size());
    } else {
        // A canvas with room on every side for the mosaic to grow to the
        // largest side whichever way it goes: reserved, it takes memory only
        // in the rows where the mosaic lies, and the mosaic is never copied
        // again. Where the system refuses that: room for half the new side
        // on each side that grows now (a pan goes on the way it went) and
        // what the others had, so that a copy comes at every doubling, not
        // at every step.
        const int W = m_mosaic.cols + left + right, H = m_mosaic.rows + top + bottom;
        const int roomX = std::max(0, maxSide - W), roomY = std::max(0, maxSide - H);
        auto room = [](int has, int grows, int half) { return grows ? std::max(has - grows, half) : has; };
        const int roomLeft = std::min(room(hasLeft, left, W / 2), roomX);
        const int roomRight = std::min(room(hasRight, right, W / 2), roomX - roomLeft);
        const int roomTop = std::min(room(hasTop, top, H / 2), roomY);
        const int roomBottom = std::min(room(hasBottom, bottom, H / 2), roomY - roomTop);
        const cv::Size sizes[2] = {{W + 2 * roomX, H + 2 * roomY},
                                   {W + roomLeft + roomRight, H + roomTop + roomBottom}};
        const cv::Rect places[2] = {{roomX, roomY, W, H}, {roomLeft, roomTop, W, H}};
        cv::Mat canvas;
        cv::Rect placed;
        for (int i = 0; i < 2 && canvas.empty(); ++i) {
            cv::Mat c;
            if (MemoryRefusal::within(
                    [&] { c = LargeBufferAllocator::reserve(sizes[i], CV_8UC3); }) &&
                LargeBufferAllocator::commit(c(places[i]))) {
                canvas = c;
                placed = places[i];
            }
        }
        if (canvas.empty())
            CV_Error(cv::Error::StsNoMem, "no memory to grow the stitching mosaic");
        m_mosaic.copyTo(canvas(cv::Rect(placed.x + left, placed.y + top, m_mosaic.cols, m_mosaic.rows)));
        m_mosaic = canvas(placed);
        m_claimed = std::make_shared<cv::Rect>(placed);
        static std::atomic<quint64> canvases{0};
        m_canvasId = ++canvases;
    }
    if (left == 0 && top == 0)
        return;
    for (QRect& r : m_placements)
        r.translate(left, top);
    m_placementOverlay += QPoint(left, top);
    // The marked place moves with the content under it.
    m_marker += QPointF(left, top);
}

StitchPlacement StitchMosaic::growStitchCanvas(const cv::Mat& frame, int dx, int dy, QRect region) {
    StitchPlacement out;
    const int w = frame.cols, h = frame.rows;
    for (;;) {
        const int W = m_mosaic.cols, H = m_mosaic.rows;
        const int x = region.x() - dx, y = region.y() - dy;
        out.pos = QPoint(x, y);
        int left = 0, top = 0, right = 0, bottom = 0;
        if (x < 0)
            left = growthFor(-x);
        else if (x + w >= W)
            right = growthFor(x + w - W);
        else if (y < 0)
            top = growthFor(-y);
        else if (y + h >= H)
            bottom = growthFor(y + h - H);
        else
            break;
        if (W + left + right > maxSide || H + top + bottom > maxSide) {
            out.sizeLimit = true;
            return out;
        }
        if (!MemoryRefusal::within([&] { grow(left, top, right, bottom); })) {
            out.noMemory = true;
            return out;
        }
        region.translate(left, top);
        out.grew = true;
    }
    if (frame.empty() || frame.type() != CV_8UC3)
        return out;

    const int x = out.pos.x(), y = out.pos.y();
    cv::Mat previous;
    if (!MemoryRefusal::within([&] { previous = frame.clone(); })) {
        out.noMemory = true;
        return out;
    }
    blend(frame, x, y, maskFor(frame));
    out.pasted = true;

    m_placements.insert(m_frameCounter, QRect(x, y, w, h));
    ++m_frameCounter;
    m_previousFrame = previous;
    m_previousRemainder = QPointF();
    const int mx = int(m_marker.x()), my = int(m_marker.y());
    if (m_markerVisible && mx >= x && mx < x + w && my >= y && my < y + h) {
        m_markerVisible = false;
        out.markerCovered = true;
    }
    return out;
}

const cv::Mat& StitchMosaic::maskFor(const cv::Mat& frame) {
    const cv::Mat& mask = m_precision ? m_maskFull : m_maskHalf;
    if (mask.cols == frame.cols && mask.rows == frame.rows && mask.type() == CV_32FC1 && mask.isContinuous())
        return mask;
    // Another size than the frame's (camera changed, mask not built yet):
    // stretch the weights to the frame once and keep them.
    if (m_maskFitted.cols != frame.cols || m_maskFitted.rows != frame.rows) {
        const cv::Mat& source = mask.empty() ? (m_precision ? m_maskHalf : m_maskFull) : mask;
        m_maskFitted = fitStitchFeatherMask(source, frame.cols, frame.rows);
    }
    return m_maskFitted;
}

void StitchMosaic::blend(const cv::Mat& frame, int x, int y, const cv::Mat& mask) {
    const int w = frame.cols, h = frame.rows;
    for (int r = 0; r < h; ++r) {
        uchar* m = m_mosaic.ptr<uchar>(y + r) + 3 * x;
        const uchar* f = frame.ptr<uchar>(r);
        const float* t = mask.ptr<float>(r);
        for (int c = 0; c < w; ++c, m += 3, f += 3) {
            const float weight = t[c];
            if (weight > 1.0f || (m[0] == 0 && m[1] == 0 && m[2] == 0)) {
                m[0] = f[0];
                m[1] = f[1];
                m[2] = f[2];
                continue;
            }
            const float keep = 1.0f - weight;
            m[0] = uchar(keep * float(m[0]) + weight * float(f[0]));
            m[1] = uchar(keep * float(m[1]) + weight * float(f[1]));
            m[2] = uchar(keep * float(m[2]) + weight * float(f[2]));
        }
    }
}
