#include "imaging/StitchCanvasAllocator.h"

#include <sys/mman.h>

StitchCanvasAllocator* StitchCanvasAllocator::instance() {
    // Never destroyed: matrices that outlive the static objects still free
    // through it.
    static auto* allocator = new StitchCanvasAllocator;
    return allocator;
}

bool StitchCanvasAllocator::holds(const cv::Mat& m) { return m.u && m.u->currAllocator == instance(); }

cv::UMatData* StitchCanvasAllocator::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                              cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    if (data)
        return cv::Mat::getStdAllocator()->allocate(dims, sizes, type, data, step, flags, usage);
    size_t total = CV_ELEM_SIZE(type);
    for (int i = dims - 1; i >= 0; --i) {
        if (step)
            step[i] = total;
        total *= size_t(sizes[i]);
    }
    // Not counted against the system's commit limit: most of it is never written.
    void* pages = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (pages == MAP_FAILED)
        CV_Error(cv::Error::StsNoMem, "cannot reserve a stitching canvas");
    auto* u = new cv::UMatData(this);
    u->data = u->origdata = static_cast<uchar*>(pages);
    u->size = total;
    return u;
}

bool StitchCanvasAllocator::allocate(cv::UMatData* data, cv::AccessFlag, cv::UMatUsageFlags) const {
    return data != nullptr;
}

void StitchCanvasAllocator::deallocate(cv::UMatData* u) const {
    if (!u)
        return;
    CV_Assert(u->urefcount == 0 && u->refcount == 0);
    munmap(u->origdata, u->size);
    delete u;
}
