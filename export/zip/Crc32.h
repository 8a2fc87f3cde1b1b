#pragma once

#include <cstddef>
#include <cstdint>

// The reflected CRC-32 of the zip format and IEEE 802.3 (polynomial
// 0xEDB88320). Start with crc = 0; feed the result back for the next piece.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t size);
