// The allocator of the focus-stacking worker's full-size pictures, read back
// through the system's own account of the process's memory (/proc/self/maps):
// a large buffer is a mapping of its own, on a huge-page boundary, gone the
// moment the last matrix sharing it is released; a small one is left to
// OpenCV.

#include "imaging/LargeBufferAllocator.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The mapping of /proc/self/maps that holds `p`, as "start-end"; empty when none.
std::string mappingOf(const void* p) {
    const auto at = reinterpret_cast<uintptr_t>(p);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream in(line);
        std::string range;
        in >> range;
        const size_t dash = range.find('-');
        const uintptr_t start = std::stoull(range.substr(0, dash), nullptr, 16);
        const uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (at >= start && at < end)
            return range;
    }
    return std::string();
}

} // namespace

TEST(LargeBufferAllocator, A4KPictureIsAMappingOfItsOwnGoneWhenReleased) {
    cv::Mat m;
    m.allocator = LargeBufferAllocator::instance();
    m.create(2160, 3840, CV_8UC3);
    ASSERT_TRUE(m.isContinuous());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m.data) % (2u << 20), 0u);
    m.setTo(cv::Scalar(1, 2, 3));
    EXPECT_EQ(cv::sum(m)[2], 3.0 * 3840 * 2160);
    const std::string mapping = mappingOf(m.data);
    ASSERT_FALSE(mapping.empty());
    // Written into, the buffer stays; a copy shares it until both are gone.
    cv::Mat(2160, 3840, CV_8UC3, cv::Scalar(4, 5, 6)).copyTo(m);
    cv::Mat shared = m;
    const void* data = m.data;
    EXPECT_EQ(mappingOf(data), mapping);
    m.release();
    EXPECT_EQ(mappingOf(data), mapping);
    shared.release();
    EXPECT_NE(mappingOf(data), mapping);
    // Released, the matrix keeps its allocator for the next picture.
    EXPECT_EQ(m.allocator, LargeBufferAllocator::instance());
}

TEST(LargeBufferAllocator, SmallBuffersAreOpenCVs) {
    cv::Mat small;
    small.allocator = LargeBufferAllocator::instance();
    small.create(100, 100, CV_8UC3);
    ASSERT_NE(small.u, nullptr);
    EXPECT_EQ(small.u->currAllocator, cv::Mat::getStdAllocator());
}
