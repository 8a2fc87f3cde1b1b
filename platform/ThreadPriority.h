#pragma once

// How a worker thread shares the processor with the interface thread.
namespace ThreadPriority {

// The calling thread does background work (decoding, converting, encoding)
// that the interface thread hands it: it keeps its fair share of the
// processor but never preempts a running thread when it is woken, so the
// interface thread that woke it finishes its pass first instead of waiting,
// runnable, for a whole decode on the same core. Returns whether it applied.
bool makeBackground();

// Whether the calling thread runs as background work.
bool isBackground();

// The calling thread is woken on time and runs briefly (the interface thread:
// a pass of a few milliseconds, then a rest that must end on time): it asks
// for a short time slice (`sliceUs`), so that when its rest ends it takes the
// core from a thread that runs long (a decode on the same core) at once,
// instead of waiting up to a scheduler tick for that thread's slice to end.
// Policy and nice value are kept; threads it starts later take the default
// slice. False where the kernel does not take a
// slice of one's own (before Linux 6.12 it keeps its default).
bool makeResponsive(int sliceUs);
// The calling thread takes frames from a device that holds only a few (a
// camera's driver buffers): woken by each frame, it runs for a moment and
// must not wait behind long work of the same process, or the device runs
// out of buffers and the camera's frames are lost. Under the fair policies
// it asks for a short slice (makeResponsive); where the process runs under
// a real-time policy, where threads of the same priority take turns only
// when one ends its work or its 100 ms, it takes one step above the
// process's own priority (where the system allows it). Returns whether
// either applied.
bool makePrompt(int sliceUs);
// Takes back makePrompt's step above the process's real-time priority: a
// thread that never waits (its device always has the next frame ready, more
// than it can take) would keep the core from every other thread of the
// process. Returns whether the thread stepped down.
bool endStepUp();
// How often the calling thread has waited (given up its core of its own
// accord) since it started; -1 when the system cannot tell.
long voluntarySwitches();

// The calling thread's time slice in microseconds as the kernel reports it;
// 0 when it cannot tell.
int sliceUs();

// OpenCV's own threads (those that share its parallel loops with the thread
// that calls it) run as background work (false: as ordinary threads again)
// from their next loop on, also those it starts later; the calling thread is
// left as it is. Again after cv::setNumThreads, which replaces them. Returns
// whether OpenCV runs loops on threads of its own.
bool makeOpenCvThreadsBackground(bool on = true);

} // namespace ThreadPriority
