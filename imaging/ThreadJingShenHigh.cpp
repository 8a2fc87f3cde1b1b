#include "imaging/ThreadJingShenHigh.h"

#include "app/hub/MessagePassing.h"
#include "camera/UVCCamera.h"
#include "camera/UsbWorkers.h"
#include "imaging/FocusStackMath.h"
#include "imaging/LargeBufferAllocator.h"
#include "imaging/StitchViewPicture.h"
#include "platform/MemoryRefusal.h"
#include "platform/ProcessEnd.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <set>

namespace {

constexpr int kPoolLimit = 5; // pooled frames per frame size
constexpr size_t kQueueLimit = 2;

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}

ThreadJingShenHigh::CameraUnlinkHook& hookSlot() {
    static ThreadJingShenHigh::CameraUnlinkHook hook;
    return hook;
}

// Workers that exist; deliveries hold the lock, so a destructor that has
// taken a worker out waits for a delivery in progress and no later one reaches it.
std::mutex& liveMutex() {
    static std::mutex m;
    return m;
}

std::set<ThreadJingShenHigh*>& liveWorkers() {
    static std::set<ThreadJingShenHigh*> workers;
    return workers;
}

} // namespace

ThreadJingShenHigh::ThreadJingShenHigh(QObject* parent) : QThread(parent) {
    // The run's full-size pictures live as long as the run and are freed at
    // once when it ends (see LargeBufferAllocator).
    LargeBufferAllocator::adopt(
        {&resultImage, &backImage, &referencePlane, &current, &currentLuma, &focus, &focusScratch});
    // A stop or reset is seen inside the alignment too, its longest step.
    aligner.stopRequested = [this] { return state.load() != 1; };
    // The hub must exist before the save thread emits through it.
    MessagePassing::instance();
    std::lock_guard<std::mutex> lock(liveMutex());
    liveWorkers().insert(this);
}

void ThreadJingShenHigh::deliver(ThreadJingShenHigh* worker, const uchar* rgb, int width, int height) {
    std::lock_guard<std::mutex> lock(liveMutex());
    if (liveWorkers().count(worker))
        worker->pushFrame(rgb, width, height);
}

ThreadJingShenHigh::~ThreadJingShenHigh() {
    {
        std::lock_guard<std::mutex> lock(liveMutex());
        liveWorkers().erase(this);
    }
    if (isRunning()) {
        requestStop();
        wait();
    }
}

void ThreadJingShenHigh::setCameraUnlinkHook(CameraUnlinkHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex());
    hookSlot() = std::move(hook);
}

void ThreadJingShenHigh::linkUsbCameras() {
    UsbWorkers::setFocusDelivery(&ThreadJingShenHigh::deliver);
    setCameraUnlinkHook([](ThreadJingShenHigh* worker) {
        if (auto* cam = qobject_cast<UVCCamera*>(MessagePassing::instance()->currentCamera()))
            cam->unlinkFocusConsumer(worker);
    });
}

// ---- save thread ----

