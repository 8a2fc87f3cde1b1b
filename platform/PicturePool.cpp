#include "platform/PicturePool.h"

#include "platform/CaptureDevice.h"

QImage PicturePool::picture(QSize size, QImage::Format format) {
    const int bytesPerLine = ((size.width() * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32) * 4;
    const int bytes = bytesPerLine * size.height();
    if (!m_kept.empty() && m_kept.front().size() != bytes)
        release();
    QByteArray* free = nullptr;
    for (QByteArray& b : m_kept)
        if (isSoleHolder(b)) {
            free = &b;
            break;
        }
    if (!free) {
        if (int(m_kept.size()) < m_keep) {
            m_kept.emplace_back(bytes, Qt::Uninitialized);
            free = &m_kept.back();
        } else {
            m_next %= m_kept.size();
            free = &m_kept[m_next++];
            *free = QByteArray(bytes, Qt::Uninitialized);
        }
    }
    // The bits are taken while the pool is their only holder (no copy); the
    // picture then holds the buffer until it is let go.
    auto* bits = reinterpret_cast<uchar*>(free->data());
    return QImage(
        bits, size.width(), size.height(), bytesPerLine, format,
        [](void* held) { delete static_cast<QByteArray*>(held); }, new QByteArray(*free));
}
