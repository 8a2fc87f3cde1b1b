#include "camera/H264Repeats.h"

#include <utility>

namespace {

// A NAL unit's payload without the bytes that keep start codes out of it.
std::vector<uint8_t> unescape(const uint8_t* p, int n) {
    std::vector<uint8_t> out;
    out.reserve(size_t(n));
    int zeros = 0;
    for (int i = 0; i < n; ++i) {
        if (zeros >= 2 && p[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = p[i] == 0 ? zeros + 1 : 0;
        out.push_back(p[i]);
    }
    return out;
}

void appendEscaped(QByteArray& out, const std::vector<uint8_t>& rbsp) {
    int zeros = 0;
    for (const uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.append(char(3));
            zeros = 0;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.append(char(b));
    }
    if (!rbsp.empty() && rbsp.back() == 0)
        out.append(char(3)); // a unit never ends on a zero byte
}

class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& b) : m_b(b) {}
    uint32_t bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const size_t byte = m_pos >> 3;
            if (byte >= m_b.size()) {
                m_bad = true;
                return 0;
            }
            v = v << 1 | ((m_b[byte] >> (7 - (m_pos & 7))) & 1);
            ++m_pos;
        }
        return v;
    }
    uint32_t ue() {
        int zeros = 0;
        while (bits(1) == 0 && !m_bad)
            if (++zeros > 31) {
                m_bad = true;
                return 0;
            }
        return (uint32_t(1) << zeros) - 1 + bits(zeros);
    }
    size_t pos() const { return m_pos; }
    bool bad() const { return m_bad; }

private:
    const std::vector<uint8_t>& m_b;
    size_t m_pos = 0;
    bool m_bad = false;
};

class BitWriter {
public:
    void bits(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if ((m_n & 7) == 0)
                m_b.push_back(0);
            m_b.back() |= uint8_t(((v >> i) & 1) << (7 - (m_n & 7)));
            ++m_n;
        }
    }
    void ue(uint32_t v) {
        int len = 0;
        while ((v + 1) >> (len + 1))
            ++len;
        bits(0, len);
        bits(v + 1, len + 1);
    }
    // The stop bit and the zeros up to the byte's end.
    std::vector<uint8_t> finish() {
        bits(1, 1);
        return std::move(m_b);
    }

private:
    std::vector<uint8_t> m_b;
    size_t m_n = 0;
};

// The NAL units of an Annex B buffer: [start, end) of each unit's bytes
// (header included, start code excluded).
std::vector<std::pair<int, int>> units(const uint8_t* p, int n) {
    std::vector<std::pair<int, int>> out;
    int start = -1;
    for (int i = 0; i + 2 < n; ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
            if (start >= 0) {
                int end = i;
                while (end > start && p[end - 1] == 0)
                    --end; // the leading zero of a four-byte start code
                out.emplace_back(start, end);
            }
            start = i + 3;
            i += 2;
        }
    }
    if (start >= 0 && start < n)
        out.emplace_back(start, n);
    return out;
}

void appendUnit(QByteArray& out, uint8_t header, const std::vector<uint8_t>& rbsp) {
    out.append("\0\0\0\1", 4);
    out.append(char(header));
    appendEscaped(out, rbsp);
}

} // namespace

bool H264Repeats::start(const uint8_t* header, int size) {
    m_started = false;
    if (!header || size <= 0)
        return false;
    bool haveSps = false;
    int ppsIds = 0; // bit i: a parameter set of that number is taken
    for (const auto& [s, e] : units(header, size)) {
        if (e - s < 2)
            continue;
        const int type = header[s] & 31;
        const std::vector<uint8_t> rbsp = unescape(header + s + 1, e - s - 1);
        BitReader r(rbsp);
        if (type == 7 && !haveSps) {
            const uint32_t profile = r.bits(8);
            r.bits(16); // constraints, level
            m_spsId = int(r.ue());
            if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
                profile == 83 || profile == 86 || profile == 118 || profile == 128 || profile == 138 ||
                profile == 139 || profile == 134 || profile == 135) {
                if (r.ue() == 3)
                    r.bits(1); // separate colour planes
                r.ue();
                r.ue();     // bit depths
                r.bits(1); // transform bypass
                if (r.bits(1))
                    return false; // scaling matrices: not read here
            }
            m_frameNumBits = int(r.ue()) + 4;
            // Orders that follow the frame number, and one reference: the
            // copy then sits in the encoder's reference place exactly.
            if (r.ue() != 2 || r.ue() != 1)
                return false;
            r.bits(1); // gaps allowed
            const uint32_t w = r.ue() + 1, h = r.ue() + 1;
            if (r.bits(1) != 1 || r.bad() || m_frameNumBits > 16)
                return false; // fields
            m_blocks = int(w * h);
            haveSps = true;
        } else if (type == 8) {
            const uint32_t id = r.ue();
            if (id < 31)
                ppsIds |= 1 << id;
        }
    }
    if (!haveSps)
        return false;
    m_copiesPps = 0;
    while (ppsIds & (1 << m_copiesPps))
        ++m_copiesPps;
    BitWriter w;
    w.ue(uint32_t(m_copiesPps));
    w.ue(uint32_t(m_spsId));
    w.bits(0, 1); // variable-length coding
    w.bits(0, 1); // no bottom field order
    w.ue(0);      // one slice group
    w.ue(0);      // one reference in each list
    w.ue(0);
    w.bits(0, 1); // no weights
    w.bits(0, 2);
    w.ue(0); // quantisers 26 and no chroma offset (each se 0)
    w.ue(0);
    w.ue(0);
    w.bits(1, 1); // the slice says the deblocking filter is off
    w.bits(0, 1);
    w.bits(0, 1);
    m_header = QByteArray(reinterpret_cast<const char*>(header), size);
    appendUnit(m_header, 0x68, w.finish());
    m_lastRefFrameNum = 0;
    m_shift = 0;
    m_started = true;
    return true;
}

