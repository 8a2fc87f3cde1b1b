#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Raw deflate (RFC 1951, no zlib or gzip wrapper) at level 8 with lazy
// matching: 32 KiB history in a 64 KiB sliding window, blocks of 16,383
// symbols (zlib's at memory level 8), and per block the cheapest of stored,
// fixed-code and dynamic-code forms. Matches are found along hash chains of
// 3-byte strings with level 8's limits (the constants below).
//
// Input is pulled through a read callback and output pushed through a flush
// callback, so no source is ever held whole. One compressor is made per zip
// archive and reused for every deflated entry (its large tables are allocated
// once, about 250 KiB). Not thread-safe: one thread per compressor.
class DeflateCompressor {
public:
    // Level 8: a previous match of kGoodLength cuts the chain walk to a
    // quarter; a match of kMaxLazy is taken without looking one byte on; a
    // match of kNiceLength ends the walk; at most kMaxChain candidates per
    // walk; a 3-byte match more than kTooFar back is not worth its distance.
    static constexpr int kGoodLength = 32;
    static constexpr int kMaxLazy = 128;
    static constexpr int kNiceLength = 258;
    static constexpr int kMaxChain = 1024;
    static constexpr int kTooFar = 4096;

    // Fills buf with up to size source bytes; returns the count, 0 at the end
    // of the input (or on a read error, which the caller records itself).
    using ReadFn = size_t (*)(void* ctx, uint8_t* buf, size_t size);
    // Writes size bytes; returns false when they were not all written.
    using FlushFn = bool (*)(void* ctx, const uint8_t* data, size_t size);

    DeflateCompressor();
    ~DeflateCompressor();
    DeflateCompressor(const DeflateCompressor&) = delete;
    DeflateCompressor& operator=(const DeflateCompressor&) = delete;

    // Compresses the whole input into one raw deflate stream. outBuf (owned
    // by the caller, capacity outCap >= 64 bytes) collects the output between
    // flushes; stored blocks go straight from the window to the flush
    // callback. Returns true with *compressedSize set, or false when a flush
    // failed or an internal check tripped (see ErrorText()).
    bool Compress(ReadFn read, FlushFn flush, void* ctx, uint8_t* outBuf, size_t outCap,
                  uint64_t* compressedSize);

    // Empty, or the first failure of the last Compress call.
    const char* ErrorText() const;

    // Convenience for memory buffers (tests, benchmarks): raw deflate of
    // data[0..size) appended to out. Returns false only on an internal error.
    bool CompressBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
