#pragma once

#include "imaging/FocusAligner.h"
#include "imaging/FocusFrameGate.h"
#include "imaging/FocusFusionPlanes.h"

#include <QImage>
#include <QSize>
#include <QThread>

#include <opencv2/core.hpp>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// The focus-stacking worker. The camera's save thread hands it every frame of
// the focus-stacking mode (pushFrame); the frame gate keeps the frames worth
// fusing in a queue of at most two (a frame that comes while the queue is full
// gives its sharper cells to the waiting one); the worker thread fuses each queued frame
// into one picture in which every pixel comes from the frames where it was
// sharpest (per-pixel best and second-best focus, blended where the best is
// weak), optionally scaling and shifting each frame onto the last fused one
// first (Zoom And Align).
//
// Threads:
//  - save thread: pushFrame (and through it the gate);
//  - worker thread: run, the fusion;
//  - GUI thread: start, requestStop, requestReset, resetData,
//    prepareFirstFrame, outputSize, result, alignEnabled.
// Each call is safe on its own thread whatever the other two are doing; the
// preview gets a copy of the result, never the buffer being written. The
// worker waits on its queue while idle (no polling).
//
// States: 0 idle (frames are copied into the preview; the first frame of a
// run announces it with the hub's snapJingShenBeginSIGNAL()), 1 running
// (frames are gated and fused), 2 stop requested and 3 reset requested
// (frames are dropped; the loop leaves after its current pass, with state 3
// after discarding the run).
class ThreadJingShenHigh : public QThread {
    Q_OBJECT

public:
    explicit ThreadJingShenHigh(QObject* parent = nullptr);
    // Stops the loop and waits for it. The camera must be unlinked first: no
    // pushFrame may run or come during or after destruction.
    ~ThreadJingShenHigh() override;

    // Save thread. `rgb`: width x height packed RGB888 (rows of width x 3
    // bytes), owned by the caller and reused after the call; the worker copies
    // what it keeps. A frame of another size than the run's is dropped.
    // A null `rgb` is a frame the system refused memory on its way here: a
    // run stops as when the system refuses the worker memory.
    void pushFrame(const uchar* rgb, int width, int height);
    // pushFrame on `worker` only while it exists: a save job that still holds
    // the pointer of a worker destroyed since does nothing. Any thread.
    static void deliver(ThreadJingShenHigh* worker, const uchar* rgb, int width, int height);

public slots:
    // State 1 and the thread starts (Continue). Also continues a loop that is
    // still finishing a stop. Hides QThread::start, which would skip the state.
    void start(Priority priority = InheritPriority);

public:
    void requestStop();  // state 2
    // The program is ending: state 2 for good (start() no longer continues),
    // and the run's full-size buffers (planes, result, queue, pool, scratch)
    // are given back to the system as soon as no pass uses them: by the loop
    // on its own thread as it leaves, so that the freeing overlaps the rest
    // of the way out, or at once when no loop runs.
    void stopForExit();
    void requestReset(); // state 3
    // Discards the run: empties the queue (pool frames stay allocated),
    // releases the result and every plane, state 0, and unlinks the worker
    // from the camera through the camera hook. The next frame starts a new
    // run. Called while the loop runs (from another thread), it makes the
    // loop discard the run and waits for it to leave. With `leaving` (the
    // mode is left) the pooled frames and the alignment's scratch go too,
    // and the state is 3 (frames dropped) until the next resetData.
    void resetData(bool leaving = false);
    // Initialises the run from the first frame (the picture in the preview)
    // and starts the thread. Called on the GUI thread after
    // snapJingShenBeginSIGNAL(). False, and nothing done, without a first
    // frame (an announcement that a reset has overtaken) or while a run is
    // prepared; false with takeNoMemory() when the system refused the run's
    // planes (the picture stays in the preview, state 0). With startThread
    // false the run is prepared (state 1, frames are gated and queued) but
    // nothing is fused until start().
    bool prepareFirstFrame(bool startThread = true);

    // The run's frame size (empty before the first frame of a run).
    QSize outputSize() const;
    // A copy of the latest complete picture (RGB888): the fused result while a
    // run exists, the live frame before it; null when there is none or the
    // system refused the copy.
    QImage result() const;
    // The same as a packed RGB matrix; false (and `out` untouched) when none.
    bool copyResult(cv::Mat& out) const;
    // A copy of the same picture in the view's pixel format (RGB32, which a
    // pixmap adopts without converting it again); null when there is none
    // or the system refused the copy, which `refused` tells apart.
    QImage viewPicture(bool& refused) const;
    // The same picture reduced until its longer side is at most `longSide`
    // pixels (RGB888): what the view can still show where the system
    // refuses a whole copy. Null when there is none or even that is refused.
    QImage reducedPicture(int longSide) const;
    // Calls `read` with the latest complete picture itself (RGB888, no copy:
    // valid only during the call, which holds the result lock, so the save
    // thread's preview copy waits for it); false, and `read` not called,
    // when there is none. For a picture to be written out with no memory
    // beyond what the run already holds.
    bool readResult(const std::function<void(const QImage&)>& read) const;
    // The panel was refused memory for the run's picture: the run stops as
    // when the worker itself is refused (takeNoMemory(); finished() comes
    // if the loop runs). GUI thread.
    void refuse() { refused(); }

