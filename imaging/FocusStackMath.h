#pragma once

#include <opencv2/core.hpp>

#include <functional>
#include <string>
#include <vector>

// Stateless picture arithmetic of focus stacking, shared by the fusion worker
// (ThreadJingShenHigh), its frame gate (FocusFrameGate) and the alignment
// (FocusAligner). Every function is thread-safe; pictures are 8-bit with
// packed rows unless stated.
namespace FocusStackMath {

// The sharpness grid: 16 x 16 cells of the 1/8-size luma plane, row-major
// (index = row * 16 + column).
constexpr int kGridSide = 16;
constexpr int kGridCells = kGridSide * kGridSide;

// Luma (the Y of YCrCb, BT.601 full range) of a packed RGB888 picture.
void luma(const cv::Mat& rgb, cv::Mat& y);

// A picture resized by 1/8 in both directions (bilinear).
cv::Mat eighth(const cv::Mat& y);

// The cells of the sharpness grid on a 1/8-size plane of size `eighthSize`:
// cw = floor(width / 16), ch = floor(height / 16), centred with integer
// margins. Cells are empty when the plane is narrower than 16 pixels.
std::vector<cv::Rect> gridCells(cv::Size eighthSize);

// Sharpness of every cell, in cell order: the mean of |mixed Sobel (dx = dy = 1,
// aperture 3, reflect-101)| converted to 8 bit, at least 1.0.
void gridSharpness(const cv::Mat& eighthLuma, const std::vector<cv::Rect>& cells, std::vector<float>& out);

// Rank score of a grid: the cells as (index, value truncated to an integer),
// sorted by value, highest first, equal values in index order; the sum of the
// indices of the first 80.
int rankScore(const std::vector<float>& grid);

// The keypoint search rectangle on the quarter-size picture of a W x H frame:
// the 12 x 12-cell block of `grid` (256 values) with the largest sum (the
// first of equal sums; (0, 0) when no sum is positive), kept inside W/4 x H/4.
// Raises every cell of `to` to the grid's where the grid's is higher (cells
// beyond either's size are left alone): what a set of frames holds is the
// per-cell maximum of their grids.
void raiseCells(std::vector<float>& to, const std::vector<float>& grid);

cv::Rect searchRect(const std::vector<float>& grid, int width, int height);

// Focus map of a full-size 8-bit luma plane: |Y - box5(Y)| at every pixel,
// averaged over 8 x 8 blocks, smoothed by a guided filter (guide: Y at 1/8
// size; radius 10, eps 2) and raised to at least half the blocks' detail
// spread by a Gaussian (sigma 6 blocks), times kFocusGain, and scaled back
// (bilinear) to the plane's size. Output 8 bit (saturated): one unit is
// 1 / kFocusGain of a grey level of detail. `stop` (when given) is asked between the full-size
// steps; once it answers true the map is left unfinished, `out` untouched,
// and the answer is false. `scratch` (when given) is the full-size 16-bit
// plane the map is worked out in, kept by the caller from one frame to the
// next; without it one is made and freed at each call.
constexpr double kFocusGain = 8.0;
bool focusMap(const cv::Mat& y, cv::Mat& out, const std::function<bool()>& stop = {}, cv::Mat* scratch = nullptr);
// Loads now the libraries focusMap needs where the program loads them late
// (at a run's Start, where a failure can be told, rather than at its first
// call, where it would end the program); false with the loader's words.
bool loadLibraries(std::string& why);

// Voting histogram of integer keys: bins of equal keys, sorted by key, highest
// first; each bin's window is the run of neighbouring bins whose keys lie
// within `tolerance` of its own; the first bin with the strictly greatest
// window weight wins. Returns the count-weighted mean key of that window, or
// false when there are no keys; `support` (when given) gets the winning
// window's weight, the number of keys that agree with the mean.
bool voteKeys(const std::vector<int>& keys, int tolerance, double& mean, int* support = nullptr);

} // namespace FocusStackMath
