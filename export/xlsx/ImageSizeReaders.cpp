#include "export/xlsx/ImageSizeReaders.h"

#include "platform/filerules/FileRules.h"

#include <cstring>

namespace SimpleXlsx {

const ImageTypeEntry ImageTypeTable[7] = {
    {".gif", 1, ReadGifSize, "image/gif"},   {".jpg", 2, ReadJpegSize, "image/jpeg"},
    {".jpeg", 3, ReadJpegSize, "image/jpeg"}, {".png", 4, ReadPngSize, "image/png"},
    {".tif", 5, ReadTiffSize, "image/tiff"},  {".tiff", 6, ReadTiffSize, "image/tiff"},
    {"", 0, nullptr, nullptr},
};

const ImageTypeEntry* FindImageType(const std::string& extension)
{
    for (const ImageTypeEntry* e = ImageTypeTable; e->type != 0; ++e)
        if (extension == e->extension)
            return e;
    return nullptr;
}

const ImageTypeEntry* ImageTypeByNumber(int type)
{
    for (const ImageTypeEntry* e = ImageTypeTable; e->type != 0; ++e)
        if (e->type == type)
            return e;
    return nullptr;
}

namespace {

bool readExact(std::FILE* f, void* buf, size_t n)
{
    return std::fread(buf, 1, n, f) == n;
}

uint32_t be16(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

uint32_t be32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool validSize(uint32_t w, uint32_t h)
{
    return w > 0 && h > 0 && w < 65536 && h < 65536;
}

template <typename Reader>
bool readPath(const std::string& path, uint32_t& width, uint32_t& height, Reader reader)
{
    std::FILE* f = FileRules::openRegularStream(path); // a FIFO is not waited on
    if (!f)
        return false;
    bool ok = reader(f, width, height);
    std::fclose(f);
    return ok;
}

} // namespace

bool ReadJpegSize(std::FILE* f, uint32_t& width, uint32_t& height)
{
    unsigned char b[8];
    if (std::fseek(f, 0, SEEK_SET) != 0 || !readExact(f, b, 2) || b[0] != 0xFF || b[1] != 0xD8)
        return false;
    // Walk the segments up to the baseline start of frame (C0), the only
    // frame this program's report pictures have; any other frame type, and
    // the end of the file, ends the walk without a size. So does the start of
    // a scan: what follows is coded data, where the bytes of a frame header
    // may stand without being one.
    for (;;) {
        if (!readExact(f, b, 4) || b[0] != 0xFF)
            return false;
        const uint32_t length = be16(b + 2);
        if (b[1] == 0xC0)
            break;
        const bool otherFrame = b[1] >= 0xC1 && b[1] <= 0xCF && b[1] != 0xC4 && b[1] != 0xC8 && b[1] != 0xCC;
        if (otherFrame || b[1] == 0xDA)
            return false;
        // A length below 2 would step back onto the same marker for ever.
        if (length < 2 || std::fseek(f, static_cast<long>(length) - 2, SEEK_CUR) != 0)
            return false;
    }
    if (!readExact(f, b, 5))
        return false;
    height = be16(b + 1);
    width = be16(b + 3);
    return validSize(width, height);
}

bool ReadPngSize(std::FILE* f, uint32_t& width, uint32_t& height)
{
    static const unsigned char head[16] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    unsigned char b[24];
    if (std::fseek(f, 0, SEEK_SET) != 0 || !readExact(f, b, 24) || std::memcmp(b, head, 16) != 0)
        return false;
    width = be32(b + 16);
    height = be32(b + 20);
    return validSize(width, height);
}

bool ReadGifSize(std::FILE* f, uint32_t& width, uint32_t& height)
{
    unsigned char b[10];
    if (std::fseek(f, 0, SEEK_SET) != 0 || !readExact(f, b, 10) || std::memcmp(b, "GIF", 3) != 0)
        return false;
    width = b[6] | static_cast<uint32_t>(b[7]) << 8;
    height = b[8] | static_cast<uint32_t>(b[9]) << 8;
    return validSize(width, height);
}

bool ReadTiffSize(std::FILE* f, uint32_t& width, uint32_t& height)
{
    unsigned char b[12];
    if (std::fseek(f, 0, SEEK_SET) != 0 || !readExact(f, b, 8))
        return false;
    bool little;
    if (b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0)
        little = true;
    else if (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)
        little = false;
    else
        return false;
    auto u16 = [little](const unsigned char* p) -> uint32_t { return little ? (p[0] | p[1] << 8) : be16(p); };
    auto u32 = [little](const unsigned char* p) -> uint32_t {
        return little ? (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24) : be32(p);
    };
    uint32_t offset = u32(b + 4);
    // A bounded number of directories: a cycle of offsets must not hang us.
    for (int dirs = 0; dirs < 64 && offset != 0; ++dirs) {
        if (offset > 0x7FFFFFFF || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0 || !readExact(f, b, 2))
            return false;
        const uint32_t count = u16(b);
        bool haveWidth = false, haveHeight = false;
        for (uint32_t i = 0; i < count; ++i) {
            if (!readExact(f, b, 12))
                return false;
            const uint32_t tag = u16(b);
            const uint32_t type = u16(b + 2);
            // A SHORT value sits in the first two bytes of the value field,
            // whatever the byte order; a LONG fills all four.
            const uint32_t value = type == 3 ? u16(b + 8) : u32(b + 8);
            if (tag == 256 && value < 65536) {
                width = value;
                haveWidth = true;
            } else if (tag == 257 && value < 65536) {
                height = value;
                haveHeight = true;
            }
            if (haveWidth && haveHeight)
                return validSize(width, height);
        }
        if (!readExact(f, b, 4))
            return false;
        offset = u32(b);
    }
    return false;
}

bool ReadJpegSize(const std::string& path, uint32_t& width, uint32_t& height)
{
    return readPath(path, width, height, static_cast<ImageSizeReader>(ReadJpegSize));
}

bool ReadPngSize(const std::string& path, uint32_t& width, uint32_t& height)
{
    return readPath(path, width, height, static_cast<ImageSizeReader>(ReadPngSize));
}

bool ReadGifSize(const std::string& path, uint32_t& width, uint32_t& height)
{
    return readPath(path, width, height, static_cast<ImageSizeReader>(ReadGifSize));
}

bool ReadTiffSize(const std::string& path, uint32_t& width, uint32_t& height)
{
    return readPath(path, width, height, static_cast<ImageSizeReader>(ReadTiffSize));
}

} // namespace SimpleXlsx
