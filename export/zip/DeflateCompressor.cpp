#include "export/zip/DeflateCompressor.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kWSize = 32768;
constexpr int kWMask = kWSize - 1;
constexpr int kWindowSize = 2 * kWSize;
constexpr int kHashSize = 1 << 15;
constexpr int kHashMask = kHashSize - 1;
constexpr int kHashShift = 5;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr int kMaxDist = kWSize - kMinLookahead; // 32,506
constexpr int kTooFar = 4096;
// Symbols per block: a block ends after kLitBufSize - 1 of them, as zlib's
// memory level 8 ends its blocks. Ending blocks earlier on a guess of their
// coded size (or later, with a larger buffer) costs 1-3 % on report sheets,
// whose long runs of near-alike cells code best in blocks of this length.
constexpr int kLitBufSize = 16384;
// Match comparison reads whole 8-byte words up to 258 bytes past the current
// position, which near the end of the input lies beyond the window's data.
constexpr int kWindowSlack = kMaxMatch + 16;

// Level 8 of the usual good/lazy/nice/chain table.
constexpr int kGoodLength = DeflateCompressor::kGoodLength;
constexpr int kMaxLazy = DeflateCompressor::kMaxLazy;
constexpr int kNiceLength = DeflateCompressor::kNiceLength;
constexpr int kMaxChain = DeflateCompressor::kMaxChain;
static_assert(kTooFar == DeflateCompressor::kTooFar, "one too-far distance");

constexpr int kLengthCodes = 29;
constexpr int kLiterals = 256;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes; // 286
constexpr int kDCodes = 30;
constexpr int kBLCodes = 19;
constexpr int kEndBlock = 256;
constexpr int kHeapSize = 2 * kLCodes + 1; // 573
constexpr int kMaxBits = 15;
constexpr int kMaxBLBits = 7;
constexpr int kRep3To6 = 16;
constexpr int kRepZ3To10 = 17;
constexpr int kRepZ11To138 = 18;

constexpr int kStoredBlock = 0;
constexpr int kStaticTrees = 1;
constexpr int kDynTrees = 2;

const int kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kExtraDBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                  6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const int kExtraBLBits[kBLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
const uint8_t kBLOrder[kBLCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct TreeNode {
    uint32_t freq = 0; // frequency, or the sum for an inner node
    uint16_t code = 0; // bit-reversed code
    uint16_t len = 0;  // code length
    uint16_t dad = 0;  // parent while the tree is built
};

unsigned reverseBits(unsigned code, int len)
{
    unsigned res = 0;
    do {
        res |= code & 1;
        code >>= 1;
        res <<= 1;
    } while (--len > 0);
    return res >> 1;
}

// Canonical codes from code lengths (RFC 1951 3.2.2), kept bit-reversed for
// least-significant-bit-first output.
void assignCodes(TreeNode* tree, int maxCode, const uint16_t* blCount)
{
    uint16_t nextCode[kMaxBits + 1];
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + blCount[bits - 1]) << 1;
        nextCode[bits] = static_cast<uint16_t>(code);
    }
    for (int n = 0; n <= maxCode; ++n) {
        int len = tree[n].len;
        if (len == 0)
            continue;
        tree[n].code = static_cast<uint16_t>(reverseBits(nextCode[len]++, len));
    }
}

// Tables that RFC 1951 fixes: length and distance codes and the fixed trees.
struct StaticTables {
    uint8_t lengthCode[256];   // match length - 3 -> length code (0..28)
    uint8_t distCode[512];     // see distanceCode()
    int baseLength[kLengthCodes];
    int baseDist[kDCodes];
    TreeNode ltree[kLCodes + 2];
    TreeNode dtree[kDCodes];

    StaticTables()
    {
        int length = 0;
        int code = 0;
        for (code = 0; code < kLengthCodes - 1; ++code) {
            baseLength[code] = length;
            for (int n = 0; n < (1 << kExtraLBits[code]); ++n)
                lengthCode[length++] = static_cast<uint8_t>(code);
        }
        // Length 258 has its own code (285) rather than 284 with extra 31.
        lengthCode[length - 1] = static_cast<uint8_t>(code);
        baseLength[kLengthCodes - 1] = 0;

        int dist = 0;
        for (code = 0; code < 16; ++code) {
            baseDist[code] = dist;
            for (int n = 0; n < (1 << kExtraDBits[code]); ++n)
                distCode[dist++] = static_cast<uint8_t>(code);
        }
        dist >>= 7;
        for (; code < kDCodes; ++code) {
            baseDist[code] = dist << 7;
            for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n)
                distCode[256 + dist++] = static_cast<uint8_t>(code);
        }

