#include "export/xlsx/XlsxTypes.h"

#include "export/xlsx/CPathManager.h"

namespace SimpleXlsx {

DualString::DualString(const char* utf8) : narrow(utf8 ? utf8 : ""), wide(Utf8ToWide(narrow)) {}

DualString::DualString(const std::string& utf8) : narrow(utf8), wide(Utf8ToWide(utf8)) {}

DualString::DualString(const std::wstring& text) : narrow(ToAnsiString(text)), wide(text) {}

size_t ColumnLetters(uint32_t col, char* buf)
{
    char rev[8];
    size_t n = 0;
    rev[n++] = static_cast<char>('A' + col % 26);
    for (uint32_t q = col / 26; q != 0; q = (q - 1) / 26) rev[n++] = static_cast<char>('A' + (q - 1) % 26);
    for (size_t i = 0; i < n; ++i) buf[i] = rev[n - 1 - i];
    return n;
}

size_t CellRefText(const CellPos& pos, char* buf)
{
    size_t n = ColumnLetters(pos.col, buf);
    char digits[12];
    size_t d = 0;
    uint32_t row = pos.row;
    do {
        digits[d++] = static_cast<char>('0' + row % 10);
        row /= 10;
    } while (row != 0);
    while (d > 0) buf[n++] = digits[--d];
    buf[n] = '\0';
    return n;
}

std::string CellRefText(const CellPos& pos)
{
    char buf[24];
    size_t n = CellRefText(pos, buf);
    return std::string(buf, n);
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = cp << 6 | (s[i + k] & 0x3F);
        }
        if (!ok) {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

} // namespace SimpleXlsx
