#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace SimpleXlsx {

struct DualString;

// Streams one XML part file: no document tree, only the names of the open
// elements. Every write goes through a 64 KiB buffer; any failure (the file
// cannot be created, a short write, a failed close) is remembered and
// reported by Ok() and Close(), so that a broken part never passes for a
// saved one. One writer per part, used by one thread.
class XmlWriter {
public:
    // How text from data is made safe for XML.
    enum class TextMode {
        Plain,       // escape the five markup characters; drop characters XML forbids
        Spreadsheet, // as Plain, but keep forbidden control characters and CR as
                     // _xHHHH_ (and protect literal _xHHHH_ as _x005F_xHHHH_), as cell texts do
    };

    explicit XmlWriter(const std::string& path);
    // Closes whatever is still open, then the file.
    ~XmlWriter();
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    XmlWriter& StartElement(const char* name);
    // Opens a leaf that takes attributes only; finish it with EndEmptyElement.
    XmlWriter& StartEmptyElement(const char* name);
    XmlWriter& EndEmptyElement();
    // Closes the innermost open element ("/>" when it got no content).
    XmlWriter& EndElement();

    // Attribute values. Numbers and the unescaped text variant are for fixed
    // texts (namespaces, enumeration names); data goes through the escaped ones.
    XmlWriter& WriteAttribute(const char* name, int32_t value);
    XmlWriter& WriteAttribute(const char* name, uint32_t value);
    XmlWriter& WriteAttribute(const char* name, uint64_t value);
    XmlWriter& WriteAttribute(const char* name, double value); // up to 16 significant digits
    XmlWriter& WriteAttribute(const char* name, const char* value);
    XmlWriter& WriteAttributeEscaped(const char* name, const char* value);
    XmlWriter& WriteAttributeEscaped(const char* name, const std::string& value);
    XmlWriter& WriteAttribute(const char* name, const DualString& value); // escaped

    // A whole child element with fixed text, unescaped: <name>text</name>.
    XmlWriter& WriteElement(const char* name, const char* text);
    XmlWriter& WriteElement(const char* name, uint64_t value);
    // A whole child element whose text comes from data.
    XmlWriter& WriteElementEscaped(const char* name, const std::string& text, TextMode mode = TextMode::Plain);
    // Text content of the current element.
    XmlWriter& WriteText(const char* text, size_t size, TextMode mode = TextMode::Plain);
    XmlWriter& WriteText(const std::string& text, TextMode mode = TextMode::Plain)
    {
        return WriteText(text.data(), text.size(), mode);
    }

    // Fixed, well-formed markup written as it is, inside the current element.
    XmlWriter& WriteRaw(const char* markup);

    // Closes every open element and the file; true when all of the part
    // reached the disk. Later calls do nothing and return the same.
    bool Close();
    bool Ok() const { return m_ok; }
    // Bytes of the part produced so far (written or buffered): where the
    // next write lands in the file.
    uint64_t Offset() const { return m_flushed + m_buf.size(); }

    // Appends text made safe for XML to out (exposed for tests).
    static void AppendEscaped(std::string& out, const char* text, size_t size, bool attribute, TextMode mode);

private:
    void finishPending()
    {
        if (m_pending) {
            m_buf += '>';
            m_pending = false;
        }
    }
    void put(const char* s) { m_buf += s; }
    void maybeFlush()
    {
        if (m_buf.size() >= kFlushAt)
            flushBuffer();
    }
    void flushBuffer();
    void attributeStart(const char* name);
    void openTextElement(const char* name);
    void closeTextElement(const char* name);

    static constexpr size_t kFlushAt = 64 * 1024;
    FILE* m_file = nullptr;
    bool m_ok = false;
    bool m_closed = false;
    bool m_pending = false; // a start tag is open for attributes
    bool m_empty = true;    // the innermost element has no content yet
    std::vector<std::string> m_stack;
    std::string m_buf;
    uint64_t m_flushed = 0;
};

} // namespace SimpleXlsx