void ThreadJingShenHigh::pushFrame(const uchar* rgb, int width, int height) {
    if (!rgb) {
        const int st = state.load();
        if (st == 1)
            refused();
        else if (st == 0 && outputSize().isEmpty())
            refusedBeforeRun(); // the first frame of a run the panel waits for
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    bool announce = false;
    {
        std::lock_guard<std::mutex> intake(intakeMutex);
        const cv::Mat frame(height, width, CV_8UC3, const_cast<uchar*>(rgb));
        const int st = state.load();
        if (st == 0) {
            bool copied = true;
            {
                std::lock_guard<std::mutex> lock(resultMutex);
                if (!resultImage.empty()) {
                    if (frame.size() != outSize)
                        return; // another size than the run's would overrun the preview
                    frame.copyTo(resultImage);
                } else if (MemoryRefusal::within([&] { frame.copyTo(resultImage); })) {
                    outSize = frame.size();
                    announce = true;
                } else {
                    copied = false;
                }
            }
            if (!copied) {
                refusedBeforeRun();
                return;
            }
        } else if (st == 1) {
            if (frame.size() != outSize || planes.empty())
                return;
            if (!MemoryRefusal::within([&] { gateFrame(rgb, width, height); }))
                refused();
        }
    }
    // Outside the lock: a direct connection may prepare the run at once.
    if (announce)
        MessagePassing::instance()->snapJingShenBegin();
}

void ThreadJingShenHigh::gateFrame(const uchar* data, int width, int height) {
    const cv::Mat frame(height, width, CV_8UC3, const_cast<uchar*>(data));
    std::vector<float> grid;
    gate.measure(frame, grid);
    // A stop that came meanwhile drops the frame, as it drops the ones that
    // come after it: a camera closing waits for this save job.
    if (state.load() != 1)
        return;
    // A frame the worker refused holds nothing: what it alone raised is
    // counted again from the fused and queued frames before this one is
    // judged.
    std::vector<float> fusedNow;
    std::vector<std::vector<float>> queuedNow;
    bool stale = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        std::swap(stale, heldStale);
        stale = stale && !gridQueue.empty();
        if (stale) {
            fusedNow = fusedCells;
            queuedNow.assign(gridQueue.begin() + 1, gridQueue.end());
        }
    }
    if (stale)
        gate.recount(fusedNow, queuedNow);
    const FocusFrameGate::Verdict verdict = gate.decide(grid, frame, alignEnabled.load());
    std::lock_guard<std::mutex> lock(queueMutex);
    FocusStackMath::raiseCells(seenCells, grid);
    peaksSeen = gate.peaksSeen();
    if (!verdict.accepted)
        return;
    const bool full = frameQueue.size() >= kQueueLimit;
    cv::Mat* slot = full ? nullptr : takePoolFrame();
    if (!full && !slot)
        return;
    // The queued picture and its own grid: with Zoom And Align it is the
    // frame before the fall, not the frame just measured.
    grid = gate.candidateGrid();
    switch (gate.commit(grid, full)) {
    case FocusFrameGate::Outcome::Appended:
        gate.candidate().copyTo(*slot);
        gridQueue.push_back(std::move(grid));
        frameQueue.push_back(slot);
        queueChanged.notify_one();
        break;
    case FocusFrameGate::Outcome::Merged:
        // Only into the waiting frame; the head is being fused.
        for (int cell : gate.mergedCells()) {
            const cv::Rect area = gate.area(cell, outSize);
            gate.candidate()(area).copyTo((*frameQueue.back())(area));
            gridQueue.back()[size_t(cell)] = grid[size_t(cell)];
        }
        break;
    case FocusFrameGate::Outcome::Dropped:
        break;
    }
}

cv::Mat* ThreadJingShenHigh::takePoolFrame() {
    // Keyed by the whole size: a later run of the same width and another
    // height must not reuse frames of the wrong height.
    auto& list = framePool[{outSize.width, outSize.height}];
    for (auto& f : list)
        if (std::find(frameQueue.begin(), frameQueue.end(), f.get()) == frameQueue.end())
            return f.get();
    if (list.size() >= static_cast<size_t>(kPoolLimit))
        return nullptr;
    auto frame = std::make_unique<cv::Mat>();
    LargeBufferAllocator::adopt({frame.get()});
    frame->create(outSize, CV_8UC3);
    list.push_back(std::move(frame));
    return list.back().get();
}

// ---- GUI thread ----

void ThreadJingShenHigh::start(Priority priority) {
    std::unique_lock<std::mutex> lock(queueMutex);
    if (exiting)
        return; // the run's buffers are gone or going
    state = 1;
    if (loopActive) {
        // The loop has not left yet: it sees state 1 and carries on.
        queueChanged.notify_all();
        return;
    }
    loopActive = true;
    lock.unlock();
    wait(); // a loop that has just left ends its thread first
    if (!MemoryRefusal::start(*this, priority)) {
        lock.lock();
        loopActive = false;
        lock.unlock();
        refused();
        QMetaObject::invokeMethod(this, "finished", Qt::QueuedConnection);
    }
}

void ThreadJingShenHigh::refused() {
    noMemory = true;
    requestStop();
}

void ThreadJingShenHigh::refusedBeforeRun() {
    // The frames after it are dropped until the panel begins again (a reset
    // or a new run); finished() tells the panel as a refused run tells it.
    noMemory = true;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        state = 2;
    }
    QMetaObject::invokeMethod(this, "finished", Qt::QueuedConnection);
}

void ThreadJingShenHigh::requestStop() {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        state = 2;
    }
    queueChanged.notify_all();
}

void ThreadJingShenHigh::stopForExit() {
    bool loopRuns;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        exiting = true;
        state = 2;
        loopRuns = loopActive;
    }
    queueChanged.notify_all();
    // A loop that has seen the flag releases on its way out; one that is
    // leaving already (loopActive cleared) is past that point.
    if (!loopRuns) {
        wait();
        releaseForExit();
    }
}

void ThreadJingShenHigh::requestReset() {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        state = 3;
    }
    queueChanged.notify_all();
}

