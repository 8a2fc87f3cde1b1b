#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// The rules that make replacing a file safe, one set for every writer of the
// program (the picture and settings writer, the report's move to its chosen
// name, the workbook's own package write), so that every file the program
// replaces gets the same checks. Names are as the file calls take them
// (UTF-8 on this system). Any thread; no state.
class FileRules {
public:
    // The file path names once every symbolic link on the way is followed,
    // as the system follows them (it gives up after 40); absolute. Every
    // writer that replaces a chosen file replaces this one, so that a link
    // at the chosen name stays a link.
    static std::string finalTarget(const std::string& path);

    // The one who may not change a file may not replace it either: false
    // when target exists and this process may not write it (root passes, as
    // the system lets it).
    static bool mayReplace(const std::string& target);
    // Gives the file open as fd (the replacement) what a replaced file keeps:
    // the permissions and owner of target, or, when there is no target yet,
    // the permissions the umask gives a new file. 0 when done, else errno
    // (EPERM when the owner cannot be kept: the replacement would take the
    // file from its owner).
    static int adoptModeAndOwner(int fd, const std::string& target);

    // The temporary name a write beside target starts from (for mkostemp):
    // a short hidden name ".~<pid>-XXXXXX" in target's folder, whatever
    // target's length, carrying this program's id.
    static std::string temporaryName(const std::string& target);
    // Whether name (without folder) is such a temporary name, or one of the
    // files a settings edit makes from it (its read-back copy "-check", the
    // lock QSettings takes beside it ".lock"); *pid gets the id it carries.
    static bool isTemporaryName(const std::string& name, long* pid);
    // Marks the temporary file open as fd as one under way: while this
    // process holds fd, no sweep takes the file, whatever its name says.
    static void holdWhileWriting(int fd);

    // Whether the program with id pid may still own a file last changed at
    // modified: a running process that started no later than that.
    static bool ownerMayRun(long pid, time_t modified);
    // Whether the leftover at path, whose name carries the id pid, may be
    // removed: it is this user's, the program its name names has ended, and
    // it is no live write of a program that id cannot tell (another pid
    // namespace, another computer on a shared folder): untouched for
    // kUntouchedSeconds and held by no process. *st gets its status.
    static bool mayTakeLeftover(const std::string& path, long pid, struct stat* st);
    // A write under way touches its file far more often than this.
    static constexpr int kUntouchedSeconds = 10 * 60;
};
