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
#include <opencv2/imgproc.hpp>

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
    cv::Mat (*make)(cv::Size size, int type);
};

cv::Mat picture(cv::Size size, int type) {
    cv::Mat m;
    m.allocator = LargeBufferAllocator::instance();
    m.create(size, type);
    return m;
}

void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

class LargeBuffers : public ::testing::TestWithParam<Kind> {};

} // namespace

TEST_P(LargeBuffers, A4KPictureIsAMappingOfItsOwnGoneWhenReleased) {
    cv::Mat m = GetParam().make(cv::Size(3840, 2160), CV_8UC3);
    ASSERT_TRUE(m.isContinuous());
    if (m.allocator == LargeBufferAllocator::instance()) {
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
}

INSTANTIATE_TEST_SUITE_P(Kinds, LargeBuffers,
                         ::testing::Values(Kind{"picture", &picture},
                                           Kind{"canvas", &LargeBufferAllocator::reserve}),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.name);
                         });

// Released, a picture's matrix keeps its allocator for the next picture.
TEST(LargeBufferAllocator, APictureMatrixKeepsItsAllocator) {
    cv::Mat m = picture(cv::Size(3840, 2160), CV_8UC3);
    m.release();
    EXPECT_EQ(m.allocator, LargeBufferAllocator::instance());
}

// A canvas (20,000 pixels a side, four bytes each: 1.6 GB) is reserved, not
// usable: no access at all until a band of its rows is committed, and then
// that band alone (whole rows, with 64 rows above and below it that filters
// reading past the band's edges may reach, to the page) is readable and
// writable, black, with the rows farther away still without access.
TEST(LargeBufferAllocator, ACanvasIsUsableOnlyInTheBandsCommitted) {
    cv::Mat canvas = LargeBufferAllocator::reserve(cv::Size(20000, 20000), CV_8UC4);
    EXPECT_EQ(permsOf(canvas.data), "---p");
    const cv::Rect band(8000, 10000, 3000, 2000);
    ASSERT_TRUE(LargeBufferAllocator::commit(canvas(band)));
    const std::string inside = mappingOf(canvas.ptr(10000));
    EXPECT_EQ(permsOf(canvas.ptr(10000)), "rw-p");
    EXPECT_EQ(mappingOf(canvas.ptr(10000 - 64)), inside);
    EXPECT_EQ(mappingOf(canvas.ptr(11999 + 64) + canvas.step - 1), inside);
    const size_t start = std::stoull(inside.substr(0, inside.find('-')), nullptr, 16);
    const size_t end = std::stoull(inside.substr(inside.find('-') + 1), nullptr, 16);
    EXPECT_LE(end - start, size_t(2000 + 2 * 64 + 1) * canvas.step + 4096);
    EXPECT_EQ(permsOf(canvas.ptr(10000 - 64 - 2)), "---p");
    EXPECT_EQ(permsOf(canvas.ptr(12000 + 64 + 2)), "---p");
    EXPECT_EQ(cv::countNonZero(canvas(band).reshape(1)), 0);
    canvas(band).setTo(cv::Scalar(1, 2, 3, 4));
    EXPECT_EQ(cv::sum(canvas(band))[3], 4.0 * 3000 * 2000);
    // A matrix of another allocator needs no commit.
    EXPECT_TRUE(LargeBufferAllocator::commit(cv::Mat(10, 10, CV_8UC3)));

    // A function that replaces a view of the canvas with a matrix of its own
    // (a conversion into the view's header, as feature detection does) gets
    // memory it can write, not another reservation.
    cv::Mat grey = canvas(band);
    cv::cvtColor(grey, grey, cv::COLOR_BGRA2GRAY);
    ASSERT_EQ(grey.type(), CV_8UC1);
    EXPECT_EQ(permsOf(grey.data), "rw-p");
    EXPECT_EQ(cv::countNonZero(grey), 3000 * 2000);
}

TEST(LargeBufferAllocator, SmallBuffersAreOpenCVs) {
    cv::Mat small;
    small.allocator = LargeBufferAllocator::instance();
    small.create(100, 100, CV_8UC3);
    ASSERT_NE(small.u, nullptr);
    EXPECT_EQ(small.u->currAllocator, cv::Mat::getStdAllocator());
}
