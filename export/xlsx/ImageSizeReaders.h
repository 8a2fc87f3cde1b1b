#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace SimpleXlsx {

// Picture size readers: each reads the header of an image file and returns
// true with its pixel width and height (both below 65536). The FILE*
// variants read from the start of an open binary stream; the path variants
// open the file themselves. They never read more than the header needs and
// fail cleanly on truncated or malformed files.
bool ReadJpegSize(std::FILE* file, uint32_t& width, uint32_t& height);
bool ReadPngSize(std::FILE* file, uint32_t& width, uint32_t& height);
bool ReadGifSize(std::FILE* file, uint32_t& width, uint32_t& height);
bool ReadTiffSize(std::FILE* file, uint32_t& width, uint32_t& height);

bool ReadJpegSize(const std::string& path, uint32_t& width, uint32_t& height);
bool ReadPngSize(const std::string& path, uint32_t& width, uint32_t& height);
bool ReadGifSize(const std::string& path, uint32_t& width, uint32_t& height);
bool ReadTiffSize(const std::string& path, uint32_t& width, uint32_t& height);

using ImageSizeReader = bool (*)(std::FILE*, uint32_t&, uint32_t&);

// The picture types a workbook accepts, by lower-case extension with its dot.
struct ImageTypeEntry {
    const char* extension;   // ".jpg"; "" in the end marker
    int type;                // 1 gif, 2 jpg, 3 jpeg, 4 png, 5 tif, 6 tiff; 0 ends the table
    ImageSizeReader reader;  // null in the end marker
    const char* contentType; // "image/jpeg"
};

// Seven entries: .gif, .jpg, .jpeg, .png, .tif, .tiff and the end marker.
extern const ImageTypeEntry ImageTypeTable[7];

// The entry for a lower-case extension with its dot, or null.
const ImageTypeEntry* FindImageType(const std::string& extension);
// The entry of a type number 1..6, or null.
const ImageTypeEntry* ImageTypeByNumber(int type);

} // namespace SimpleXlsx
