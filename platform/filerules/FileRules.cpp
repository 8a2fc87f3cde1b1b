#include "platform/filerules/FileRules.h"

#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The process's umask, read from the kernel's status file: umask(2) can only
// read it by changing it, which would race with other threads creating files.
mode_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "Umask:") == 0)
            return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

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

// Whether some process holds the file at path open with a lock on it (a
// write under way, wherever its program runs: the lock is the file
// system's, seen across pid namespaces and, on a network share, computers).
bool heldByAnyone(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno != ENOENT; // unsure: keep it
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd); // drops the probe's own lock
    return held;
}

} // namespace

std::string FileRules::finalTarget(const std::string& path) {
    QString at = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo info(at);
        if (!info.isSymLink())
            break;
        at = info.symLinkTarget();
    }
    return at.toStdString();
}

bool FileRules::mayReplace(const std::string& target) {
    struct stat old;
    return ::stat(target.c_str(), &old) != 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

int FileRules::adoptModeAndOwner(int fd, const std::string& target) {
    struct stat old;
    if (::stat(target.c_str(), &old) != 0)
        return ::fchmod(fd, 0666 & ~processUmask()) == 0 ? 0 : errno;
    struct stat mine;
    if (::fstat(fd, &mine) != 0)
        return errno;
    if (mine.st_uid != old.st_uid) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            return EPERM;
    } else if (mine.st_gid != old.st_gid) {
        // The user's own file: its group where the user still belongs to it.
        ::fchown(fd, uid_t(-1), old.st_gid);
    }
    // After the owner: a change of owner clears the set-id bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
}

std::string FileRules::temporaryName(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    return folder + "/.~" + std::to_string(::getpid()) + "-XXXXXX";
}

bool FileRules::isTemporaryName(const std::string& name, long* pid) {
    static const std::regex pattern("\\.~([0-9]+)-[A-Za-z0-9]{6}(-check)?(\\.lock)?");
    std::smatch m;
    if (!std::regex_match(name, m, pattern))
        return false;
    if (pid)
        *pid = std::strtol(m[1].str().c_str(), nullptr, 10);
    return true;
}

void FileRules::holdWhileWriting(int fd) {
    // Best effort: a file system without locks still has the time rule.
    ::flock(fd, LOCK_EX | LOCK_NB);
}

bool FileRules::ownerMayRun(long pid, time_t modified) {
    if (pid == ::getpid())
        return true;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // The id may have gone to a program started after the file was last
    // written: that one is not its owner. A second of slack for the clocks.
    const double start = processStart(pid);
    return start < 0 || start <= double(modified) + 2.0;
}

bool FileRules::mayTakeLeftover(const std::string& path, long pid, struct stat* st) {
    if (pid <= 0 || ::lstat(path.c_str(), st) != 0 || st->st_uid != ::getuid())
        return false;
    if (ownerMayRun(pid, st->st_mtime))
        return false;
    // The id tells only of this pid namespace: a writer in another one, or
    // on another computer sharing the folder, keeps touching its file, and
    // holds the lock on it, while it writes.
    if (std::time(nullptr) - st->st_mtime < kUntouchedSeconds)
        return false;
    return !heldByAnyone(path);
}