bool ThreadJingShenHigh::prepareFirstFrame(bool startThread) {
    {
        std::lock_guard<std::mutex> intake(intakeMutex);
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (loopActive || state.load() != 0)
                return false;
        }
        // Idle frames are written under the intake lock, so the preview is
        // stable here without the result lock.
        if (resultImage.empty())
            return false;
        const bool made = MemoryRefusal::within([&] {
            cv::cvtColor(resultImage, current, cv::COLOR_RGB2YCrCb);
            cv::extractChannel(current, currentLuma, 0);
            FocusStackMath::focusMap(currentLuma, focus);
            planes.init(current, focus);
            currentLuma.copyTo(referencePlane);
            gate.initGrid(resultImage);
        });
        if (!made) {
            // The picture stays in the preview; what the run had made goes.
            planes.release();
            referencePlane.release();
            current.release();
            currentLuma.release();
            focus.release();
            noMemory = true;
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            frameQueue.clear();
            gridQueue.clear();
            gridQueue.push_back(gate.baseline());
            fusedCells = gate.baseline();
            seenCells = fusedCells;
            peaksSeen = gate.peaksSeen();
            heldStale = false;
            state = 1;
        }
        fused = 0;
    }
    if (startThread)
        start();
    return true;
}

void ThreadJingShenHigh::resetData(bool leaving) {
    if (QThread::currentThread() != this && isRunning()) {
        // The loop owns the planes while it runs: it discards the run itself.
        requestReset();
        wait();
    }
    if (leaving) {
        // Frames still on their way from the camera are dropped (state 3)
        // until the panel begins again: one would start a run unseen.
        std::lock_guard<std::mutex> intake(intakeMutex);
        releaseBuffers(true);
        aligner.releaseScratch();
        fused = 0;
        std::lock_guard<std::mutex> lock(queueMutex);
        state = 3;
    } else {
        discardRun();
    }
    CameraUnlinkHook hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        hook = hookSlot();
    }
    if (hook)
        hook(this);
}

void ThreadJingShenHigh::discardRun() {
    std::lock_guard<std::mutex> intake(intakeMutex);
    releaseBuffers(false);
    fused = 0;
    std::lock_guard<std::mutex> lock(queueMutex);
    state = 0;
}

void ThreadJingShenHigh::releaseBuffers(bool pool) {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        frameQueue.clear();
        gridQueue.clear();
        if (pool)
            framePool.clear();
        fusedCells.clear();
        seenCells.clear();
        peaksSeen.clear();
        heldStale = false;
    }
    {
        std::lock_guard<std::mutex> lock(resultMutex);
        resultImage.release();
        outSize = cv::Size();
    }
    backImage.release();
    planes.release();
    gate.releaseCandidate();
    referencePlane.release();
    current.release();
    currentLuma.release();
    focus.release();
    focusScratch.release();
}

void ThreadJingShenHigh::releaseForExit() {
    {
        std::lock_guard<std::mutex> intake(intakeMutex);
        releaseBuffers(true);
        aligner.releaseScratch();
    }
    ProcessEnd::mark("focus worker gave its buffers back");
}

QSize ThreadJingShenHigh::outputSize() const {
    std::lock_guard<std::mutex> lock(resultMutex);
    return QSize(outSize.width, outSize.height);
}

bool ThreadJingShenHigh::copyResult(cv::Mat& out) const {
    std::lock_guard<std::mutex> lock(resultMutex);
    if (resultImage.empty())
        return false;
    resultImage.copyTo(out);
    return true;
}

QImage ThreadJingShenHigh::result() const {
    std::lock_guard<std::mutex> lock(resultMutex);
    if (resultImage.empty())
        return QImage();
    QImage image(resultImage.cols, resultImage.rows, QImage::Format_RGB888);
    if (image.isNull())
        return QImage(); // the system refused the copy
    for (int r = 0; r < resultImage.rows; ++r)
        std::copy_n(resultImage.ptr<uchar>(r), resultImage.cols * 3, image.scanLine(r));
    return image;
}

QImage ThreadJingShenHigh::viewPicture(bool& refused) const {
    refused = false;
    std::lock_guard<std::mutex> lock(resultMutex);
    if (resultImage.empty())
        return QImage();
    QImage image(resultImage.cols, resultImage.rows, QImage::Format_RGB32);
    // Little-endian RGB32 is the bytes blue, green, red, 255.
    refused = image.isNull() || !MemoryRefusal::within([&] {
        cv::Mat into(image.height(), image.width(), CV_8UC4, image.bits(), size_t(image.bytesPerLine()));
        cv::cvtColor(resultImage, into, cv::COLOR_RGB2BGRA);
    });
    return refused ? QImage() : image;
}

