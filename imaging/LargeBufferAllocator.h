#pragma once

#include <opencv2/core/mat.hpp>

#include <cstddef>
#include <initializer_list>

// An OpenCV matrix allocator for the long-lived full-size planes of focus
// stacking (4K pictures of 8 to 25 MB each). Buffers of at least kLeast bytes
// get pages of their own, aligned and marked for transparent huge pages, and
// go back to the system the moment they are released: the C library would
// keep such a buffer in its heap after a free, and the system would then free
// it page by page only once the process ends, after everything else. Smaller
// buffers come from OpenCV's own allocator.
//
// Use: set `mat.allocator = LargeBufferAllocator::instance()` on an empty
// matrix before create() (or before a function writes into it); copy
// assignment takes the source's allocator, so such matrices are written with
// copyTo, never assigned a clone. Any thread.
class LargeBufferAllocator : public cv::MatAllocator {
public:
    static constexpr size_t kLeast = size_t(2) << 20;

    static LargeBufferAllocator* instance();
    // Makes each of the (empty) matrices allocate through instance().
    static void adopt(std::initializer_list<cv::Mat*> mats);

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;
};
