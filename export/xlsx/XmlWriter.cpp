#include "export/xlsx/XmlWriter.h"

#include "export/xlsx/XlsxTypes.h"

#include <cstring>

namespace SimpleXlsx {

namespace {

void appendUnsigned(std::string& out, uint64_t v)
{
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0) out += digits[--n];
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Length of the valid UTF-8 sequence at s (n bytes left), or 0 when invalid.
size_t utf8Length(const unsigned char* s, size_t n)
{
    const unsigned char c = s[0];
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    if (len > n || s[1] < lo || s[1] > hi)
        return 0;
    for (size_t k = 2; k < len; ++k)
        if ((s[k] & 0xC0) != 0x80)
            return 0;
    // U+FFFE and U+FFFF are not XML characters either.
    if (len == 3 && c == 0xEF && s[1] == 0xBF && (s[2] == 0xBE || s[2] == 0xBF))
        return 0;
    return len;
}

} // namespace

XmlWriter::XmlWriter(const std::string& path)
{
    m_buf.reserve(kFlushAt + 4096);
    m_file = std::fopen(path.c_str(), "wb");
    m_ok = m_file != nullptr;
    m_buf = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
}

XmlWriter::~XmlWriter()
{
    Close();
}

void XmlWriter::flushBuffer()
{
    if (m_file && m_ok && !m_buf.empty() && std::fwrite(m_buf.data(), 1, m_buf.size(), m_file) != m_buf.size())
        m_ok = false;
    m_flushed += m_buf.size();
    m_buf.clear();
}

bool XmlWriter::Close()
{
    if (m_closed)
        return m_ok;
    while (!m_stack.empty()) EndElement();
    flushBuffer();
    if (m_file && std::fclose(m_file) != 0)
        m_ok = false;
    m_file = nullptr;
    m_closed = true;
    return m_ok;
}

XmlWriter& XmlWriter::StartElement(const char* name)
{
    finishPending();
    m_buf += '<';
    m_buf += name;
    m_pending = true;
    m_empty = true;
    m_stack.emplace_back(name);
    return *this;
}

XmlWriter& XmlWriter::StartEmptyElement(const char* name)
{
    finishPending();
    m_buf += '<';
    m_buf += name;
    m_pending = true;
    m_empty = false;
    return *this;
}

XmlWriter& XmlWriter::EndEmptyElement()
{
    m_buf += "/>";
    m_pending = false;
    maybeFlush();
    return *this;
}

XmlWriter& XmlWriter::EndElement()
{
    if (m_stack.empty())
        return *this;
    if (m_empty) {
        m_buf += "/>";
    } else {
        m_buf += "</";
        m_buf += m_stack.back();
        m_buf += '>';
    }
    m_stack.pop_back();
    m_pending = false;
    m_empty = false;
    maybeFlush();
    return *this;
}

void XmlWriter::attributeStart(const char* name)
{
    m_buf += ' ';
    m_buf += name;
    m_buf += "=\"";
}

XmlWriter& XmlWriter::WriteAttribute(const char* name, int32_t value)
{
    attributeStart(name);
    if (value < 0) {
        m_buf += '-';
        appendUnsigned(m_buf, static_cast<uint64_t>(-static_cast<int64_t>(value)));
    } else {
        appendUnsigned(m_buf, static_cast<uint64_t>(value));
    }
    m_buf += '"';
    return *this;
}

XmlWriter& XmlWriter::WriteAttribute(const char* name, uint32_t value)
{
    return WriteAttribute(name, static_cast<uint64_t>(value));
}

XmlWriter& XmlWriter::WriteAttribute(const char* name, uint64_t value)
{
    attributeStart(name);
    appendUnsigned(m_buf, value);
    m_buf += '"';
    return *this;
}

XmlWriter& XmlWriter::WriteAttribute(const char* name, double value)
{
    // "C" formatting whatever the user's locale: %g never groups digits, and
    // snprintf's decimal point follows LC_NUMERIC, which Qt leaves as "C".
    char text[40];
    std::snprintf(text, sizeof text, "%.16g", value);
    for (char* p = text; *p; ++p)
        if (*p == ',')
            *p = '.';
    attributeStart(name);
    m_buf += text;
    m_buf += '"';
    return *this;
}

XmlWriter& XmlWriter::WriteAttribute(const char* name, const char* value)
{
    attributeStart(name);
    m_buf += value;
    m_buf += '"';
    return *this;
}

XmlWriter& XmlWriter::WriteAttributeEscaped(const char* name, const char* value)
{
    attributeStart(name);
    AppendEscaped(m_buf, value, std::strlen(value), true, TextMode::Plain);
    m_buf += '"';
    return *this;
}

XmlWriter& XmlWriter::WriteAttributeEscaped(const char* name, const std::string& value)
{
    attributeStart(name);
    AppendEscaped(m_buf, value.data(), value.size(), true, TextMode::Plain);
    m_buf += '"';
    return *this;
}

XmlWriter& XmlWriter::WriteAttribute(const char* name, const DualString& value)
{
    return WriteAttributeEscaped(name, value.narrow);
}

void XmlWriter::openTextElement(const char* name)
{
    finishPending();
    m_buf += '<';
    m_buf += name;
    m_buf += '>';
}

void XmlWriter::closeTextElement(const char* name)
{
    m_buf += "</";
    m_buf += name;
    m_buf += '>';
    m_empty = false;
    maybeFlush();
}

XmlWriter& XmlWriter::WriteElement(const char* name, const char* text)
{
    openTextElement(name);
    m_buf += text;
    closeTextElement(name);
    return *this;
}

XmlWriter& XmlWriter::WriteElement(const char* name, uint64_t value)
{
    openTextElement(name);
    appendUnsigned(m_buf, value);
    closeTextElement(name);
    return *this;
}

XmlWriter& XmlWriter::WriteElementEscaped(const char* name, const std::string& text, TextMode mode)
{
    openTextElement(name);
    AppendEscaped(m_buf, text.data(), text.size(), false, mode);
    closeTextElement(name);
    return *this;
}

XmlWriter& XmlWriter::WriteText(const char* text, size_t size, TextMode mode)
{
    finishPending();
    AppendEscaped(m_buf, text, size, false, mode);
    m_empty = false;
    maybeFlush();
    return *this;
}

XmlWriter& XmlWriter::WriteRaw(const char* markup)
{
    finishPending();
    m_buf += markup;
    m_empty = false;
    maybeFlush();
    return *this;
}

void XmlWriter::AppendEscaped(std::string& out, const char* text, size_t size, bool attribute, TextMode mode)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t run = 0; // start of the pending run of bytes copied unchanged
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < size;) {
        const unsigned char c = s[i];
        const char* entity = nullptr;
        if (c >= 0x80) {
            size_t len = utf8Length(s + i, size - i);
            if (len != 0) {
                i += len;
                continue;
            }
            entity = "\xEF\xBF\xBD"; // a byte that is not UTF-8 becomes U+FFFD
        } else if (c >= 0x20) {
            switch (c) {
            case '"': entity = "&quot;"; break;
            case '&': entity = "&amp;"; break;
            case '\'': entity = "&apos;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            case '_':
                // A literal _xHHHH_ would be read back as an escape.
                if (mode == TextMode::Spreadsheet && !attribute && i + 6 < size && s[i + 1] == 'x'
                    && isHex(text[i + 2]) && isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5])
                    && s[i + 6] == '_')
                    entity = "_x005F_";
                break;
            default: break;
            }
            if (!entity) {
                ++i;
                continue;
            }
        } else if (c == '\t' || c == '\n' || c == '\r') {
            // A reader normalises a raw CR (and CR LF) to LF: cell texts keep
            // theirs as an escape.
            if (c == '\r' && mode == TextMode::Spreadsheet && !attribute) {
                out.append(text + run, i - run);
                out += "_x000D_";
                run = ++i;
                continue;
            }
            if (!attribute) {
                ++i;
                continue;
            }
            // Attribute values would have them normalised to spaces.
            entity = c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
        } else {
            // A control character XML forbids.
            out.append(text + run, i - run);
            if (mode == TextMode::Spreadsheet && !attribute) {
                out += "_x00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
                out += '_';
            }
            run = ++i;
            continue;
        }
        out.append(text + run, i - run);
        out += entity;
        run = ++i;
    }
    out.append(text + run, size - run);
}

} // namespace SimpleXlsx