        uint16_t blCount[kMaxBits + 1] = {};
        int n = 0;
        while (n <= 143) ltree[n++].len = 8, blCount[8]++;
        while (n <= 255) ltree[n++].len = 9, blCount[9]++;
        while (n <= 279) ltree[n++].len = 7, blCount[7]++;
        while (n <= 287) ltree[n++].len = 8, blCount[8]++;
        assignCodes(ltree, kLCodes + 1, blCount);
        for (n = 0; n < kDCodes; ++n) {
            dtree[n].len = 5;
            dtree[n].code = static_cast<uint16_t>(reverseBits(n, 5));
        }
    }
};

const StaticTables& staticTables()
{
    static const StaticTables tables;
    return tables;
}

inline int distanceCode(const StaticTables& t, unsigned dist)
{
    return dist < 256 ? t.distCode[dist] : t.distCode[256 + (dist >> 7)];
}

struct TreeDesc {
    TreeNode* tree;
    int maxCode;
    const TreeNode* staticTree; // null for the code-length tree
    const int* extraBits;
    int extraBase;
    int elems;
    int maxLength;
};

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline uint16_t load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

} // namespace

struct DeflateCompressor::State {
    const StaticTables& st = staticTables();

    // Sliding window and hash chains. Position 0 in head/prev means "none".
    uint8_t window[kWindowSize + kWindowSlack] = {};
    uint16_t prev[kWSize] = {};
    uint16_t head[kHashSize] = {};
    unsigned insH = 0;
    unsigned strstart = 0;
    unsigned matchStart = 0;
    unsigned lookahead = 0;
    long blockStart = 0;
    bool eofile = false;
    unsigned niceMatch = kNiceLength;

    // Lazy evaluation.
    unsigned prevLength = 0;
    unsigned matchLength = 0;
    unsigned prevMatch = 0;
    bool matchAvailable = false;

    // Symbols of the current block: a literal has distance 0.
    uint8_t lcBuf[kLitBufSize] = {};
    uint16_t dBuf[kLitBufSize] = {};
    unsigned lastLit = 0;

    TreeNode dynLTree[kHeapSize];
    TreeNode dynDTree[2 * kDCodes + 1];
    TreeNode blTree[2 * kBLCodes + 1];
    TreeDesc lDesc{dynLTree, 0, st.ltree, kExtraLBits, kLiterals + 1, kLCodes, kMaxBits};
    TreeDesc dDesc{dynDTree, 0, st.dtree, kExtraDBits, 0, kDCodes, kMaxBits};
    TreeDesc blDesc{blTree, 0, nullptr, kExtraBLBits, 0, kBLCodes, kMaxBLBits};

    int heap[2 * kLCodes + 1] = {};
    int heapLen = 0;
    int heapMax = 0;
    uint8_t depth[2 * kLCodes + 1] = {};
    uint16_t blCount[kMaxBits + 1] = {};
    uint64_t optLen = 0;
    uint64_t staticLen = 0;

    // Bit writer and output.
    uint64_t bitBuf = 0;
    int bitCount = 0;
    uint8_t* out = nullptr;
    size_t outFill = 0;
    size_t outCap = 0;
    uint64_t totalOut = 0;

    ReadFn read = nullptr;
    FlushFn flush = nullptr;
    void* ctx = nullptr;
    const char* error = "";
    bool failed = false; // a flush failed: stop at once

    void setError(const char* text)
    {
        if (!*error)
            error = text;
    }

    // ---- output -------------------------------------------------------

    bool flushOut()
    {
        if (outFill == 0 || failed)
            return !failed;
        if (!flush(ctx, out, outFill)) {
            failed = true;
            setError("flush failed");
        }
        totalOut += outFill;
        outFill = 0;
        return !failed;
    }

    void putByte(uint8_t b)
    {
        if (outFill >= outCap)
            flushOut();
        out[outFill++] = b;
    }