QImage ThreadJingShenHigh::reducedPicture(int longSide) const {
    std::lock_guard<std::mutex> lock(resultMutex);
    return StitchViewPicture::reduced(resultImage, longSide);
}

bool ThreadJingShenHigh::readResult(const std::function<void(const QImage&)>& read) const {
    std::lock_guard<std::mutex> lock(resultMutex);
    if (resultImage.empty())
        return false;
    read(QImage(resultImage.data, resultImage.cols, resultImage.rows, int(resultImage.step), QImage::Format_RGB888));
    return true;
}

int ThreadJingShenHigh::risingCells() const {
    std::lock_guard<std::mutex> lock(queueMutex);
    return FocusFrameGate::risingCells(seenCells, fusedCells, peaksSeen);
}

int ThreadJingShenHigh::queueLength() const {
    std::lock_guard<std::mutex> lock(queueMutex);
    return static_cast<int>(frameQueue.size());
}

cv::Mat ThreadJingShenHigh::queuedFrame(int index) const {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (index < 0 || index >= static_cast<int>(frameQueue.size()))
        return cv::Mat();
    return frameQueue[index]->clone();
}

// ---- worker thread ----

void ThreadJingShenHigh::run() {
    for (;;) {
        const cv::Mat* frame = nullptr;
        std::vector<float> headGrid;
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            queueChanged.wait(lock, [this] { return state.load() != 1 || !frameQueue.empty(); });
            if (state.load() != 1) {
                loopActive = false;
                break;
            }
            // The head stays queued while it is fused, so the gate never
            // writes into it and the pool never hands it out.
            frame = frameQueue.front();
            headGrid = gridQueue.front();
        }
        inPass = true;
        refusedFrame = false;
        bool done = false;
        if (!MemoryRefusal::within([&] { done = fusePass(*frame, headGrid); }))
            refused(); // the frame stays queued for Continue
        inPass = false;
        if (!done)
            continue; // stopped inside the pass: the frame stays queued for Continue
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            frameQueue.pop_front();
            if (refusedFrame) {
                // The next frame's search still comes from the frame fused
                // before; the gate counts what is held without this one.
                gridQueue.erase(gridQueue.begin() + 1);
                heldStale = true;
            } else {
                gridQueue.pop_front();
                FocusStackMath::raiseCells(fusedCells, gridQueue.front());
                // Counted as it leaves the queue: whoever sees the queue
                // drained sees the frame counted too.
                ++fused;
            }
        }
    }
    ProcessEnd::mark("focus worker left its loop");
    if (state.load() == 3)
        resetData();
    else if (exiting)
        releaseForExit();
}

bool ThreadJingShenHigh::fusePass(const cv::Mat& rgb, const std::vector<float>& headGrid) {
    // A stop or reset is looked at between the steps: a pass over a large
    // frame on busy cores takes seconds, and the program must end sooner.
    // Nothing of the run changes before the fusion step.
    auto stopped = [this] { return state.load() != 1; };
    cv::cvtColor(rgb, current, cv::COLOR_RGB2YCrCb);
    if (stopped())
        return false;
    // The head grid belongs to the frame fused before, whose luma is the
    // reference: the key points are searched where that frame was sharpest.
    aligner.setSearchRoi(FocusStackMath::searchRect(headGrid, current.cols, current.rows));
    if (alignEnabled.load()) {
        // A frame whose geometry is in doubt is not fused: laid over the
        // picture in the wrong place it would double every edge it holds.
        const FocusAligner::Result aligned = aligner.align(current, referencePlane);
        if (aligned.stopped || stopped())
            return false;
        if (aligned.doubtful) {
            refusedFrame = true;
            return true;
        }
    }
    cv::extractChannel(current, currentLuma, 0);
    if (!FocusStackMath::focusMap(currentLuma, focus, stopped, &focusScratch) || stopped())
        return false;
    planes.fuse(current, focus);
    // The next frame is aligned against the fused picture, which keeps the
    // geometry of the run's first frame: aligned against the last frame
    // alone, each frame would inherit the errors of all before it, and the
    // fused picture would drift off frame by frame.
    if (alignEnabled.load())
        cv::extractChannel(planes.output(), referencePlane, 0);
    cv::cvtColor(planes.output(), backImage, cv::COLOR_YCrCb2RGB);
    std::lock_guard<std::mutex> lock(resultMutex);
    std::swap(resultImage, backImage);
    return true;
}
