#pragma once

#include <QString>

// A small tmpfs mounted on a folder for the life of the object: a second
// filesystem (another disk, as far as a rename can tell), a full disk or a
// read-only one. Mounting needs privileges; where it is not allowed ok() is
// false and error() says why, so that the test can skip with that message.
class TmpfsMount {
public:
    // folder is created when missing; options as for mount(8) ("size=64k",
    // "ro,size=1m").
    TmpfsMount(const QString& folder, const QString& options = QString());
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool ok() const { return m_mounted; }
    QString error() const { return m_error; }
    QString path() const { return m_folder; }
    // Writes one file into the mount until the disk is full.
    bool fill(const QString& name);
    // Fills the disk with the file name, then gives back pages 4 KiB pages
    // of it: exactly that much room is left for the next write.
    bool leaveFree(const QString& name, int pages);

private:
    QString m_folder;
    QString m_error;
    bool m_mounted = false;
};
