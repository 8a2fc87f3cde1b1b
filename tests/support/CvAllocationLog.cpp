#include "tests/support/CvAllocationLog.h"

#include <chrono>

#include <cstring>

namespace {
constexpr unsigned char kMark = 0xA5;
}

CvAllocationLog::CvAllocationLog() : m_base(cv::Mat::getStdAllocator()), m_previous(cv::Mat::getDefaultAllocator()) {
    cv::Mat::setDefaultAllocator(this);
}

CvAllocationLog::~CvAllocationLog() {
    cv::Mat::setDefaultAllocator(m_previous);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_freed.wait_for(lock, std::chrono::minutes(1), [this] { return m_watched.isEmpty(); }))
        qFatal("a watched matrix was not freed within a minute");
}

quint64 CvAllocationLog::shape(int rows, int cols, int type) {
    return (quint64(rows) << 40) | (quint64(cols) << 16) | quint64(type);
}

QThread* CvAllocationLog::madeBy(const void* data) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_made.value(data, nullptr);
}

int CvAllocationLog::made(cv::Size size, int type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shapes.value(shape(size.height, size.width, type), 0);
}

void CvAllocationLog::watch(cv::Size size, int type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_watch.append(shape(size.height, size.width, type));
}

QList<int> CvAllocationLog::writtenRows(cv::Size size, int type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written.value(shape(size.height, size.width, type));
}

cv::UMatData* CvAllocationLog::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                        cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    // The base allocator's buffers name it as theirs, so they are freed by it
    // even after the log is gone; watched ones come back here.
    cv::UMatData* u = m_base->allocate(dims, sizes, type, data, step, flags, usage);
    if (u && !data) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_made.insert(u->data, QThread::currentThread());
        if (dims == 2) {
            const quint64 s = shape(sizes[0], sizes[1], CV_MAT_TYPE(type));
            ++m_shapes[s];
            if (m_watch.contains(s)) {
                std::memset(u->data, kMark, u->size);
                u->currAllocator = this;
                m_watched.insert(u->data, Watched{s, sizes[0], size_t(sizes[1]) * CV_ELEM_SIZE(type)});
            }
        }
    }
    return u;
}

bool CvAllocationLog::allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    return m_base->allocate(data, flags, usage);
}

void CvAllocationLog::deallocate(cv::UMatData* data) const {
    if (data && data->currAllocator == this) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Watched w = m_watched.take(data->data);
        int written = 0;
        for (int r = 0; r < w.rows; ++r) {
            const unsigned char* row = data->data + size_t(r) * w.rowBytes;
            for (size_t i = 0; i < w.rowBytes; ++i)
                if (row[i] != kMark) {
                    ++written;
                    break;
                }
        }
        m_written[w.shape].append(written);
        m_freed.notify_all();
    }
    m_base->deallocate(data);
}
