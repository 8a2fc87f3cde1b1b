#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// Repeats of the last picture of an H.264 stream without the encoder: a
// picture whose every block is skipped shows its reference unchanged, costs
// nothing to make, and lets a recorder that fell behind still give every
// tick of its file a picture of its own.
//
// The copy is a reference picture (the encoder's next picture then predicts
// from it, which holds the same pixels as the picture it was told of), so
// the pictures the encoder makes after it are renumbered past the copies
// since the last key frame. The copies use a parameter set of their own
// (plain variable-length coding, no weights, no deblocking), added to the
// stream's header, and carry filler up to one tick's share of the bit rate,
// so a constant-rate stream stays constant.
//
// Only streams of one reference picture, frame pictures and orders counted
// by frame number (what an encoder without B-frames writes) are repeated
// this way; start() says whether this one is. Everything is Annex B.
class H264Repeats {
public:
    // Reads the stream's parameter sets; false: its pictures cannot be
    // repeated this way, and nothing else may be called.
    bool start(const uint8_t* header, int size);
    // The stream's header with the copies' parameter set added.
    QByteArray header() const { return m_header; }
    // One of the encoder's packets, its pictures renumbered past the copies
    // (a null array: the packet stands as it is).
    QByteArray renumber(const uint8_t* data, int size);
    // A copy of the last picture, with filler up to `bytes` in all.
    QByteArray copyOfLast(int bytes);

private:
    QByteArray m_header;
    int m_frameNumBits = 0;
    int m_copiesPps = 0;
    int m_spsId = 0;
    int m_blocks = 0;              // macroblocks a picture
    uint32_t m_lastRefFrameNum = 0; // of the last reference picture written
    uint32_t m_shift = 0;           // copies since the last key frame
    bool m_started = false;
};
