#pragma once

#include <opencv2/core/mat.hpp>

// An OpenCV matrix allocator for the stitching mosaic's canvas and its
// picture: buffers reserved at the largest size the mosaic may grow to,
// whose pages the system provides only as they are first written (ordinary
// small pages, no huge ones: a huge page would take the canvas's room
// beside the mosaic too). The reservation costs address space, not memory:
// a canvas takes memory only where the mosaic lies. Fresh pages read as
// zero, so a new canvas is black (and transparent) throughout. Any thread;
// allocate() throws cv::Exception when the system refuses.
class StitchCanvasAllocator : public cv::MatAllocator {
public:
    static StitchCanvasAllocator* instance();
    // Whether `m` lies in a buffer of this allocator.
    static bool holds(const cv::Mat& m);

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step, cv::AccessFlag flags,
                           cv::UMatUsageFlags usage) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
    void deallocate(cv::UMatData* data) const override;
};
