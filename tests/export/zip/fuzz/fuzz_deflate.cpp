// libFuzzer target: any input compresses to a raw deflate stream that zlib
// inflates back to the same bytes, whatever the read and output pieces.
//
// Input layout: byte 0 picks the read piece and output buffer sizes, byte 1
// a repeat count; the rest is the payload, repeated (with one byte varied
// per copy) so that short fuzz inputs still reach window slides.
#include "export/zip/DeflateCompressor.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Io {
    const std::vector<uint8_t>* in;
    size_t pos = 0;
    size_t piece;
    std::vector<uint8_t> out;
};

size_t readPiece(void* ctx, uint8_t* buf, size_t size)
{
    auto* io = static_cast<Io*>(ctx);
    size_t n = std::min({size, io->piece, io->in->size() - io->pos});
    if (n)
        std::memcpy(buf, io->in->data() + io->pos, n);
    io->pos += n;
    return n;
}

bool flushAll(void* ctx, const uint8_t* data, size_t size)
{
    auto* io = static_cast<Io*>(ctx);
    io->out.insert(io->out.end(), data, data + size);
    return true;
}

bool inflateRaw(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t expected)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    out.assign(expected + 1, 0);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    bool ok = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DeflateCompressor compressor; // reused, as one archive reuses it
    static const size_t pieces[] = {1, 3, 262, 4096, 65536};
    static const size_t outCaps[] = {64, 100, 16384};

    size_t piece = 65536, outCap = 16384, repeat = 1;
    if (size >= 2) {
        piece = pieces[data[0] % 5];
        outCap = outCaps[(data[0] / 5) % 3];
        repeat = 1 + data[1];
        data += 2;
        size -= 2;
    }
    std::vector<uint8_t> input;
    input.reserve(size * repeat);
    for (size_t r = 0; r < repeat; ++r) {
        input.insert(input.end(), data, data + size);
        if (size)
            input[input.size() - 1 - r % size] ^= static_cast<uint8_t>(r);
    }

    Io io;
    io.in = &input;
    io.piece = piece;
    std::vector<uint8_t> buf(outCap);
    uint64_t written = 0;
    if (!compressor.Compress(readPiece, flushAll, &io, buf.data(), buf.size(), &written))
        std::abort();
    if (written != io.out.size())
        std::abort();
    std::vector<uint8_t> back;
    if (!inflateRaw(io.out, back, input.size()) || back != input)
        std::abort();
    return 0;
}

#ifdef SEVRIN_CORPUS_REPLAY
// Without libFuzzer: runs every file of the folder given as argument once.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream f(entry.path(), std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(data.data(), data.size());
        ++count;
    }
    std::cout << count << " inputs round-tripped\n";
    return count > 0 ? 0 : 1;
}
#endif
