#include "imaging/StitchBufferPool.h"

#include "imaging/LargeBufferAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// A buffer's length: `bytes` in whole pages. A kept buffer serves a matrix
// of up to a quarter less (the scale space of a band of 576 rows takes one
// of 640), never more than that: rounded up to powers of two the buffers
// took up to twice the address space a job needs, and under an address
// limit a lost run was refused where buffers mapped afresh fitted.
size_t lengthFor(size_t bytes) {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// The mapped length of each buffer made here, by address.
std::map<void*, size_t>& lengths() {
    static auto* map = new std::map<void*, size_t>;
    return *map;
}

} // namespace

StitchBufferPool* StitchBufferPool::instance() {
    // Never destroyed: matrices that outlive the static objects still free
    // through it.
    static auto* pool = new StitchBufferPool;
    return pool;
}

StitchBufferPool::Scope::Scope() { instance()->begin(); }

StitchBufferPool::Scope::~Scope() { instance()->end(); }

void StitchBufferPool::begin() {
    std::lock_guard<std::mutex> l(m_lock);
    if (m_scopes++ == 0) {
        // Only in place of OpenCV's own: an allocator someone else made the
        // default (a test's allocation log) stands.
        cv::MatAllocator* current = cv::Mat::getDefaultAllocator();
        m_installed = current == cv::Mat::getStdAllocator() || current == this;
        if (m_installed)
            cv::Mat::setDefaultAllocator(this);
    }
}

void StitchBufferPool::end() {
    std::lock_guard<std::mutex> l(m_lock);
    if (--m_scopes > 0)
        return;
    if (m_installed && cv::Mat::getDefaultAllocator() == this)
        cv::Mat::setDefaultAllocator(cv::Mat::getStdAllocator());
    m_installed = false;
    ++m_ended;
}

void StitchBufferPool::keep(bool on) {
    StitchBufferPool* pool = instance();
    std::lock_guard<std::mutex> l(pool->m_lock);
    pool->m_keepers += on ? 1 : -1;
    if (pool->m_keepers <= 0) {
        pool->m_keepers = 0;
        pool->drop(true);
    }
}

void StitchBufferPool::release() {
    StitchBufferPool* pool = instance();
    std::lock_guard<std::mutex> l(pool->m_lock);
    pool->drop(true);
}

long StitchBufferPool::mapped() {
    StitchBufferPool* pool = instance();
    std::lock_guard<std::mutex> l(pool->m_lock);
    return pool->m_mapped;
}

size_t StitchBufferPool::keptBytes() {
    StitchBufferPool* pool = instance();
    std::lock_guard<std::mutex> l(pool->m_lock);
    size_t bytes = 0;
    for (const auto& kept : pool->m_free)
        bytes += kept.first;
    return bytes;
}

void StitchBufferPool::drop(bool all) const {
    for (auto it = m_free.begin(); it != m_free.end();) {
        if (!all && m_lastUsed[it->second] + kIdleScopes > m_ended) {
            ++it;
            continue;
        }
        munmap(it->second, it->first);
        lengths().erase(it->second);
        m_lastUsed.erase(it->second);
        it = m_free.erase(it);
    }
}

cv::UMatData* StitchBufferPool::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                         cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    const size_t total = LargeBufferAllocator::matrixBytes(dims, sizes, type, data, step);
    if (data || total < kLeast)
        return cv::Mat::getStdAllocator()->allocate(dims, sizes, type, data, step, flags, usage);

    const size_t length = lengthFor(total);
    void* pages = nullptr;
    {
        std::lock_guard<std::mutex> l(m_lock);
        auto it = m_free.lower_bound(length);
        if (it != m_free.end() && it->first <= length + length / 4) {
            pages = it->second;
            m_free.erase(it);
        }
        if (!pages) {
            drop(false);
            void* fresh = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (fresh == MAP_FAILED) {
                // The kept buffers may be what the system misses.
                drop(true);
                fresh = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            }
            if (fresh == MAP_FAILED)
                CV_Error(cv::Error::StsNoMem, "cannot map a stitching buffer");
            pages = fresh;
            lengths()[pages] = length;
            ++m_mapped;
        }
        m_lastUsed[pages] = m_ended;
    }
    auto* u = new cv::UMatData(this);
    u->data = u->origdata = static_cast<uchar*>(pages);
    u->size = total;
    return u;
}

bool StitchBufferPool::allocate(cv::UMatData* data, cv::AccessFlag, cv::UMatUsageFlags) const {
    return data != nullptr;
}

void StitchBufferPool::deallocate(cv::UMatData* u) const {
    if (!u)
        return;
    CV_Assert(u->urefcount == 0 && u->refcount == 0);
    {
        std::lock_guard<std::mutex> l(m_lock);
        void* pages = u->origdata;
        const size_t length = lengths().at(pages);
        if (m_keepers > 0) {
            m_free.emplace(length, pages);
            m_lastUsed[pages] = m_ended;
        } else {
            munmap(pages, length);
            lengths().erase(pages);
            m_lastUsed.erase(pages);
        }
    }
    delete u;
}
