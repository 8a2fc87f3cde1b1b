#include "CvAllocationLog.h"

#include <QMutexLocker>

CvAllocationLog::CvAllocationLog() : m_base(cv::Mat::getStdAllocator()), m_previous(cv::Mat::getDefaultAllocator()) {
    cv::Mat::setDefaultAllocator(this);
}

CvAllocationLog::~CvAllocationLog() { cv::Mat::setDefaultAllocator(m_previous); }

QThread* CvAllocationLog::madeBy(const void* data) const {
    QMutexLocker lock(&m_mutex);
    return m_made.value(data, nullptr);
}

cv::UMatData* CvAllocationLog::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                        cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    // The base allocator's buffers name it as theirs, so they are freed by it
    // even after the log is gone.
    cv::UMatData* u = m_base->allocate(dims, sizes, type, data, step, flags, usage);
    if (u && !data) {
        QMutexLocker lock(&m_mutex);
        m_made.insert(u->data, QThread::currentThread());
    }
    return u;
}

bool CvAllocationLog::allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const {
    return m_base->allocate(data, flags, usage);
}

void CvAllocationLog::deallocate(cv::UMatData* data) const { m_base->deallocate(data); }
