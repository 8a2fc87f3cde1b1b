#include "StitchLoopDriver.h"

#include "imaging/ThreadPinJie.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace {

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

StitchLoopDriver::StitchLoopDriver(bool precision, bool threaded)
    : m_precision(precision), m_threaded(threaded) {
    m_mosaic.setPrecision(precision);
}

int StitchLoopDriver::runJob(Job job, const cv::Mat& reference, const cv::Mat& frame, QRect* region,
                             StitchMatchResult* out, double* ms, StitchStep* step) {
    out->votes.clear();
    const auto t0 = std::chrono::steady_clock::now();
    if (m_threaded) {
        // As the panel runs it: the worker applies the result to a copy of
        // the mosaic, which is adopted afterwards.
        ThreadPinJie worker;
        QEventLoop loop;
        QObject::connect(&worker, &ThreadPinJie::startFindFinish, &loop, &QEventLoop::quit);
        QObject::connect(&worker, &ThreadPinJie::startFindMaxFinish, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit); // a hung job fails the test, not the run
        StitchMosaic next = m_mosaic;
        out->region = *region;
        worker.setApply(&next, out, &frame, step, nullptr, QImage::Format_RGB32);
        if (job == FrameMatch)
            worker.startFind(reference, frame, m_precision, &out->offsetX, &out->offsetY, &out->votes, &out->status);
        else if (job == FullSearch)
            worker.startFindMax(reference, frame, m_precision, &out->region, &out->offsetX, &out->offsetY,
                                &out->votes, &out->status);
        else
            worker.startFindRegion(reference, frame, m_precision, &out->region, &out->offsetX, &out->offsetY,
                                   &out->votes, &out->status);
        loop.exec();
        worker.wait();
        if (worker.applied())
            m_mosaic = next;
        *region = out->region;
        out->registration = worker.registration();
        out->registeredPos = worker.registeredPos();
        *ms = msSince(t0);
        return out->status;
    }
    if (job == FrameMatch) {
        out->status = m_matcher.matchFrames(reference, frame, m_precision, &out->offsetX, &out->offsetY, &out->votes);
        out->referenceDescriptors = m_matcher.lastReferenceDescriptors();
        out->frameDescriptors = m_matcher.lastFrameDescriptors();
    } else if (job == FullSearch) {
        out->status = m_matcher.searchMosaic(reference, frame, m_precision, region, &out->offsetX, &out->offsetY,
                                             &out->votes);
    } else {
        const cv::Mat inside = reference(cv::Rect(region->x(), region->y(), region->width(), region->height()));
        out->status = m_matcher.matchRegion(inside, frame, m_precision, &out->offsetX, &out->offsetY, &out->votes);
    }
    *ms = msSince(t0);
    out->region = *region;
    return out->status;
}

void StitchLoopDriver::run(const std::vector<StitchPanFrame>& frames) {
    for (size_t i = 0; i < frames.size(); ++i) {
        const cv::Mat& frame = frames[i].image;
        if (m_mosaic.mosaic().empty()) {
            m_mosaic.rebuild(frame, StitchMosaic::sceneSide(m_precision));
            m_placementFrames.insert(0, int(i));
            m_head = 1;
            continue;
        }
        Record rec;
        rec.frame = int(i);
        StitchMatchResult result;
        StitchStep step;
        if (m_head == 3) {
            ++fullSearches;
            QRect region = m_mosaic.fullSearchRegion();
            rec.job = FullSearch;
            rec.status = runJob(FullSearch, m_mosaic.mosaic(), frame, &region, &result, &rec.ms, &step);
            rec.registration = result.registration;
            auto t0 = std::chrono::steady_clock::now();
            if (!m_threaded)
                step = m_mosaic.applyFullSearchResult(result, frame);
            rec.applyMs = msSince(t0);
            if (step.startRegionMatch) {
                ++registrations;
                ++regionMatches;
                m_records.push_back(rec);
                rec = Record();
                rec.frame = int(i);
                rec.job = RegionMatch;
                region = step.region;
                result = StitchMatchResult();
                rec.status = runJob(RegionMatch, m_mosaic.mosaic(), frame, &region, &result, &rec.ms, &step);
                t0 = std::chrono::steady_clock::now();
                if (!m_threaded)
                    step = m_mosaic.applyFullSearchResult(result, frame);
                rec.applyMs = msSince(t0);
            }
        } else {
            QRect region = m_mosaic.frameMatchRegion();
            rec.job = FrameMatch;
            rec.status = runJob(FrameMatch, m_mosaic.previousFrame(), frame, &region, &result, &rec.ms, &step);
            const auto t0 = std::chrono::steady_clock::now();
            if (!m_threaded)
                step = m_mosaic.applyMatchResult(result, frame);
            rec.applyMs = msSince(t0);
        }
        if (step.head >= 0)
            m_head = step.head;
        if (step.matchOverlay == StitchStep::Show && step.matchMarker == 2)
            ++redMarkers;
        growths += step.grew ? 1 : 0;
        refusals += step.refused ? 1 : 0;
        rebuilds += step.rebuilt ? 1 : 0;
        if (step.notice != StitchStep::NoNotice)
            notices.push_back(step.notice);
        sizeLimits += step.sizeLimit ? 1 : 0;
        rec.delayMs = step.delayMs;
        rec.placed = step.placed;
        if (step.rebuilt) {
            m_placementFrames.clear();
            restartFrames.push_back(int(i));
        }
        if (step.placed) {
            rec.pos = step.placementPos;
            m_placementFrames.insert(m_mosaic.frameCounter() - 1, int(i));
        }
        m_records.push_back(rec);
    }
}

std::vector<double> StitchLoopDriver::placementErrors(const std::vector<StitchPanFrame>& frames) const {
    std::vector<double> errors;
    const QMap<int, QRect>& placed = m_mosaic.placements();
    if (!placed.contains(0) || !m_placementFrames.contains(0))
        return errors;
    const QPoint p0 = placed.value(0).topLeft();
    const QPointF t0 = frames[size_t(m_placementFrames.value(0))].truth;
    for (auto it = m_placementFrames.constBegin(); it != m_placementFrames.constEnd(); ++it) {
        if (it.key() == 0 || !placed.contains(it.key()))
            continue;
        const QPoint p = placed.value(it.key()).topLeft() - p0;
        const QPointF t = frames[size_t(it.value())].truth - t0;
        errors.push_back(std::hypot(p.x() - t.x(), p.y() - t.y()));
    }
    return errors;
}
