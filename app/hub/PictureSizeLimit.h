#pragma once

#include <QImage>
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
    // A thumbnail of the recent strip is a picture scaled down (296 rows
    // high as the program makes it): one larger than the largest picture a
    // snapshot makes (7680 x 4320) is none.
    static constexpr qint64 kMaxThumbnailPixels = qint64(7680) * 4320;

    // The size of the picture that loading the file would decode, read
    // without decoding: the decoder is chosen as QImage::load chooses it, and
    // its header is read as that decoder reads it (the first image of an
    // icon file, a PNG inside at the PNG's own size). Invalid when nothing
    // can decode the file, or the format may decode to another size than it
    // states (other containers, drawings), or the name is no regular file
    // (a FIFO is never waited on). Any thread.
    static QSize headerSize(const QString& path);
    // The thumbnail at path, decoded only when its header fits a thumbnail
    // (kMaxThumbnailPixels) and this machine; null otherwise,
    // with a warning for a refused one. Any thread.
    static QImage readThumbnail(const QString& path);
    // Whether a picture of `size` fits a machine of `memoryBytes` (0 or less:
    // unknown, only the pixel bound applies).
    static bool fits(QSize size, qint64 memoryBytes);
    // The machine's physical memory in bytes; 0 when unknown.
    static qint64 machineMemory();
    // True when the file's decoded size is known and fits this machine:
    // what cannot be sized is not decoded. Any thread.
    static bool mayDecode(const QString& path);
    // mayDecode; when false, the program's "Error" box says why (too large,
    // not an ordinary file, or not a picture that can be read). GUI thread.
    static bool allowOpen(const QString& path);
    // allowOpen's checks and then the picture, decoded from the file they
    // looked at (one open file, not the name again: a FIFO put at the name
    // after the look cannot hold the interface). Null when refused or not
    // decodable, the "Error" box then shown. GUI thread.
    static QImage openPicture(const QString& path);
    // The "Error" box for a file that does not decode. GUI thread.
    static void showUnreadable(const QString& path);
    // Its text for a language index.
    static QString unreadableText(int language, const QString& path);
    // The box's text for a language index (0 simplified Chinese, 1 English,
    // 2 traditional Chinese).
    static QString refusalText(int language, const QString& path, QSize size);
};