    void sendBits(unsigned value, int length)
    {
        bitBuf |= static_cast<uint64_t>(value) << bitCount;
        bitCount += length;
        if (bitCount >= 32) {
            if (outCap - outFill < 4)
                flushOut();
            uint32_t word = static_cast<uint32_t>(bitBuf);
            std::memcpy(out + outFill, &word, 4); // little-endian host
            outFill += 4;
            bitBuf >>= 32;
            bitCount -= 32;
        }
    }

    void sendCode(int c, const TreeNode* tree) { sendBits(tree[c].code, tree[c].len); }

    void windup()
    {
        while (bitCount > 0) {
            putByte(static_cast<uint8_t>(bitBuf));
            bitBuf >>= 8;
            bitCount -= 8;
        }
        bitBuf = 0;
        bitCount = 0;
    }

    // ---- block bookkeeping ---------------------------------------------

    void initBlock()
    {
        for (int n = 0; n < kLCodes; ++n) dynLTree[n].freq = 0;
        for (int n = 0; n < kDCodes; ++n) dynDTree[n].freq = 0;
        for (int n = 0; n < kBLCodes; ++n) blTree[n].freq = 0;
        dynLTree[kEndBlock].freq = 1;
        optLen = staticLen = 0;
        lastLit = 0;
    }

    // Records one symbol; returns true when the block should be flushed.
    bool tally(unsigned dist, unsigned lc)
    {
        dBuf[lastLit] = static_cast<uint16_t>(dist);
        lcBuf[lastLit++] = static_cast<uint8_t>(lc);
        if (dist == 0) {
            dynLTree[lc].freq++;
        } else {
            dist--;
            if (dist >= static_cast<unsigned>(kMaxDist) || lc > kMaxMatch - kMinMatch)
                setError("ct_tally: bad match");
            dynLTree[st.lengthCode[lc] + kLiterals + 1].freq++;
            dynDTree[distanceCode(st, dist)].freq++;
        }
        return lastLit == kLitBufSize - 1;
    }

    // ---- Huffman trees -------------------------------------------------