    // Zoom And Align, set by the panel at any time; read for each gated and
    // each fused frame.
    std::atomic<bool> alignEnabled{false};
    // Whether the system refused the run memory (a pass, a frame kept, a
    // thread to fuse in) since the last call: the run then stops as a Stop
    // stops it (finished() comes), the fused picture kept. Refused before a
    // run exists (the first frame's copy: finished() comes, state 2, frames
    // dropped until a reset; its preparation: prepareFirstFrame is false),
    // no run begins. GUI thread.
    bool takeNoMemory() { return noMemory.exchange(false); }

    int currentState() const { return state.load(); }
    // A queued frame is being aligned and fused on the worker thread.
    bool fusing() const { return inPass.load(); }
    int queueLength() const;
    // Cells of the sharpness grid (256 cover the picture) in which a frame
    // the run was offered is clearly sharper than the fused picture (queued
    // and not fused yet, or let go: the worker refused it, the system
    // refused it room, the gate's tracking missed its peak) or whose peak
    // only one frame came near (on a busy machine the frames measured may
    // lie on its flanks), until a later sweep brings that focus again. 0
    // when the stack holds the sharpest focus seen everywhere, and before a
    // run.
    int risingCells() const;
    // Frames fused in this run (the first frame and refused frames not counted).
    int fusedCount() const { return fused.load(); }
    // A copy of the queued frame at `index` (0 = the one in fusion); empty
    // when there is none.
    cv::Mat queuedFrame(int index) const;

    // The camera side installs this once: called with the worker by
    // resetData, on the GUI thread or on the worker thread (a reset requested
    // while the loop runs), possibly twice for one reset. It must clear at
    // once every camera link that points at this worker, so that no frame
    // starts a new run before the panel asks for one. Empty: nothing.
    using CameraUnlinkHook = std::function<void(ThreadJingShenHigh*)>;
    static void setCameraUnlinkHook(CameraUnlinkHook hook);
    // Once at start, after UsbWorkers::install: USB cameras hand mode-7
    // frames to their linked worker (deliver), and a reset unlinks the worker
    // from the current USB camera (the hook above, until a panel sets its own).
    static void linkUsbCameras();

protected:
    void run() override;

private:
    // Frame gate on the save thread (state 1, intake lock held): measure,
    // decide, queue.
    void gateFrame(const uchar* data, int width, int height);
    // A pooled RGB frame of the output size that is not queued, or null
    // (at most 5 per size). Queue lock held.
    cv::Mat* takePoolFrame();
    // One frame through alignment and fusion into the result (worker thread).
    // `headGrid`: the grid of the frame fused before, from which the search
    // rectangle comes.
    // False when a stop or reset came before the frame was fused: nothing of
    // the run has changed, and the frame is to stay queued.
    bool fusePass(const cv::Mat& rgb, const std::vector<float>& headGrid);
    void discardRun();
    // The queue, the result and every buffer of the run; with `pool` the
    // pooled frames too. Intake lock held, no loop running.
    void releaseBuffers(bool pool);
    // stopForExit's release: every buffer, the pool and the alignment's scratch.
    void releaseForExit();

    std::atomic<int> state{0};
    std::atomic<int> fused{0};
    std::atomic<bool> inPass{false};
    std::atomic<bool> exiting{false};
    std::atomic<bool> noMemory{false};
    // Stops the run after the system refused it memory.
    void refused();
    // The system refused the first frame's copy: no run begins.
    void refusedBeforeRun();

    // Lock order: intakeMutex, then queueMutex, then resultMutex.
    // intakeMutex: pushFrame against run set-up and teardown (prepareFirstFrame,
    // resetData); it guards the gate, the pool and the run's planes outside a
    // running loop.
    mutable std::mutex intakeMutex;
    // queueMutex: frameQueue, gridQueue, fusedCells, seenCells, peaksSeen, heldStale, writes into
    // queued frames, loopActive.
    mutable std::mutex queueMutex;
    std::condition_variable queueChanged;
    // resultMutex: resultImage and outSize.
    mutable std::mutex resultMutex;

    cv::Mat resultImage; // RGB, output size: the preview and the fused result
    cv::Mat backImage;   // worker: the next result before it is swapped in
    cv::Size outSize;

    FocusFrameGate gate;
    FocusAligner aligner;
    FocusFusionPlanes planes;
    cv::Mat referencePlane; // luma of the last frame fused with Zoom And Align (or of the first frame)

    std::deque<cv::Mat*> frameQueue;            // non-owning, into framePool; at most 2
    std::deque<std::vector<float>> gridQueue;   // one more than frameQueue: head = grid of the frame fused before
    // Per-cell maximum of the grids of the frames fused in the run, the
    // first frame included: what the gate falls back to after a refusal.
    std::vector<float> fusedCells;
    // Per-cell maximum of the grids of every frame the gate measured in the
    // run, the first frame included, and whether the gate saw each peak.
    std::vector<float> seenCells;
    std::vector<char> peaksSeen;
    // A queued frame was refused since the gate last counted what is held.
    bool heldStale = false;
    std::map<std::pair<int, int>, std::vector<std::unique_ptr<cv::Mat>>> framePool; // by (width, height)
    bool loopActive = false;

    // Worker: the last pass refused its frame (its geometry was in doubt).
    bool refusedFrame = false;
    // Worker scratch, kept from one pass to the next: made afresh, each 4K
    // frame mapped and faulted in tens of megabytes.
    cv::Mat current, currentLuma, focus, focusScratch;
};
