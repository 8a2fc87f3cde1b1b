#pragma once

#include <QPoint>
#include <QSize>

#include <cstdint>

// Pictures of the simulated network cameras: a procedural specimen (gradient,
// grid, rings, fine texture), rendered once per size and look and cached, with
// a moving mark and two frame stamps drawn per frame. Thread-safe.
//
// Every frame carries a 16-byte stamp at the start of its first row and the
// same stamp at the start of its last row: "SNFT", width, height and serial as
// little-endian 32-bit values. A frame whose two stamps differ, or whose
// stamp does not match its size, was torn.
class NetSdkSimFrames {
public:
    struct Look {
        bool mirror = false;
        bool flip = false;
        bool mono = false;
        bool operator==(const Look& o) const { return mirror == o.mirror && flip == o.flip && mono == o.mono; }
    };
    struct Stamp {
        int width = 0;
        int height = 0;
        uint32_t serial = 0;
    };

    static constexpr int markSize = 48;

    // Writes frame `serial` (BGR, rows packed) into dst of width*height*3 bytes.
    static void render(uint8_t* dst, int width, int height, const Look& look, uint32_t serial);
    // Top-left corner of the mark in frame `serial`.
    static QPoint markPosition(int width, int height, const Look& look, uint32_t serial);
    // Reads the stamps of a BGR frame with rows of `stride` bytes; false when
    // either is missing or they differ.
    static bool readStamp(const uint8_t* frame, int width, int height, int stride, Stamp* stamp);
};
