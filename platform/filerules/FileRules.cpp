#include "platform/filerules/FileRules.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <sys/file.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// Seconds since the epoch at which process pid started; -1 when unknown.
double processStart(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    // The command name (field 2) may hold spaces and parentheses: the fields
    // after it start behind the last ')'. Start time is field 22.
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && rest >> field; ++i)
        if (i == 22) {
            std::ifstream system("/proc/stat");
            std::string key;
            long long boot = -1;
            while (system >> key)
                if (key == "btime") {
                    system >> boot;
                    break;
                }
            const long ticks = ::sysconf(_SC_CLK_TCK);
            if (boot < 0 || ticks <= 0)
                return -1;
            return double(boot) + std::stod(field) / double(ticks);
        }
    return -1;
}

// The access ACL as the kernel stores it (what getfacl shows beyond the
// mode); no library needed to copy it whole.
const char* const kAccessAcl = "system.posix_acl_access";
const char* const kDefaultAcl = "system.posix_acl_default";

// The value of the extended attribute key of path (or, with path null, of
// the file open as fd); empty when it has none. false when it cannot be read.
bool readAttribute(const char* path, int fd, const char* key, std::vector<char>* value) {
    value->clear();
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = path ? ::getxattr(path, key, nullptr, 0) : ::fgetxattr(fd, key, nullptr, 0);
        if (size < 0)
            return errno == ENODATA || errno == ENOTSUP;
        value->resize(size_t(size));
        const ssize_t got = path ? ::getxattr(path, key, value->data(), value->size())
                                 : ::fgetxattr(fd, key, value->data(), value->size());
        if (got >= 0) {
            value->resize(size_t(got));
            return true;
        }
        if (errno != ERANGE) // grown in between: ask again
            return errno == ENODATA || errno == ENOTSUP;
    }
    return false;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Six letters or digits, as mkstemp picks them.
std::string randomTail() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 pick{std::random_device{}() ^ unsigned(::getpid())};
    std::string tail;
    for (int i = 0; i < 6; ++i)
        tail += letters[pick() % (sizeof letters - 1)];
    return tail;
}

} // namespace

std::string FileRules::finalTarget(const std::string& path, int* refused) {
    if (refused)
        *refused = 0;
    std::string at = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    for (int hop = 0; hop < 40; ++hop) {
        struct stat link, folder;
        if (::lstat(at.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
            break;
        // The kernel's rule for shared sticky folders (protected_symlinks):
        // there only a link of this user's or of the folder's owner is
        // followed, so that another user's link cannot steer the write.
        const std::string in = folderOf(at);
        if (::stat(in.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) &&
            link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
            if (refused)
                *refused = ELOOP;
            break;
        }
        std::vector<char> to(size_t(link.st_size > 0 ? link.st_size : 4095) + 1);
        const ssize_t n = ::readlink(at.c_str(), to.data(), to.size());
        if (n <= 0 || size_t(n) >= to.size())
            break;
        const std::string next(to.data(), size_t(n));
        at = QDir::cleanPath(QString::fromStdString(next[0] == '/' ? next : in + "/" + next)).toStdString();
    }
    return at;
}

int FileRules::openRegularForReading(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return -1;
    }
    // The name may have changed since: the open does not wait, and what it
    // opened is looked at again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::FILE* FileRules::openRegularStream(const std::string& path) {
    const int fd = openRegularForReading(path);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (fd >= 0 && !f)
        ::close(fd);
    return f;
}

int FileRules::replaceProblem(const std::string& target) {
    struct stat old;
    if (::stat(target.c_str(), &old) != 0)
        return 0;
    if (S_ISDIR(old.st_mode))
        return EISDIR;
    if (!S_ISREG(old.st_mode))
        return ENODEV;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : EACCES;
}

bool FileRules::mayReplace(const std::string& target) {
    return replaceProblem(target) == 0;
}

namespace {

// Gives fd the access ACL acl, or none where acl is empty. A file system
// that refuses it would open the file to those the ACL kept out.
bool giveAccessAcl(int fd, const std::vector<char>& acl) {
    if (!acl.empty())
        return ::fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0) == 0;
    return ::fremovexattr(fd, kAccessAcl) == 0 || errno == ENODATA || errno == ENOTSUP;
}

// Gives fd the group, access ACL and permissions of the file open as model.
int copyProtection(int fd, int model) {
    struct stat want, mine;
    if (::fstat(model, &want) != 0 || ::fstat(fd, &mine) != 0)
        return errno;
    if (mine.st_gid != want.st_gid && ::fchown(fd, uid_t(-1), want.st_gid) != 0)
        return EPERM;
    std::vector<char> acl;
    if (!readAttribute(nullptr, model, kAccessAcl, &acl) || !giveAccessAcl(fd, acl))
        return EPERM;
    return ::fchmod(fd, want.st_mode & 07777) == 0 ? 0 : errno;
}

// Gives fd the user's own extended attributes of target (comments, tags,
// where it came from). 0, else errno: a file system that cannot carry them
// would drop them silently.
int copyUserAttributes(int fd, const std::string& target) {
    std::vector<char> names(1024);
    ssize_t size = -1;
    for (int attempt = 0; attempt < 4; ++attempt) {
        size = ::llistxattr(target.c_str(), names.data(), names.size());
        if (size >= 0 || errno != ERANGE)
            break;
        names.resize(names.size() * 8);
    }
    if (size < 0)
        return errno == ENOTSUP ? 0 : errno;
    for (const char* key = names.data(); key < names.data() + size; key += std::strlen(key) + 1) {
        if (std::strncmp(key, "user.", 5) != 0)
            continue;
        std::vector<char> value;
        if (!readAttribute(target.c_str(), -1, key, &value))
            return errno;
        if (::fsetxattr(fd, key, value.data(), value.size(), 0) != 0)
            return errno == ENOTSUP ? EOPNOTSUPP : errno;
    }
    return 0;
}

} // namespace

