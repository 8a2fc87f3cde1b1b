// The allocators of the focus-stacking worker's full-size pictures and of the
// stitching canvases, read back through the system's own account of the
// process's memory (/proc/self/maps): a large buffer is a mapping of its own
// (a picture's on a huge-page boundary), gone the moment the last matrix
// sharing it is released; a small picture is left to OpenCV. A canvas is
// address space alone (no access, so that strict commit accounting does not
// count it) until a band of its rows is made usable.

#include "imaging/LargeBufferAllocator.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The mapping of /proc/self/maps that holds `p`, as "start-end perms"; empty
// when none.
std::string mappingOf(const void* p) {
    const auto at = reinterpret_cast<uintptr_t>(p);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream in(line);
        std::string range, perms;
        in >> range >> perms;
        const size_t dash = range.find('-');
        const uintptr_t start = std::stoull(range.substr(0, dash), nullptr, 16);
        const uintptr_t end = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (at >= start && at < end)
            return range + " " + perms;
    }
    return std::string();
}

std::string permsOf(const void* p) {
    const std::string m = mappingOf(p);
    return m.substr(m.find(' ') + 1);
}

struct Kind {
    const char* name;
    LargeBufferAllocator* (*allocator)();
};

void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

class LargeBuffers : public ::testing::TestWithParam<Kind> {};

} // namespace

TEST_P(LargeBuffers, A4KPictureIsAMappingOfItsOwnGoneWhenReleased) {
    LargeBufferAllocator* allocator = GetParam().allocator();
    cv::Mat m;
    m.allocator = allocator;
    m.create(2160, 3840, CV_8UC3);
    ASSERT_TRUE(m.isContinuous());
    if (allocator == LargeBufferAllocator::instance()) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(m.data) % (2u << 20), 0u);
    }
    ASSERT_TRUE(LargeBufferAllocator::commit(m));
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
    EXPECT_EQ(m.allocator, allocator);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LargeBuffers,
                         ::testing::Values(Kind{"picture", &LargeBufferAllocator::instance},
                                           Kind{"canvas", &LargeBufferAllocator::canvas}),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.name);
                         });

// A canvas (20,000 pixels a side, four bytes each: 1.6 GB) is reserved, not usable: no access at all until a
// band of its rows is committed, and then that band alone (whole rows, to the page) is readable and writable,
// black, with the rows above and below it still without access.
TEST(LargeBufferAllocator, ACanvasIsUsableOnlyInTheBandsCommitted) {
    cv::Mat canvas;
    canvas.allocator = LargeBufferAllocator::canvas();
    canvas.create(20000, 20000, CV_8UC4);
    EXPECT_EQ(permsOf(canvas.data), "---p");
    const cv::Rect band(8000, 10000, 3000, 2000);
    ASSERT_TRUE(LargeBufferAllocator::commit(canvas(band)));
    const std::string inside = mappingOf(canvas.ptr(10000));
    EXPECT_EQ(permsOf(canvas.ptr(10000)), "rw-p");
    EXPECT_EQ(mappingOf(canvas.ptr(11999) + canvas.step - 1), inside);
    const size_t start = std::stoull(inside.substr(0, inside.find('-')), nullptr, 16);
    const size_t end = std::stoull(inside.substr(inside.find('-') + 1), nullptr, 16);
    EXPECT_LE(end - start, size_t(2000 + 1) * canvas.step + 4096);
    EXPECT_EQ(permsOf(canvas.ptr(9990)), "---p");
    EXPECT_EQ(permsOf(canvas.ptr(12010)), "---p");
    EXPECT_EQ(cv::countNonZero(canvas(band).reshape(1)), 0);
    canvas(band).setTo(cv::Scalar(1, 2, 3, 4));
    EXPECT_EQ(cv::sum(canvas(band))[3], 4.0 * 3000 * 2000);
    // A matrix of another allocator needs no commit.
    EXPECT_TRUE(LargeBufferAllocator::commit(cv::Mat(10, 10, CV_8UC3)));
}

TEST(LargeBufferAllocator, SmallBuffersAreOpenCVs) {
    cv::Mat small;
    small.allocator = LargeBufferAllocator::instance();
    small.create(100, 100, CV_8UC3);
    ASSERT_NE(small.u, nullptr);
    EXPECT_EQ(small.u->currAllocator, cv::Mat::getStdAllocator());
}
