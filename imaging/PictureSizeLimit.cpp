#include "imaging/PictureSizeLimit.h"

#include "export/xlsx/ImageSizeReaders.h"
#include "panels/camera/PanelParts.h"

#include <QFile>
#include <QImageReader>

#include <cstdio>
#include <unistd.h>

QSize PictureSizeLimit::headerSize(const QString& path) {
    // The workbook's readers know their formats by the first bytes, whatever
    // the file is called.
    if (std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "rb")) {
        for (SimpleXlsx::ImageSizeReader reader :
             {static_cast<SimpleXlsx::ImageSizeReader>(SimpleXlsx::ReadJpegSize),
              static_cast<SimpleXlsx::ImageSizeReader>(SimpleXlsx::ReadPngSize),
              static_cast<SimpleXlsx::ImageSizeReader>(SimpleXlsx::ReadGifSize),
              static_cast<SimpleXlsx::ImageSizeReader>(SimpleXlsx::ReadTiffSize)}) {
            uint32_t w = 0, h = 0;
            if (reader(f, w, h)) {
                std::fclose(f);
                return QSize(int(w), int(h));
            }
        }
        std::fclose(f);
    }
    // BMP, progressive JPEG and sizes beyond the workbook's 16-bit bound: Qt's
    // readers report the header's size without decoding, as the start-up
    // pictures are checked.
    return QImageReader(path).size();
}

bool PictureSizeLimit::fits(QSize size, qint64 memoryBytes) {
    const qint64 pixels = qint64(size.width()) * qint64(size.height());
    if (pixels > kMaxPixels)
        return false;
    return memoryBytes <= 0 || pixels * kBytesPerPixel <= memoryBytes / 4;
}

qint64 PictureSizeLimit::machineMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
}

bool PictureSizeLimit::mayDecode(const QString& path) {
    const QSize size = headerSize(path);
    return !size.isValid() || fits(size, machineMemory());
}

QString PictureSizeLimit::refusalText(int language, const QString& path, QSize size) {
    const QString w = QString::number(size.width()), h = QString::number(size.height());
    switch (language) {
    case 1:
        return QString("The picture is too large to open (%1 x %2 pixels):\n%3").arg(w, h, path);
    case 2:
        return QString("圖片太大，無法打開（%1 x %2 像素）：\n%3").arg(w, h, path);
    default:
        return QString("图片太大，无法打开（%1 x %2 像素）：\n%3").arg(w, h, path);
    }
}

bool PictureSizeLimit::allowOpen(const QString& path) {
    const QSize size = headerSize(path);
    if (!size.isValid() || fits(size, machineMemory()))
        return true;
    qWarning("Picture %s (%d x %d) refused: too large to hold", qPrintable(path), size.width(),
             size.height());
    PanelParts::showError(
        {refusalText(0, path, size), refusalText(1, path, size), refusalText(2, path, size)});
    return false;
}