    bool smaller(const TreeNode* tree, int n, int m) const
    {
        return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && depth[n] <= depth[m]);
    }

    void downHeap(const TreeNode* tree, int k)
    {
        int v = heap[k];
        int j = k << 1;
        while (j <= heapLen) {
            if (j < heapLen && smaller(tree, heap[j + 1], heap[j]))
                j++;
            if (smaller(tree, v, heap[j]))
                break;
            heap[k] = heap[j];
            k = j;
            j <<= 1;
        }
        heap[k] = v;
    }

    // Bit lengths from the built tree, limited to desc.maxLength; adds the
    // block's coded size to optLen and staticLen.
    void genBitLengths(TreeDesc& desc)
    {
        TreeNode* tree = desc.tree;
        const int maxCode = desc.maxCode;
        const TreeNode* stree = desc.staticTree;
        const int* extra = desc.extraBits;
        const int base = desc.extraBase;
        const int maxLength = desc.maxLength;
        int overflow = 0;

        for (int bits = 0; bits <= kMaxBits; ++bits) blCount[bits] = 0;
        tree[heap[heapMax]].len = 0; // root
        int h;
        for (h = heapMax + 1; h < kHeapSize; ++h) {
            int n = heap[h];
            int bits = tree[tree[n].dad].len + 1;
            if (bits > maxLength) {
                bits = maxLength;
                overflow++;
            }
            tree[n].len = static_cast<uint16_t>(bits);
            if (n > maxCode)
                continue; // inner node
            blCount[bits]++;
            int xbits = n >= base ? extra[n - base] : 0;
            uint64_t f = tree[n].freq;
            optLen += f * static_cast<unsigned>(bits + xbits);
            if (stree)
                staticLen += f * static_cast<unsigned>(stree[n].len + xbits);
        }
        if (overflow == 0)
            return;

        // Move codes from the limit up: each step takes a leaf from the
        // deepest non-full level, and it and an overflowed leaf go one deeper.
        do {
            int bits = maxLength - 1;
            while (blCount[bits] == 0) bits--;
            blCount[bits]--;
            blCount[bits + 1] += 2;
            blCount[maxLength]--;
            overflow -= 2;
        } while (overflow > 0);

        // Hand the lengths out again, longest first, to the leaves in order
        // of increasing frequency (the heap's order).
        h = kHeapSize;
        for (int bits = maxLength; bits != 0; --bits) {
            int n = blCount[bits];
            while (n != 0) {
                int m = heap[--h];
                if (m > maxCode)
                    continue;
                if (tree[m].len != bits) {
                    optLen += (static_cast<int64_t>(bits) - tree[m].len) * static_cast<int64_t>(tree[m].freq);
                    tree[m].len = static_cast<uint16_t>(bits);
                }
                n--;
            }
        }
    }

    void buildTree(TreeDesc& desc)
    {
        TreeNode* tree = desc.tree;
        const TreeNode* stree = desc.staticTree;
        const int elems = desc.elems;
        int maxCode = -1;

        heapLen = 0;
        heapMax = kHeapSize;
        for (int n = 0; n < elems; ++n) {
            if (tree[n].freq != 0) {
                heap[++heapLen] = maxCode = n;
                depth[n] = 0;
            } else {
                tree[n].len = 0;
            }
        }
        // Every tree gets at least two codes, so that the inflater sees a
        // complete code even for a block with one distinct symbol.
        while (heapLen < 2) {
            int node = heap[++heapLen] = (maxCode < 2 ? ++maxCode : 0);
            tree[node].freq = 1;
            depth[node] = 0;
            optLen--;
            if (stree)
                staticLen -= stree[node].len;
        }
        desc.maxCode = maxCode;

        for (int n = heapLen / 2; n >= 1; --n) downHeap(tree, n);

        int node = elems;
        do {
            int n = heap[1];
            heap[1] = heap[heapLen--];
            downHeap(tree, 1);
            int m = heap[1];
            heap[--heapMax] = n;
            heap[--heapMax] = m;
            tree[node].freq = tree[n].freq + tree[m].freq;
            depth[node] = static_cast<uint8_t>(std::max(depth[n], depth[m]) + 1);
            tree[n].dad = tree[m].dad = static_cast<uint16_t>(node);
            heap[1] = node++;
            downHeap(tree, 1);
        } while (heapLen >= 2);
        heap[--heapMax] = heap[1];

        genBitLengths(desc);
        assignCodes(tree, maxCode, blCount);
    }

    // Walks the code lengths of a tree as RFC 1951 runs: for each run,
    // emit(length, count, previous length, minimum count for a repeat code).
    template <typename Emit>
    static void forEachRun(const TreeNode* tree, int maxCode, Emit&& emit)
    {
        int prevLen = -1;
        int nextLen = tree[0].len;
        int count = 0;
        int maxCount = 7;
        int minCount = 4;
        if (nextLen == 0)
            maxCount = 138, minCount = 3;
        for (int n = 0; n <= maxCode; ++n) {
            int curLen = nextLen;
            nextLen = n + 1 <= maxCode ? tree[n + 1].len : 0xffff;
            if (++count < maxCount && curLen == nextLen)
                continue;
            emit(curLen, count, prevLen, minCount);
            count = 0;
            prevLen = curLen;
            if (nextLen == 0)
                maxCount = 138, minCount = 3;
            else if (curLen == nextLen)
                maxCount = 6, minCount = 3;
            else
                maxCount = 7, minCount = 4;
        }
    }

    // Counts the code-length runs of a tree into the code-length tree.
    void scanTree(const TreeNode* tree, int maxCode)
    {
        forEachRun(tree, maxCode, [this](int curLen, int count, int prevLen, int minCount) {
            if (count < minCount)
                blTree[curLen].freq += count;
            else if (curLen != 0) {
                if (curLen != prevLen)
                    blTree[curLen].freq++;
                blTree[kRep3To6].freq++;
            } else if (count <= 10)
                blTree[kRepZ3To10].freq++;
            else
                blTree[kRepZ11To138].freq++;
        });
    }

    // Sends a tree's code lengths run-length coded with the code-length tree.
    void sendTree(const TreeNode* tree, int maxCode)
    {
        forEachRun(tree, maxCode, [this](int curLen, int count, int prevLen, int minCount) {
            if (count < minCount) {
                do sendCode(curLen, blTree);
                while (--count != 0);
            } else if (curLen != 0) {
                if (curLen != prevLen) {
                    sendCode(curLen, blTree);
                    count--;
                }
                if (count < 3 || count > 6)
                    setError(" 3_6?");
                sendCode(kRep3To6, blTree);
                sendBits(count - 3, 2);
            } else if (count <= 10) {
                sendCode(kRepZ3To10, blTree);
                sendBits(count - 3, 3);
            } else {
                sendCode(kRepZ11To138, blTree);
                sendBits(count - 11, 7);
            }
        });
    }

    // Builds the code-length tree; returns the index in kBLOrder of the last
    // code-length code to send (at least 3, so at least 4 are sent).
    int buildBLTree()
    {
        scanTree(dynLTree, lDesc.maxCode);
        scanTree(dynDTree, dDesc.maxCode);
        buildTree(blDesc);
        int maxIndex;
        for (maxIndex = kBLCodes - 1; maxIndex >= 3; --maxIndex)
            if (blTree[kBLOrder[maxIndex]].len != 0)
                break;
        optLen += 3 * (static_cast<uint64_t>(maxIndex) + 1) + 5 + 5 + 4;
        return maxIndex;
    }

    void sendAllTrees(int lcodes, int dcodes, int blcodes)
    {
        if (lcodes < 257 || dcodes < 1 || blcodes < 4)
            setError("not enough codes");
        if (lcodes > kLCodes || dcodes > kDCodes || blcodes > kBLCodes)
            setError("too many codes");
        sendBits(lcodes - 257, 5);
        sendBits(dcodes - 1, 5);
        sendBits(blcodes - 4, 4);
        for (int rank = 0; rank < blcodes; ++rank) sendBits(blTree[kBLOrder[rank]].len, 3);
        sendTree(dynLTree, lcodes - 1);
        sendTree(dynDTree, dcodes - 1);
    }

    void compressBlock(const TreeNode* ltree, const TreeNode* dtree)
    {
        for (unsigned i = 0; i < lastLit && !failed; ++i) {
            unsigned dist = dBuf[i];
            unsigned lc = lcBuf[i];
            if (dist == 0) {
                sendCode(lc, ltree);
                continue;
            }
            int code = st.lengthCode[lc];
            sendCode(code + kLiterals + 1, ltree);
            int extra = kExtraLBits[code];
            if (extra != 0)
                sendBits(lc - st.baseLength[code], extra);
            dist--;
            code = distanceCode(st, dist);
            sendCode(code, dtree);
            extra = kExtraDBits[code];
            if (extra != 0)
                sendBits(dist - st.baseDist[code], extra);
        }
        sendCode(kEndBlock, ltree);
    }

    void storedBlocks(const uint8_t* buf, unsigned long storedLen, bool last)
    {
        // A stored block holds at most 65,535 bytes; longer ones are split.
        do {
            unsigned len = static_cast<unsigned>(std::min<unsigned long>(storedLen, 0xffff));
            storedLen -= len;
            const bool final = last && storedLen == 0;
            sendBits((kStoredBlock << 1) + (final ? 1 : 0), 3);
            windup();
            putByte(static_cast<uint8_t>(len));
            putByte(static_cast<uint8_t>(len >> 8));
            putByte(static_cast<uint8_t>(~len));
            putByte(static_cast<uint8_t>(~len >> 8));
            if (!flushOut())
                return;
            if (len != 0 && !flush(ctx, buf, len)) {
                failed = true;
                setError("flush failed");
                return;
            }
            totalOut += len;
            buf += len;
        } while (storedLen != 0);
    }

    void flushBlock(bool last)
    {
        const uint8_t* buf = blockStart >= 0 ? window + blockStart : nullptr;
        const unsigned long storedLen = static_cast<unsigned long>(static_cast<long>(strstart) - blockStart);

        buildTree(lDesc);
        buildTree(dDesc);
        const int maxBLIndex = buildBLTree();

        uint64_t optBytes = (optLen + 3 + 7) >> 3;
        const uint64_t staticBytes = (staticLen + 3 + 7) >> 3;
        if (staticBytes <= optBytes)
            optBytes = staticBytes;

        if (buf != nullptr && storedLen + 4 <= optBytes) {
            storedBlocks(buf, storedLen, last);
        } else if (staticBytes == optBytes) {
            sendBits((kStaticTrees << 1) + (last ? 1 : 0), 3);
            compressBlock(st.ltree, st.dtree);
        } else {
            sendBits((kDynTrees << 1) + (last ? 1 : 0), 3);
            sendAllTrees(lDesc.maxCode + 1, dDesc.maxCode + 1, maxBLIndex + 1);
            compressBlock(dynLTree, dynDTree);
        }
        initBlock();
        if (last)
            windup();
        blockStart = strstart;
    }

    // ---- matching ------------------------------------------------------

    void fillWindow()
    {
        do {
            unsigned more = kWindowSize - lookahead - strstart;
            if (strstart >= static_cast<unsigned>(kWSize + kMaxDist)) {
                std::memcpy(window, window + kWSize, kWSize);
                matchStart -= kWSize;
                strstart -= kWSize;
                blockStart -= kWSize;
                for (int n = 0; n < kHashSize; ++n) {
                    unsigned m = head[n];
                    head[n] = static_cast<uint16_t>(m >= static_cast<unsigned>(kWSize) ? m - kWSize : 0);
                }
                for (int n = 0; n < kWSize; ++n) {
                    unsigned m = prev[n];
                    prev[n] = static_cast<uint16_t>(m >= static_cast<unsigned>(kWSize) ? m - kWSize : 0);
                }
                more += kWSize;
            }
            if (more == 0) {
                setError("insufficient lookahead");
                eofile = true;
                return;
            }
            size_t n = read(ctx, window + strstart + lookahead, more);
            if (n == 0 || n > more)
                eofile = true;
            else
                lookahead += static_cast<unsigned>(n);
        } while (lookahead < static_cast<unsigned>(kMinLookahead) && !eofile);
    }

    unsigned insertString(unsigned pos)
    {
        insH = ((insH << kHashShift) ^ window[pos + kMinMatch - 1]) & kHashMask;
        unsigned h = head[insH];
        prev[pos & kWMask] = static_cast<uint16_t>(h);
        head[insH] = static_cast<uint16_t>(pos);
        return h;
    }

    // Longest match at strstart along the hash chain from curMatch, with
    // level 8's limits: at most kMaxChain candidates (a quarter after a match
    // of kGoodLength), none more than kMaxDist back, and a match of the nice
    // length ends the walk.
    unsigned longestMatch(unsigned curMatch)
    {
        unsigned chainLength = kMaxChain;
        if (prevLength >= static_cast<unsigned>(kGoodLength))
            chainLength >>= 2;
        if (niceMatch > lookahead)
            niceMatch = lookahead;
        unsigned bestLen = prevLength;
        const uint8_t* scan = window + strstart;
        const unsigned limit = strstart > static_cast<unsigned>(kMaxDist) ? strstart - kMaxDist : 0u;
        const unsigned nice = niceMatch;
        // A candidate can only beat bestLen if its bytes 0..bestLen all agree
        // with ours, so the word that ends at bestLen is a cheap, exact
        // filter (a wider form of the usual check of the last two bytes); it
        // is 8 bytes wide once bestLen allows. The result is that of a byte
        // by byte comparison of every candidate.
        unsigned endOff = 0;
        uint64_t endWord = 0;
        bool wide = false;
        auto setEnd = [&] {
            wide = bestLen >= 7;
            endOff = wide ? bestLen - 7 : bestLen - 1;
            endWord = wide ? load64(scan + endOff) : load16(scan + endOff);
        };
        setEnd();

        do {
            const uint8_t* match = window + curMatch;
            if (wide ? load64(match + endOff) != endWord : load16(match + endOff) != endWord)
                continue;
            unsigned len = 0;
            for (;;) {
                uint64_t diff = load64(scan + len) ^ load64(match + len);
                if (diff != 0) {
                    len += static_cast<unsigned>(__builtin_ctzll(diff)) >> 3;
                    break;
                }
                len += 8;
                if (len >= static_cast<unsigned>(kMaxMatch))
                    break;
            }
            if (len > static_cast<unsigned>(kMaxMatch))
                len = kMaxMatch;
            if (len > bestLen) {
                matchStart = curMatch;
                bestLen = len;
                if (len >= nice)
                    break;
                setEnd();
            }
        } while ((curMatch = prev[curMatch & kWMask]) > limit && --chainLength != 0);
        return bestLen;
    }

    void start(ReadFn r, FlushFn f, void* c, uint8_t* o, size_t cap)
    {
        read = r;
        flush = f;
        ctx = c;
        out = o;
        outCap = cap;
        outFill = 0;
        totalOut = 0;
        bitBuf = 0;
        bitCount = 0;
        error = "";
        failed = false;
        initBlock();

        std::memset(head, 0, sizeof head);
        strstart = 0;
        blockStart = 0;
        matchStart = 0;
        niceMatch = kNiceLength;
        prevLength = matchLength = kMinMatch - 1;
        matchAvailable = false;
        eofile = false;
        lookahead = 0;

        size_t n = read(ctx, window, kWindowSize);
        if (n == 0 || n > static_cast<size_t>(kWindowSize)) {
            eofile = true;
            return;
        }
        lookahead = static_cast<unsigned>(n);
        while (lookahead < static_cast<unsigned>(kMinLookahead) && !eofile) fillWindow();
        insH = ((static_cast<unsigned>(window[0]) << kHashShift) ^ window[1]) & kHashMask;
    }

    void run()
    {
        while (lookahead != 0 && !failed) {
            unsigned hashHead = 0;
            if (lookahead >= static_cast<unsigned>(kMinMatch))
                hashHead = insertString(strstart);

            prevLength = matchLength;
            prevMatch = matchStart;
            matchLength = kMinMatch - 1;

            if (hashHead != 0 && prevLength < static_cast<unsigned>(kMaxLazy)
                && strstart - hashHead <= static_cast<unsigned>(kMaxDist)) {
                matchLength = longestMatch(hashHead);
                if (matchLength > lookahead)
                    matchLength = lookahead;
                if (matchLength == static_cast<unsigned>(kMinMatch) && strstart - matchStart > static_cast<unsigned>(kTooFar))
                    matchLength--;
            }

            if (prevLength >= static_cast<unsigned>(kMinMatch) && matchLength <= prevLength) {
                const unsigned maxInsert = strstart + lookahead - kMinMatch;
                const bool full = tally(strstart - 1 - prevMatch, prevLength - kMinMatch);
                lookahead -= prevLength - 1;
                prevLength -= 2;
                do {
                    if (++strstart <= maxInsert)
                        insertString(strstart);
                } while (--prevLength != 0);
                matchAvailable = false;
                matchLength = kMinMatch - 1;
                strstart++;
                if (full)
                    flushBlock(false);
            } else if (matchAvailable) {
                if (tally(0, window[strstart - 1]))
                    flushBlock(false);
                strstart++;
                lookahead--;
            } else {
                matchAvailable = true;
                strstart++;
                lookahead--;
            }
            while (lookahead < static_cast<unsigned>(kMinLookahead) && !eofile) fillWindow();
        }
        if (failed)
            return;
        if (matchAvailable)
            tally(0, window[strstart - 1]);
        flushBlock(true);
        flushOut();
    }
};

