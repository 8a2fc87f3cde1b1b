#include "export/forms/ExportFiles.h"

#include "platform/filerules/FileRules.h"
#include "platform/FileCommit.h"
#include "platform/WriteProblem.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ExportFiles {

namespace {

QString copyThenReplace(const QString& from, const QString& to, int language) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return WriteProblem::pick(language, "无法读取报告：", "The report could not be read: ", "無法讀取報告：") + from;
    FileCommit out(to, in.size());
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty())
        if (!out.write(chunk))
            break;
    if (in.error() != QFileDevice::NoError)
        return WriteProblem::pick(language, "无法读取报告：", "The report could not be read: ", "無法讀取報告：") + from;
    return out.commit(language);
}

// What a file's protection is made of: its mode, owner and access list (the
// list as the system stores it; empty when it has none beyond the mode).
struct Protection {
    struct stat st {};
    QByteArray acl;
    bool aclKnown = false; // the file system answered about its list
};

constexpr const char* kAccessList = "system.posix_acl_access";

bool readProtection(int fd, Protection* p) {
    if (::fstat(fd, &p->st) != 0)
        return false;
    const ssize_t size = ::fgetxattr(fd, kAccessList, nullptr, 0);
    if (size < 0) {
        p->aclKnown = errno == ENODATA;
        return true;
    }
    p->acl.resize(int(size));
    const ssize_t read = ::fgetxattr(fd, kAccessList, p->acl.data(), size_t(size));
    p->aclKnown = read == size;
    if (!p->aclKnown)
        p->acl.clear();
    return true;
}

// Puts back what readProtection read: owner first (a change of owner clears
// the set-id bits), then the list, then the mode, which with a list in place
// sets its mask as it was.
void restoreProtection(int fd, const Protection& p) {
    struct stat now {};
    if (::fstat(fd, &now) == 0 && (now.st_uid != p.st.st_uid || now.st_gid != p.st.st_gid))
        (void)::fchown(fd, p.st.st_uid, p.st.st_gid);
    if (p.aclKnown) {
        if (p.acl.isEmpty())
            (void)::fremovexattr(fd, kAccessList);
        else
            (void)::fsetxattr(fd, kAccessList, p.acl.constData(), size_t(p.acl.size()), 0);
    }
    (void)::fchmod(fd, p.st.st_mode & 07777);
}

// Why a rename of a file on the disk whose id is device onto target would be
// refused, found before the report is touched: a folder or other non-file
// at the name, a folder the user may not change, a file the user may not
// write. EXDEV when target lies on another disk. 0 when nothing tells.
int refusalBeforehand(const QString& target, dev_t device) {
    const QByteArray name = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    struct stat st {};
    if (::stat(folder.constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_dev != device)
        return EXDEV;
    if (::euidaccess(folder.constData(), W_OK | X_OK) != 0)
        return errno;
    if (::lstat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (!S_ISREG(st.st_mode))
            return EINVAL;
    }
    if (!FileRules::mayReplace(name.toStdString()))
        return EACCES;
    return 0;
}

// Within one filesystem the report itself takes the target's place: first it
// gets what the replaced file keeps (its permissions and owner), as every
// replacing writer gives it, then the rename. 0 when done, else errno; the
// report then has its own protection back, exactly as it was.
int renameKeepingProtection(const QString& from, const QString& target) {
    const int fd = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    Protection own;
    if (!readProtection(fd, &own)) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    const QByteArray name = QFile::encodeName(target);
    int error = refusalBeforehand(target, own.st.st_dev);
    if (error == 0)
        error = FileRules::adoptModeAndOwner(fd, name.toStdString());
    if (error == 0 && std::rename(QFile::encodeName(from).constData(), name.constData()) != 0)
        error = errno;
    if (error != 0)
        restoreProtection(fd, own);
    ::close(fd);
    return error;
}

} // namespace

bool moveReplacing(const QString& from, const QString& to, int language, QString* why) {
    // A link at to (or a chain of them) stays: the file it ends at is replaced.
    int refused = 0;
    const QString target = FileCommit::finalTarget(to, &refused);
    // rename(2) replaces an existing target in one step.
    const bool isNew = !QFileInfo(target).isSymLink() && !QFileInfo::exists(target);
    const int renameError = refused ? refused : renameKeepingProtection(from, target);
    if (renameError == 0)
        return true;
    // A new file the user may not give the folder's group (a set-group-id
    // folder of a group the user is not in) is made in that folder, as
    // any new file there.
    const bool copy = renameError == EXDEV || (renameError == EPERM && isNew);
    const QString failure = copy ? copyThenReplace(from, target, language)
                                 : WriteProblem::explain(target, renameError, language, QFileInfo(from).size());
    if (failure.isEmpty()) {
        QFile::remove(from); // the copy is whole under its name: the temporary workbook goes
        return true;
    }
    if (why)
        *why = failure;
    return false;
}

} // namespace ExportFiles
