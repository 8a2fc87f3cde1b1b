#include "export/zip/Crc32.h"

#include <cstring>

namespace {

// Slicing by eight: table[k][b] is the CRC of byte b followed by k zero bytes.
struct CrcTables {
    uint32_t t[8][256];
    CrcTables()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xff] ^ (t[k - 1][n] >> 8);
    }
};

const CrcTables& tables()
{
    static const CrcTables t;
    return t;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t size)
{
    const auto& t = tables().t;
    uint32_t c = ~crc;
    while (size >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, data, 4); // little-endian host
        std::memcpy(&hi, data + 4, 4);
        lo ^= c;
        c = t[7][lo & 0xff] ^ t[6][(lo >> 8) & 0xff] ^ t[5][(lo >> 16) & 0xff] ^ t[4][lo >> 24]
            ^ t[3][hi & 0xff] ^ t[2][(hi >> 8) & 0xff] ^ t[1][(hi >> 16) & 0xff] ^ t[0][hi >> 24];
        data += 8;
        size -= 8;
    }
    while (size--) c = t[0][(c ^ *data++) & 0xff] ^ (c >> 8);
    return ~c;
}