int FileRules::adoptModeAndOwner(int fd, const std::string& target) {
    struct stat old;
    if (::lstat(target.c_str(), &old) != 0) {
        // What a file made there now gets (the folder's default ACL and
        // set-group-id, the umask), wherever fd was made: a file made in
        // another folder of the same disk and renamed there gets it too.
        const std::string folder = folderOf(target);
        int probe = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (probe < 0) {
            std::string name;
            probe = createTemporary(target, &name);
            if (probe < 0)
                return errno;
            ::unlink(name.c_str());
        }
        const int error = copyProtection(fd, probe);
        ::close(probe);
        return error;
    }
    // A link that took the name after its links were followed is no file
    // to adopt from: the write goes no further.
    if (S_ISLNK(old.st_mode))
        return ELOOP;
    struct stat mine;
    if (::fstat(fd, &mine) != 0)
        return errno;
    // The owner and the group stay, or the file is not replaced: a user's
    // own file of a group the user is not in would change group.
    if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return EPERM;
    if (const int error = copyUserAttributes(fd, target))
        return error;
    // Who else may read or write it: an ACL given to the old file, or none
    // where the new one inherited one from the folder.
    std::vector<char> acl;
    if (!readAttribute(target.c_str(), -1, kAccessAcl, &acl) || !giveAccessAcl(fd, acl))
        return EPERM;
    // After the owner: a change of owner clears the set-id bits. The ACL's
    // mask is the old file's group bits, which this keeps.
    return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
}

