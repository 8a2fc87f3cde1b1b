#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QImage;
class QSettings;

// The one way a file holding the user's work (a picture, a template, the
// template list, stored lines, scales, parameter sets, a report) is written:
// the content goes to a temporary file beside the target, every byte of it
// checked, is synced to disk, and only then takes the target's name. Until
// then an older file there stays as it was; on any failure the temporary file
// is removed and the caller gets the reason for the user (WriteProblem), so
// that nothing claims a save that did not happen. Buffered Qt writers (a
// QSaveFile, QSettings) commit files whose last flush failed on a full disk;
// this writes unbuffered and checks each step itself.
//
// One object is one write, used from one thread; the static helpers suit
// any thread.
class FileCommit {
public:
    // path may name an existing file (replaced, keeping its permissions) or
    // a new one (permissions as the user's umask gives). A symbolic link is
    // followed: the file it names is replaced.
    explicit FileCommit(const QString& path);
    // Removes the temporary file when commit was not reached or failed.
    ~FileCommit();
    FileCommit(const FileCommit&) = delete;
    FileCommit& operator=(const FileCommit&) = delete;

    // Appends data; false once any write has failed (later calls do nothing).
    bool write(const QByteArray& data);
    // Syncs and puts the content in place of the target. Empty when done,
    // else the reason in the language (0 simplified Chinese, 1 English,
    // 2 traditional Chinese); the target is then untouched.
    QString commit(int language);

    // Writes data as the whole content of path (empty: done; else the reason).
    static QString writeBytes(const QString& path, const QByteArray& data, int language);
    // Encodes image in memory with Qt's writer for format ("jpg", "png",
    // "bmp", "tiff") at quality 0..100 (-1: the format's default), then
    // writes it as writeBytes does. A null picture is refused.
    static QString writeImage(const QString& path, const QImage& image, const char* format, int quality, int language);
    // Changes the INI file at path as edit does to a QSettings on it, keeping
    // Qt's INI format byte for byte: the edit runs on a copy beside path,
    // which replaces path only once it reads back with every value the edit
    // left. edit may read as well as write. A missing folder is made, as
    // QSettings makes it.
    static QString editSettings(const QString& path, const std::function<void(QSettings&)>& edit, int language);

private:
    bool open();
    void discard();

    QString m_target;    // the file replaced (a link's target resolved)
    QByteArray m_temp;   // the temporary file's name, encoded
    int m_fd = -1;
    int m_error = 0;     // errno of the first failure
    bool m_failed = false;
    qint64 m_size = 0;
};
