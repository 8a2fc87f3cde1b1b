#pragma once

#include <QSize>

#include <chrono>
#include <cstdint>

// Interface size in tenths (10, 12, 14, 16, 18 or 20), chosen once at start
// from the primary screen's width, before any window exists.
extern int uiSizeFactor;

// Size factor for a primary screen `width` pixels wide: width / 1920 compared
// in single precision with 1.1, 1.3, 1.5, 1.7, 1.9 (2111 -> 10, 2112 -> 12,
// 2497 -> 14, 2881 -> 16, 3264 -> 18, 3649 -> 20).
int sizeFactorForWidth(int width);
// Application font pixel size for a factor: 10 -> 15 ... 20 -> 30.
int fontPixelSizeForFactor(int factor);
// Check-box and radio indicator size in pixels: factor * 2.
int indicatorSize(int factor);
// Main-loop pacing: how long to rest after a pass that took `elapsed`, so a
// pass and its rest last 16 ms; a pass of 16 ms or more is followed by none.
// In microseconds: whole milliseconds read off a tick count would stretch a
// step by up to a millisecond at each reading.
std::chrono::microseconds loopRest(std::chrono::microseconds elapsed);
// size * factor, each side rounded to nearest, halves upwards.
QSize scaleSize(const QSize& size, double factor);
