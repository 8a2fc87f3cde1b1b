#pragma once

#include <cstdint>

// Packs files that lie on disk into one new zip archive (no ZIP64, no
// spanning, no encryption). A small C-style interface: an opaque handle and
// integer result codes. Entries are deflated with DeflateCompressor, or stored
// when the name ends in an already-compressed extension (".gz", ".zip", ...).
// Single-threaded: one thread uses a handle at a time.
//
// Calling order: ZipOpenArchive, any number of ZipAddFile, ZipCloseArchive.
// Close always leaves a complete archive of the entries added so far.

struct ZipArchive;

using ZipResult = uint32_t;

constexpr ZipResult kZipOk = 0;
// The source cannot be opened, its information or its data cannot be read.
constexpr ZipResult kZipSourceError = 0x00000200;
// A header, the entry data, the central directory or the end record was not
// written in full, or the compressor reported an internal error.
constexpr ZipResult kZipWriteError = 0x00000400;
// The entry would break a limit of the format: a name of 260 bytes or more,
// more than 65,535 entries, or a size or offset of 4 GiB or more.
constexpr ZipResult kZipLimitError = 0x00000800;
// Null handle, empty archive name, null source path, or an archive name that
// is absolute, starts with a drive prefix ("C:"), holds a ".." step or ends
// in "/".
constexpr ZipResult kZipBadArgument = 0x00010000;

// Creates (or truncates) the archive file at path (UTF-8). Null on failure.
ZipArchive* ZipOpenArchive(const char* path);

// Adds the file at sourcePath under archiveName (backslashes become slashes).
// A failed add leaves no trace in the archive: the bytes written for it are
// cut off again, and the archive stays usable for further adds.
ZipResult ZipAddFile(ZipArchive* archive, const char* archiveName, const char* sourcePath);

// Writes the central directory and the end record, closes the file and frees
// the handle (invalid afterwards). kZipBadArgument for a null handle.
ZipResult ZipCloseArchive(ZipArchive* archive);

// Lowers the 4 GiB limit on sizes and offsets, so that tests can reach it
// with small files. Not for use by the program.
void ZipSetSizeLimitForTesting(ZipArchive* archive, uint64_t limit);
