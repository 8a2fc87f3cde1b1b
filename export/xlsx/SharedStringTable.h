#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace SimpleXlsx {

// The workbook's shared strings: every distinct cell text once, numbered
// from 0 in the order of first appearance over all sheets. Texts are
// compared byte for byte. Owned by the workbook, shared by its sheets.
class SharedStringTable {
public:
    // The index of text, added at the end when new.
    uint64_t Index(const std::string& text)
    {
        auto it = m_map.find(text);
        if (it != m_map.end())
            return it->second;
        const uint64_t index = m_order.size();
        auto inserted = m_map.emplace(text, index).first;
        m_order.push_back(&inserted->first);
        return index;
    }
    size_t Size() const { return m_order.size(); }
    // Texts in index order (pointers stay valid while the table lives).
    const std::vector<const std::string*>& InOrder() const { return m_order; }

private:
    std::unordered_map<std::string, uint64_t> m_map;
    std::vector<const std::string*> m_order;
};

} // namespace SimpleXlsx
