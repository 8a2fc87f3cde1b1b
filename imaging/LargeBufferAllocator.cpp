#include "imaging/LargeBufferAllocator.h"

#include "imaging/StitchBufferPool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace {

// Huge pages are 2 MB: a buffer aligned to them can be backed by them
// throughout, and the system frees one such page where it would free 512.
constexpr size_t kHugePage = size_t(2) << 20;

// Rows made usable around a committed band of a canvas.
constexpr size_t kMargin = 64;

size_t roundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

size_t pageSize() {
    static const size_t size = size_t(sysconf(_SC_PAGESIZE));
    return size;
}

// Pages of `bytes` (rounded up to huge pages) starting on a huge-page
// boundary; null when the system refuses.
void* mapAligned(size_t bytes) {
    const size_t length = roundUp(bytes, kHugePage);
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = roundUp(start, kHugePage);
    if (aligned > start)
        munmap(raw, aligned - start);
    const uintptr_t end = start + length + kHugePage;
    if (end > aligned + length)
        munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    // A hint: without huge pages the buffer still works with small ones.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

} // namespace

LargeBufferAllocator* LargeBufferAllocator::instance() {
    // Never destroyed: matrices that outlive the static objects still free
    // through it.
    static auto* allocator = new LargeBufferAllocator(false);
    return allocator;
}

LargeBufferAllocator* LargeBufferAllocator::canvases() {
    static auto* allocator = new LargeBufferAllocator(true);
    return allocator;
}

cv::Mat LargeBufferAllocator::reserve(cv::Size size, int type) {
    cv::Mat m;
    m.allocator = canvases();
    m.create(size, type);
    // Frees through canvases(); allocates, as its views and copies do, as
    // any matrix.
    m.allocator = nullptr;
    return m;
}

void LargeBufferAllocator::adopt(std::initializer_list<cv::Mat*> mats) {
    for (cv::Mat* m : mats)
        m->allocator = instance();
}

bool LargeBufferAllocator::commit(const cv::Mat& view) {
    if (view.empty() || !view.u || view.u->currAllocator != canvases())
        return true;
    // And kMargin rows above and below: OpenCV's filters read past the
    // edges of a view into the matrix around it, where a canvas is black.
    const size_t row = view.step[0];
    const size_t at = size_t(view.data - view.u->origdata) / row;
    const size_t first = at > kMargin ? at - kMargin : 0;
    const size_t start = first * row / pageSize() * pageSize();
    const size_t end = std::min(roundUp((at + size_t(view.rows) + kMargin) * row, pageSize()),
                                roundUp(view.u->size, pageSize()));
    // Pages already usable stay as they are.
    return mprotect(view.u->origdata + start, end - start, PROT_READ | PROT_WRITE) == 0;
}

size_t LargeBufferAllocator::mappedLength(size_t bytes) const {
    return roundUp(bytes, m_reserve ? pageSize() : kHugePage);
}

void* LargeBufferAllocator::map(size_t bytes) const {
    if (!m_reserve)
        return mapAligned(bytes);
    void* pages =
        mmap(nullptr, mappedLength(bytes), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

size_t LargeBufferAllocator::matrixBytes(int dims, const int* sizes, int type, const void* data, size_t* step) {
    size_t total = CV_ELEM_SIZE(type);
    for (int i = dims - 1; i >= 0; --i) {
        if (step) {
            if (data && step[i] != cv::Mat::AUTO_STEP)
                total = step[i];
            else
                step[i] = total;
        }
        total *= size_t(sizes[i]);
    }
    return total;
}

cv::UMatData* LargeBufferAllocator::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                             cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    const size_t total = matrixBytes(dims, sizes, type, data, step);
    if (data || (!m_reserve && total < kLeast))
        return cv::Mat::getStdAllocator()->allocate(dims, sizes, type, data, step, flags, usage);
    void* pages = map(total);
    if (!pages) {
        // The stitching worker's kept buffers may be what the system misses.
        StitchBufferPool::release();
        pages = map(total);
    }
    if (!pages)
        CV_Error(cv::Error::StsNoMem, "cannot map a large picture buffer");
    auto* u = new cv::UMatData(this);
    u->data = u->origdata = static_cast<uchar*>(pages);
    u->size = total;
    return u;
}

bool LargeBufferAllocator::allocate(cv::UMatData* data, cv::AccessFlag, cv::UMatUsageFlags) const {
    return data != nullptr;
}

void LargeBufferAllocator::deallocate(cv::UMatData* u) const {
    if (!u)
        return;
    CV_Assert(u->urefcount == 0 && u->refcount == 0);
    munmap(u->origdata, mappedLength(u->size));
    delete u;
}
