#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <sys/types.h>

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
    // path may name an existing regular file (replaced, keeping its
    // permissions, ACL and owner; refused when the user may not write it or
    // they cannot be kept) or a new one (permissions as the folder's default
    // ACL or else the user's umask gives); a folder, pipe or device there is
    // refused at once. Symbolic
    // links are followed to the end: the file the last one names is
    // replaced; another user's link in a shared sticky folder is not
    // followed, and the write is refused (FileRules::finalTarget). expectedSize, when known, is what the whole file needs on
    // disk, so that a refusal can tell a full disk.
    explicit FileCommit(const QString& path, qint64 expectedSize = 0);
    // What a write does where something has the name: replaces it (as
    // above), or, for a new file (a snapshot, a time-lapse picture), takes
    // the name only where nothing is there. The finished content is given
    // the name by a file made there with O_CREAT|O_EXCL|O_NOFOLLOW: a name
    // taken meanwhile (a file, another user's link, dangling or not) is
    // neither replaced nor followed, and the file moves on to the next free
    // name (makeUniqueFileName), which target() then gives.
    enum class AtName { Replace, MoveOn };
    FileCommit(const QString& path, qint64 expectedSize, AtName atName);
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

    // The file written (or to be written): links followed for a replacing
    // write; for a new one, the name it took.
    QString target() const { return m_target; }

    // Writes data as the whole content of path (empty: done; else the reason).
    static QString writeBytes(const QString& path, const QByteArray& data, int language);
    // The same, as a new file: *path gets the name it took (AtName::MoveOn).
    static QString writeNewBytes(QString* path, const QByteArray& data, int language);
    // Encodes image in memory with Qt's writer for format ("jpg", "png",
    // "bmp", "tiff") at quality 0..100 (-1: the format's default), then
    // writes it as writeBytes does. A null picture is refused.
    static QString writeImage(const QString& path, const QImage& image, const char* format, int quality, int language);
    // The same, as a new file (writeNewBytes).
    static QString writeNewImage(QString* path, const QImage& image, const char* format, int quality,
                                 int language);
    // The same, encoding straight into the file as the writer goes, a few
    // lines at a time: for a picture whose encoded form may not fit in the
    // memory left beside it (a whole mosaic). Any bytes per line.
    static QString streamImage(const QString& path, const QImage& image, const char* format, int quality,
                               int language);
    // Changes the INI file at path as edit does to a QSettings on it, keeping
    // Qt's INI format byte for byte: the edit runs on a copy beside path,
    // which replaces path only once it reads back with every value the edit
    // left. edit may read as well as write. A missing folder is made, as
    // QSettings makes it.
    // A file that QSettings cannot fully parse (a stray line, a cut or
    // binary tail, a byte-order mark) is rewritten whole with the keys it
    // could read; the unreadable lines are dropped.
    static QString editSettings(const QString& path, const std::function<void(QSettings&)>& edit, int language);

    // The file path names once every symbolic link on the way is followed
    // (absolute; path itself when it is no link); *refused as
    // FileRules::finalTarget gives it.
    static QString finalTarget(const QString& path, int* refused = nullptr);
    // The temporary files a write leaves while under way carry the id of
    // their program: a short hidden name ".~<pid>=XXXXXX" (or "-XXXXXX" where
    // the file system cannot hold it from its making) in the target's
    // folder, held by the write. This removes those no live write can own
    // (a killed write's) from folder: this user's, no longer held, of a
    // program that has ended or of this one's id but not one of its writes
    // under way; where the lock cannot tell (FileRules), only those untouched
    // for minutes (a write of a program in another pid namespace or on
    // another computer sharing the folder, whose id says nothing here).
    // Every write into a folder sweeps it first.
    static void sweepLeftovers(const QString& folder);

private:
    bool open();
    void discard();
    int takeFreeName();

    QString m_target;    // the file replaced (links followed to the end), or the new file's name
    QByteArray m_temp;   // the temporary file's name, encoded
    int m_fd = -1;
    int m_error = 0;     // errno of the first failure
    int m_refused = 0;   // why the links at the name were not followed
    bool m_failed = false;
    bool m_moveOn = false;  // a new file: a taken name is left as it is
    bool m_claimed = false; // the file that holds a new file's name was made
    dev_t m_claimDevice = 0;
    ino_t m_claimInode = 0;
    qint64 m_size = 0;
    qint64 m_expected = 0;
};