int FileRules::createTemporary(const std::string& target, std::string* name) {
    const std::string folder = folderOf(target);
    const std::string start = folder + "/.~" + std::to_string(::getpid());
    if (locksAreSeenByAll(folder)) {
        // Unnamed, held, then named: no sweep ever sees it free while its
        // write is under way.
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            for (int attempt = 0; attempt < 100; ++attempt) {
                const std::string candidate = start + "=" + randomTail();
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                    *name = candidate;
                    return fd;
                }
                if (errno != EEXIST)
                    break;
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = start + "-" + randomTail();
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            holdWhileWriting(fd);
            *name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool FileRules::isTemporaryName(const std::string& name, long* pid, bool* heldFromBirth, std::string* stem) {
    // A draft's own temporary name (".XXXXXX", QSettings writes it
    // through a file beside it) is left when the edit is killed inside
    // that write.
    static const std::regex pattern(
        "(\\.~([0-9]+)([-=])[A-Za-z0-9]{6})(-[12](\\.[A-Za-z0-9]{6})?)?(-check)?(\\.lock)?");
    std::smatch m;
    if (!std::regex_match(name, m, pattern))
        return false;
    // A settings edit's drafts go with the edit's own file where it was held
    // from its making; else each goes by its own age.
    const bool held = m[3].str() == "=";
    if (pid)
        *pid = std::strtol(m[2].str().c_str(), nullptr, 10);
    if (heldFromBirth)
        *heldFromBirth = held;
    if (stem)
        *stem = held ? m[1].str() : std::string();
    return true;
}

void FileRules::holdWhileWriting(int fd) {
    // Best effort: a file system without locks still has the time rule.
    ::flock(fd, LOCK_EX | LOCK_NB);
}

bool FileRules::heldByAnyone(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno != ENOENT; // unsure: keep it
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd); // drops the probe's own lock
    return held;
}

bool FileRules::locksAreSeenByAll(const std::string& folder) {
    struct statfs fs;
    if (::statfs(folder.c_str(), &fs) != 0)
        return false;
    // Disks of this computer: every program writing there runs on this
    // kernel, whatever its pid namespace, and its locks are seen here.
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x01021994UL: // tmpfs
    case 0x58465342UL: // xfs
    case 0x9123683EUL: // btrfs
    case 0xF2F52010UL: // f2fs
    case 0x794C7630UL: // overlayfs
    case 0x2FC12FC1UL: // zfs
        return true;
    default:
        return false;
    }
}

bool FileRules::ownerMayRun(long pid, time_t modified) {
    if (pid == ::getpid())
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // The id may have gone to a program started after the file was last
    // written: that one is not its owner. A second of slack for the clocks.
    const double start = processStart(pid);
    return start < 0 || start <= double(modified) + 2.0;
}

bool FileRules::mayTakeLeftover(const std::string& path, long pid, struct stat* st, bool heldFromBirth) {
    if (pid < 0 || ::lstat(path.c_str(), st) != 0 || st->st_uid != ::getuid())
        return false;
    if (pid > 0 && ownerMayRun(pid, st->st_mtime))
        return false;
    // The id tells only of this pid namespace: a writer in another one, or
    // on another computer sharing the folder, holds the lock on its file
    // while it writes. A file held from before it had a name is free only
    // once its write has ended, where every writer's locks are seen here;
    // any other may be in the moment before its writer holds it, or of a
    // writer whose lock this program cannot see: it goes once untouched
    // for longer than a write under way leaves it.
    const bool lockTells = pid > 0 && heldFromBirth && locksAreSeenByAll(folderOf(path));
    if (!lockTells && std::time(nullptr) - st->st_mtime < kUntouchedSeconds)
        return false;
    return !heldByAnyone(path);
}

void FileRules::sweepTemporaries(const std::string& folder) {
    // A write's file, and a settings edit's drafts, their read-back copies
    // and the locks QSettings takes beside them. Only names are read here,
    // so that a folder of thousands of pictures costs one listing.
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    struct Found {
        std::string path;
        long pid;
        bool heldFromBirth;
        std::string stem; // the file that holds a settings edit's files
    };
    std::vector<Found> found;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] != '.' || e->d_name[1] != '~')
            continue;
        Found f{folder + "/" + e->d_name, 0, false, std::string()};
        if (!isTemporaryName(e->d_name, &f.pid, &f.heldFromBirth, &f.stem))
            continue;
        if (!f.stem.empty())
            f.stem = folder + "/" + f.stem;
        found.push_back(f);
    }
    ::closedir(dir);
    // An edit's own file last: it holds the others while they are there.
    std::stable_partition(found.begin(), found.end(), [](const Found& f) { return f.path != f.stem; });
    for (const Found& f : found) {
        struct stat st, own;
        bool take = false;
        if (!f.stem.empty() && f.path != f.stem && ::lstat(f.stem.c_str(), &own) == 0)
            take = mayTakeLeftover(f.stem, f.pid, &own, true) && ::lstat(f.path.c_str(), &st) == 0 &&
                   st.st_uid == ::getuid();
        else
            take = mayTakeLeftover(f.path, f.pid, &st, f.heldFromBirth);
        if (take && S_ISREG(st.st_mode))
            ::unlink(f.path.c_str());
    }
}