DeflateCompressor::DeflateCompressor() : m_state(new State) {}

DeflateCompressor::~DeflateCompressor() = default;

bool DeflateCompressor::Compress(ReadFn read, FlushFn flush, void* ctx, uint8_t* outBuf, size_t outCap,
                                 uint64_t* compressedSize)
{
    State& s = *m_state;
    if (!read || !flush || !outBuf || outCap < 64) {
        s.error = "bad pack level";
        return false;
    }
    s.start(read, flush, ctx, outBuf, outCap);
    s.run();
    if (compressedSize)
        *compressedSize = s.totalOut;
    return !s.failed && *s.error == '\0';
}

const char* DeflateCompressor::ErrorText() const
{
    return m_state->error;
}

namespace {
struct MemoryIo {
    const uint8_t* data;
    size_t size;
    size_t pos;
    std::vector<uint8_t>* out;
};

size_t memoryRead(void* ctx, uint8_t* buf, size_t size)
{
    auto* io = static_cast<MemoryIo*>(ctx);
    size_t n = std::min(size, io->size - io->pos);
    if (n)
        std::memcpy(buf, io->data + io->pos, n);
    io->pos += n;
    return n;
}

bool memoryFlush(void* ctx, const uint8_t* data, size_t size)
{
    auto* io = static_cast<MemoryIo*>(ctx);
    io->out->insert(io->out->end(), data, data + size);
    return true;
}
} // namespace

bool DeflateCompressor::CompressBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    MemoryIo io{data, size, 0, &out};
    uint8_t buf[16384];
    uint64_t written = 0;
    return Compress(memoryRead, memoryFlush, &io, buf, sizeof buf, &written);
}
