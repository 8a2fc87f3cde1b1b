#pragma once

#include <cstdint>
#include <string>

namespace SimpleXlsx {

// One text held twice: UTF-8 for the parts, wide for callers that want it.
struct DualString {
    std::string narrow;
    std::wstring wide;

    DualString() = default;
    DualString(const char* utf8);
    DualString(const std::string& utf8);
    DualString(const std::wstring& text);
    bool operator==(const DualString& o) const { return narrow == o.narrow; }
    bool operator!=(const DualString& o) const { return narrow != o.narrow; }
};

// A cell position: row counted from 1, column counted from 0.
struct CellPos {
    uint32_t row = 0;
    uint32_t col = 0;
};

// Columns first..last (from 0) get width (in characters).
struct ColumnWidthRange {
    uint32_t first = 0;
    uint32_t last = 0;
    float width = 8.0f;
};

// One corner of a picture: column and row counted from 0, offsets in EMU.
struct ImageAnchor {
    uint32_t col = 0;
    uint32_t colOff = 0;
    uint32_t row = 0;
    uint32_t rowOff = 0;
};

// Column letters in bijective base 26: 0 A, 25 Z, 26 AA, 701 ZZ, 702 AAA.
// Writes them into buf (at least 8 bytes) and returns the length.
size_t ColumnLetters(uint32_t col, char* buf);
// A1 reference: column letters then the row, "K12" for (12, 10).
std::string CellRefText(const CellPos& pos);
// Writes the reference into buf (at least 20 bytes), NUL-terminated; returns its length.
size_t CellRefText(const CellPos& pos, char* buf);

// UTF-8 to wide (invalid sequences become U+FFFD).
std::wstring Utf8ToWide(const std::string& text);

} // namespace SimpleXlsx

namespace SimpleXlsx {

// A picture copied into the package.
struct MediaFile {
    std::string sourcePath;  // as given; a second insertion of it reuses the entry
    std::string packageName; // "image1.jpg": media number and lower-case extension
    int type = 0;            // ImageTypeEntry::type
    uint32_t width = 0;      // pixels, from the file's header
    uint32_t height = 0;
};

} // namespace SimpleXlsx
