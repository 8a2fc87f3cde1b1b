#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <initializer_list>
#include <new>

// OpenCV matrix allocators for buffers of tens of megabytes and more, in two
// kinds, each of which gives every buffer pages of its own that go back to
// the system the moment the buffer is released (the C library would keep
// such a buffer in its heap after a free, and the system would then free it
// page by page only once the process ends, after everything else).
//
// instance(): the long-lived full-size planes of focus stacking (4K pictures
// of 8 to 25 MB each). Buffers of at least kLeast bytes are mapped at once,
// aligned and marked for transparent huge pages; smaller buffers come from
// OpenCV's own allocator.
//
// reserve(): the stitching mosaic's canvas and its picture, reserved at the
// largest size the mosaic may grow to. A reservation is address space only:
// the system neither provides nor counts (under strict commit accounting)
// memory for it until commit() makes a band of its rows usable, and then
// provides the pages only as they are first written (ordinary small pages,
// no huge ones: a huge page would take the canvas's room beside the mosaic
// too). Fresh pages read as zero, so a new canvas is black (and
// transparent) throughout. The matrix handed out allocates as any other
// (its views and copies too): a function that replaces a view of it with a
// matrix of its own gets ordinary memory.
//
// Use: set `mat.allocator = LargeBufferAllocator::instance()` on an empty
// matrix before create() (or before a function writes into it); copy
// assignment takes the source's allocator, so such matrices are written
// with copyTo, never assigned a clone. Any thread; allocate() and reserve()
// throw cv::Exception (cv::Error::StsNoMem) when the system refuses.
class LargeBufferAllocator : public cv::MatAllocator {
public:
    static constexpr size_t kLeast = size_t(2) << 20;

    static LargeBufferAllocator* instance();
    // A canvas of `size` pixels of `type`, reserved.
    static cv::Mat reserve(cv::Size size, int type);
    // Makes each of the (empty) matrices allocate through instance().
    static void adopt(std::initializer_list<cv::Mat*> mats);
    // Makes the whole rows of its canvas that `view` spans usable, and 64
    // rows above and below them (filters read past a view's edges); true
    // when they are (also for a matrix that is no canvas), false when the
    // system refuses the memory.
    static bool commit(const cv::Mat& view);
    // The bytes a matrix of `sizes` and `type` takes, filling in `step`
    // (when given) as OpenCV's own allocator does: the sum every matrix
    // allocator here starts from.
    static size_t matrixBytes(int dims, const int* sizes, int type, const void* data, size_t* step);

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;

private:
    explicit LargeBufferAllocator(bool reserve) : m_reserve(reserve) {}
    static LargeBufferAllocator* canvases();
    // Pages of `bytes`, or null when the system refuses.
    void* map(size_t bytes) const;
    size_t mappedLength(size_t bytes) const;

    const bool m_reserve; // canvases(): address space reserved, committed in bands
};