QByteArray H264Repeats::renumber(const uint8_t* data, int size) {
    if (!m_started)
        return QByteArray();
    bool any = false;
    const auto list = units(data, size);
    for (const auto& [s, e] : list) {
        const int type = data[s] & 31;
        if (type == 5) {
            m_shift = 0; // numbers start over at a key frame
            m_lastRefFrameNum = 0;
        }
        any |= type == 1 && m_shift != 0;
    }
    const uint32_t wrap = uint32_t(1) << m_frameNumBits;
    if (!any) {
        for (const auto& [s, e] : list) {
            const int type = data[s] & 31;
            if ((type == 1) && (data[s] & 0x60)) {
                std::vector<uint8_t> rbsp = unescape(data + s + 1, std::min(e - s - 1, 32));
                BitReader r(rbsp);
                r.ue();
                r.ue();
                r.ue();
                m_lastRefFrameNum = r.bits(m_frameNumBits);
            }
        }
        return QByteArray();
    }
    QByteArray out;
    out.reserve(size + 64);
    for (const auto& [s, e] : list) {
        const uint8_t head = data[s];
        const int type = head & 31;
        if (type != 1) {
            out.append("\0\0\0\1", 4);
            out.append(reinterpret_cast<const char*>(data + s), e - s);
            continue;
        }
        std::vector<uint8_t> rbsp = unescape(data + s + 1, e - s - 1);
        BitReader r(rbsp);
        r.ue();
        r.ue();
        r.ue();
        const size_t at = r.pos();
        const uint32_t num = (r.bits(m_frameNumBits) + m_shift) % wrap;
        for (int i = 0; i < m_frameNumBits; ++i) {
            const size_t bit = at + size_t(i);
            const uint8_t mask = uint8_t(0x80 >> (bit & 7));
            if ((num >> (m_frameNumBits - 1 - i)) & 1)
                rbsp[bit >> 3] |= mask;
            else
                rbsp[bit >> 3] &= uint8_t(~mask);
        }
        if (head & 0x60)
            m_lastRefFrameNum = num;
        out.append("\0\0\0\1", 4);
        out.append(char(head));
        appendEscaped(out, rbsp);
    }
    return out;
}

QByteArray H264Repeats::copyOfLast(int bytes) {
    if (!m_started)
        return QByteArray();
    const uint32_t num = (m_lastRefFrameNum + 1) % (uint32_t(1) << m_frameNumBits);
    BitWriter w;
    w.ue(0); // the first block
    w.ue(5); // P, as every slice of the picture
    w.ue(uint32_t(m_copiesPps));
    w.bits(num, m_frameNumBits);
    w.bits(0, 1); // the parameter set's one reference
    w.bits(0, 1); // the list as it stands
    w.bits(0, 1); // references marked by the sliding window
    w.ue(0);      // quantiser delta 0 (se)
    w.ue(1);      // no deblocking
    w.ue(uint32_t(m_blocks)); // every block skipped
    QByteArray out;
    appendUnit(out, 0x41, w.finish());
    m_lastRefFrameNum = num;
    ++m_shift;
    // Filler: 0xff bytes and the stop bit, up to the tick's share.
    const int filler = bytes - out.size() - 6;
    if (filler > 0) {
        out.append("\0\0\0\1\x0c", 5);
        out.append(QByteArray(filler, char(0xff)));
        out.append(char(0x80));
    }
    return out;
}
