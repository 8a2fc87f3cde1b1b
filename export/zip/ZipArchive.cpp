#include "export/zip/ZipArchive.h"

#include "export/zip/Crc32.h"
#include "export/zip/DeflateCompressor.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint16_t kVersionMadeBy = 0x0B17;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagMaxCompression = 0x0002;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kLocalExtraSize = 17;
constexpr size_t kCentralExtraSize = 9;
constexpr size_t kMaxNameLength = 259;
constexpr size_t kMaxEntries = 65535;
constexpr size_t kBufferSize = 16384;

struct ZipEntry {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosDateTime = 0; // time in the low half, date in the high half
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
    uint32_t mtime = 0;
    uint32_t atime = 0;
    uint32_t ctime = 0;
    std::string name;
};

void put16(std::vector<uint8_t>& b, unsigned v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// The fields that the local and the central header share, from the flags
// to the name length and the extra field length.
void putEntryFields(std::vector<uint8_t>& b, const ZipEntry& e, size_t extraLength)
{
    put16(b, e.flags);
    put16(b, e.method);
    put32(b, e.dosDateTime);
    put32(b, e.crc);
    put32(b, e.compressedSize);
    put32(b, e.uncompressedSize);
    put16(b, static_cast<unsigned>(e.name.size()));
    put16(b, static_cast<unsigned>(extraLength));
}

std::vector<uint8_t> localHeader(const ZipEntry& e)
{
    std::vector<uint8_t> b;
    b.reserve(kLocalHeaderSize + e.name.size() + kLocalExtraSize);
    put32(b, 0x04034B50);
    put16(b, kVersionNeeded);
    putEntryFields(b, e, kLocalExtraSize);
    b.insert(b.end(), e.name.begin(), e.name.end());
    // Extended time stamp: modification, access and creation time.
    put16(b, 0x5455);
    put16(b, 13);
    b.push_back(7);
    put32(b, e.mtime);
    put32(b, e.atime);
    put32(b, e.ctime);
    return b;
}

void appendCentralHeader(std::vector<uint8_t>& b, const ZipEntry& e)
{
    put32(b, 0x02014B50);
    put16(b, kVersionMadeBy);
    put16(b, kVersionNeeded);
    putEntryFields(b, e, kCentralExtraSize);
    put16(b, 0); // comment length
    put16(b, 0); // disk number start
    put16(b, 0); // internal attributes
    put32(b, e.externalAttributes);
    put32(b, e.localHeaderOffset);
    b.insert(b.end(), e.name.begin(), e.name.end());
    put16(b, 0x5455);
    put16(b, 5);
    b.push_back(7);
    put32(b, e.mtime);
}

// A name an unpacker could turn into a path outside its folder, or into a
// folder: absolute, with a drive prefix ("C:", which Windows unpackers take
// as a drive), with a ".." step, or ending in "/".
bool unsafeName(const std::string& name)
{
    if (name.front() == '/' || name.back() == '/')
        return true;
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        return true;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Stored: names ending (case-sensitively) in an already-compressed format.
uint16_t methodForName(const std::string& name)
{
    static const char* const stored[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
    size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return kMethodDeflated;
    const char* ext = name.c_str() + dot;
    for (const char* s : stored)
        if (std::strcmp(ext, s) == 0)
            return kMethodStored;
    return kMethodDeflated;
}

// MS-DOS date and time of a Unix time, taken as UTC. Times before 1980 (which
// the format cannot hold) become 1980-01-01 00:00:00.
uint32_t dosDateTime(time_t t)
{
    struct tm tm {};
    if (!gmtime_r(&t, &tm) || tm.tm_year < 80)
        return (1u << 5 | 1u) << 16;
    if (tm.tm_year > 80 + 127)
        tm.tm_year = 80 + 127;
    uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return date << 16 | time;
}

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int m_fd;
};

} // namespace

struct ZipArchive {
    int fd = -1;
    uint64_t position = 0; // offset of the next byte written
    uint64_t sizeLimit = 0xFFFFFFFFu;
    uint64_t centralSize = 0; // central directory size of the listed entries
    std::vector<ZipEntry> entries;
    std::unique_ptr<DeflateCompressor> deflate;

    // The entry being added.
    int sourceFd = -1;
    uint64_t bytesRead = 0;
    uint32_t crc = 0;
    bool readFailed = false;
    bool limitHit = false;
    bool writeFailed = false;
    uint8_t buffer[kBufferSize];

    // Writes all of data at the current position.
    bool writeAll(const uint8_t* data, size_t size)
    {
        if (position + size > sizeLimit) {
            limitHit = true;
            return false;
        }
        while (size > 0) {
            ssize_t n = ::write(fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                writeFailed = true;
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
            position += static_cast<uint64_t>(n);
        }
        return true;
    }

    bool rewriteAt(uint64_t offset, const std::vector<uint8_t>& data)
    {
        size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    size_t readSource(uint8_t* buf, size_t size)
    {
        for (;;) {
            ssize_t n = ::read(sourceFd, buf, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                readFailed = true;
                return 0;
            }
            bytesRead += static_cast<uint64_t>(n);
            if (bytesRead > sizeLimit) {
                limitHit = true;
                return 0;
            }
            crc = Crc32Update(crc, buf, static_cast<size_t>(n));
            return static_cast<size_t>(n);
        }
    }

    static size_t readCallback(void* ctx, uint8_t* buf, size_t size)
    {
        return static_cast<ZipArchive*>(ctx)->readSource(buf, size);
    }

    static bool flushCallback(void* ctx, const uint8_t* data, size_t size)
    {
        return static_cast<ZipArchive*>(ctx)->writeAll(data, size);
    }

    // Cuts off whatever a failed entry wrote, so the archive stays usable.
    void rollBack(uint64_t offset)
    {
        if (::ftruncate(fd, static_cast<off_t>(offset)) == 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0) {
            position = offset;
            return;
        }
        off_t end = ::lseek(fd, 0, SEEK_CUR);
        if (end >= 0)
            position = static_cast<uint64_t>(end);
    }

    ZipResult failure()
    {
        if (limitHit)
            return kZipLimitError;
        if (readFailed)
            return kZipSourceError;
        return kZipWriteError;
    }

    ZipResult addEntry(const char* archiveName, const char* sourcePath)
    {
        if (!archiveName || !*archiveName || !sourcePath)
            return kZipBadArgument;
        ZipEntry e;
        e.name = archiveName;
        for (char& c : e.name)
            if (c == '\\')
                c = '/';
        if (unsafeName(e.name))
            return kZipBadArgument;
        if (e.name.size() > kMaxNameLength || entries.size() >= kMaxEntries)
            return kZipLimitError;
        e.method = methodForName(e.name);

        sourceFd = ::open(sourcePath, O_RDONLY | O_CLOEXEC);
        if (sourceFd < 0)
            return kZipSourceError;
        FdCloser closeSource(sourceFd);
        struct stat st {};
        if (::fstat(sourceFd, &st) != 0 || S_ISDIR(st.st_mode))
            return kZipSourceError;
        if (static_cast<uint64_t>(st.st_size) > sizeLimit)
            return kZipLimitError;

        const bool writable = (st.st_mode & S_IWUSR) != 0;
        e.externalAttributes = (0x8100u | (writable ? 0x0080u : 0u)) << 16 | (writable ? 0u : 0x01u);
        e.mtime = static_cast<uint32_t>(st.st_mtime);
        e.atime = static_cast<uint32_t>(st.st_atime);
        e.ctime = static_cast<uint32_t>(st.st_ctime);
        struct statx sx {};
        if (::statx(sourceFd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
            e.ctime = static_cast<uint32_t>(sx.stx_btime.tv_sec);
        e.dosDateTime = dosDateTime(st.st_mtime);

        bytesRead = 0;
        crc = 0;
        readFailed = limitHit = writeFailed = false;

        // Provisional local header: sizes and CRC follow once the data is in.
        const uint64_t offset = position;
        e.flags = kFlagDataDescriptor;
        e.compressedSize = e.method == kMethodStored ? static_cast<uint32_t>(st.st_size) : 0;
        e.uncompressedSize = static_cast<uint32_t>(st.st_size);
        e.localHeaderOffset = static_cast<uint32_t>(offset);
        const std::vector<uint8_t> provisional = localHeader(e);
        if (!writeAll(provisional.data(), provisional.size())) {
            rollBack(offset);
            return failure();
        }
        const uint64_t dataStart = position;

        if (e.method == kMethodStored) {
            for (;;) {
                size_t n = readSource(buffer, sizeof buffer);
                if (n == 0)
                    break;
                if (!writeAll(buffer, n))
                    break;
            }
            if (readFailed || limitHit || writeFailed) {
                rollBack(offset);
                return failure();
            }
        } else {
            if (!deflate)
                deflate.reset(new DeflateCompressor);
            uint64_t compressed = 0;
            bool ok = deflate->Compress(readCallback, flushCallback, this, buffer, sizeof buffer, &compressed);
            if (!ok || readFailed || limitHit || writeFailed || compressed != position - dataStart) {
                rollBack(offset);
                return failure();
            }
            e.flags |= kFlagMaxCompression;
        }

        e.crc = crc;
        e.compressedSize = static_cast<uint32_t>(position - dataStart);
        e.uncompressedSize = static_cast<uint32_t>(bytesRead);
        e.flags &= static_cast<uint16_t>(~kFlagDataDescriptor);

        // The central directory must still fit below the limit after this
        // entry, so that close can always write it with true offsets.
        const uint64_t central = kCentralHeaderSize + e.name.size() + kCentralExtraSize;
        if (position > sizeLimit || centralSize + central > sizeLimit) {
            limitHit = true;
            rollBack(offset);
            return kZipLimitError;
        }

        const std::vector<uint8_t> final = localHeader(e);
        if (final.size() != provisional.size() || !rewriteAt(offset, final)) {
            rollBack(offset);
            return kZipWriteError;
        }
        centralSize += central;
        entries.push_back(std::move(e));
        return kZipOk;
    }

    ZipResult finish()
    {
        const uint64_t start = position;
        const size_t count = entries.size();
        bool ok = true;
        std::vector<uint8_t> b;
        for (const ZipEntry& e : entries) {
            b.clear();
            appendCentralHeader(b, e);
            if (ok)
                ok = writeAll(b.data(), b.size());
            else
                position += b.size();
        }
        entries.clear();
        b.clear();
        const uint64_t size = position - start;
        put32(b, 0x06054B50);
        put16(b, 0);
        put16(b, 0);
        put16(b, static_cast<unsigned>(count & 0xffff));
        put16(b, static_cast<unsigned>(count & 0xffff));
        put32(b, static_cast<uint32_t>(size));
        put32(b, static_cast<uint32_t>(start));
        put16(b, 0);
        if (ok)
            ok = writeAll(b.data(), b.size());
        return ok ? kZipOk : kZipWriteError;
    }
};

ZipArchive* ZipOpenArchive(const char* path)
{
    if (!path || !*path)
        return nullptr;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    ZipArchive* archive = new ZipArchive;
    archive->fd = fd;
    return archive;
}

ZipResult ZipAddFile(ZipArchive* archive, const char* archiveName, const char* sourcePath)
{
    if (!archive)
        return kZipBadArgument;
    return archive->addEntry(archiveName, sourcePath);
}

ZipResult ZipCloseArchive(ZipArchive* archive)
{
    if (!archive)
        return kZipBadArgument;
    // Close may exceed a lowered test limit only by the end record, which no
    // field records; lift the limit so the directory is always written.
    archive->sizeLimit = UINT64_MAX;
    ZipResult result = archive->finish();
    if (::close(archive->fd) != 0 && result == kZipOk)
        result = kZipWriteError;
    delete archive;
    return result;
}

void ZipSetSizeLimitForTesting(ZipArchive* archive, uint64_t limit)
{
    if (archive)
        archive->sizeLimit = limit;
}
