#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <map>
#include <mutex>

// The stitching worker's large matrix buffers, kept from job to job while a
// run goes on. A lost run's full search registers the frame with SIFT, whose
// scale space over the reduced mosaic (a 5000 mosaic: images of 25 MB, some
// 380 MB a band, five bands) OpenCV allocates, writes and frees inside the
// detection: mapped afresh each time, every page of it faulted in again,
// some 400,000 page faults a job. While a Scope lives, every OpenCV matrix
// of kLeast bytes or more (on any thread: the scale space's differences are
// made on OpenCV's own threads) comes from here: a buffer freed is kept,
// and a later matrix of its length or up to a quarter less (bands of 576
// and 640 rows share one; a matrix writes only the pages it uses) takes it,
// its pages already there. When a job needs a buffer the pool lacks
// (sizes that came with the other mode, another resolution), those no
// matrix took or gave back for 16 Scopes go back to the system before it
// is mapped: ones of a size no job needs any more. While the jobs find
// every buffer they need kept, none goes: a placement's buffers come as far
// apart as the camera rests on a stop, and unmapped between placements
// their pages were faulted in again at each. All kept buffers go at
// release(): the run's end, or a stop. Smaller matrices come from OpenCV's
// own allocator, as without a Scope.
//
// A buffer made here stays this allocator's wherever the matrix goes (a
// frame kept for the next job, a copy the interface thread made meanwhile):
// freed while no worker keeps buffers (keep()), it goes back to the system
// at once.
//
// Thread: any; the first of Scopes alive at once sets OpenCV's default
// allocator (nested, or on another thread, the others use it), and the last
// to end sets OpenCV's own again.
class StitchBufferPool : public cv::MatAllocator {
public:
    static constexpr size_t kLeast = size_t(1) << 20;

    static StitchBufferPool* instance();

    // Makes OpenCV's default allocator this one while it lives, in place of
    // OpenCV's own: another allocator made the default (a test's allocation
    // log) stands, and so does one set meanwhile.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    // A worker that keeps buffers between its jobs (keep(true)) until it
    // ends (keep(false)); freed buffers are kept only while one does.
    static void keep(bool on);
    // The kept buffers go back to the system now (buffers in use are not
    // touched: they go when freed, kept if a worker still keeps buffers).
    static void release();

    // For tests: buffers mapped so far, and the bytes kept (free) now.
    static long mapped();
    static size_t keptBytes();

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;

private:
    StitchBufferPool() = default;
    void begin();
    void end();
    // Unmaps the kept buffers: all, or those idle for kIdleScopes Scopes.
    static constexpr long kIdleScopes = 16;
    void drop(bool all) const;

    mutable std::mutex m_lock;
    mutable std::multimap<size_t, void*> m_free; // kept buffers by mapped length
    // The Scopes ended so far, and for each buffer the count when a matrix
    // last took it or gave it back.
    long m_ended = 0;
    mutable std::map<void*, long> m_lastUsed;
    mutable long m_mapped = 0;
    int m_scopes = 0;
    int m_keepers = 0;
    bool m_installed = false; // the Scopes made this OpenCV's default allocator
};
