#pragma once

#include <QSize>
#include <QString>

// The pictures the program can hold. A picture's size is read from its
// file's header before anything decodes it: a header may claim 65500 x 65500
// pixels in a 3 KB file, and decoding that would exhaust the machine. A
// picture of more than 400 megapixels, or one whose decoded copy (4 bytes a
// pixel, as the still view and the overlay hold it) would take more than a
// quarter of the machine's memory, is refused.
class PictureSizeLimit {
public:
    static constexpr qint64 kMaxPixels = 400000000;
    static constexpr int kBytesPerPixel = 4;

    // The size the file's header states, read without decoding (the
    // workbook's JPEG, PNG, GIF and TIFF readers, then Qt's readers for the
    // rest); invalid when no header can be read. Any thread.
    static QSize headerSize(const QString& path);
    // Whether a picture of `size` fits a machine of `memoryBytes` (0 or less:
    // unknown, only the pixel bound applies).
    static bool fits(QSize size, qint64 memoryBytes);
    // The machine's physical memory in bytes; 0 when unknown.
    static qint64 machineMemory();
    // True unless the header states a size beyond what this machine can
    // hold. A file without a readable header may be decoded: the decoder
    // refuses it on its own. Any thread.
    static bool mayDecode(const QString& path);
    // mayDecode; when false, the program's "Error" box says why. GUI thread.
    static bool allowOpen(const QString& path);
    // The box's text for a language index (0 simplified Chinese, 1 English,
    // 2 traditional Chinese).
    static QString refusalText(int language, const QString& path, QSize size);
};
