#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <vector>

// A few picture buffers of one size, written again once no picture made of
// them is held any more: a steady stream of pictures maps nothing new and
// faults no page in, whatever the C library's thresholds would make of a
// block of megabytes (a mapping of its own each time, or heap pages given
// back at a trim).
// Thread: one user at a time; the pictures handed out may be held and let go
// on any thread (the holder count is read with acquire ordering, so the
// holder's reads are over before the buffer is written again).
class PicturePool {
public:
    // keep: how many buffers it keeps (at least one).
    explicit PicturePool(int keep) : m_keep(keep < 1 ? 1 : keep) {}

    // A picture of `size` in `format` (its contents undefined) over a kept
    // buffer nobody holds, else over a new one, kept in place of the oldest
    // still held when the pool is full (that one is freed by its last
    // holder). A picture of another byte size first lets go of the kept ones.
    QImage picture(QSize size, QImage::Format format);
    // Lets go of the kept buffers (each is freed once no picture holds it).
    void release() { std::vector<QByteArray>().swap(m_kept); }

private:
    int m_keep;
    size_t m_next = 0; // the kept buffer a full pool replaces next
    std::vector<QByteArray> m_kept;
};
