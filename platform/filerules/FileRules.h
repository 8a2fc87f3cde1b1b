#pragma once

#include <cstdio>
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
    // The file path names once every symbolic link at its name is followed,
    // as the system follows them (it gives up after 40); absolute. Every
    // writer that replaces a chosen file replaces this one, so that a link
    // at the chosen name stays a link. A link in a sticky folder others may
    // write is followed only where the system's own rule would follow it
    // (it is this user's or the folder owner's): otherwise *refused gets
    // ELOOP (else 0), the link's own path is returned, and the write is
    // refused, so that another user's link cannot steer it.
    static std::string finalTarget(const std::string& path, int* refused = nullptr);

    // Opens path for reading (close-on-exec, reads that wait for data as
    // usual) when it is a regular file; links are followed. The open itself
    // never waits, so that a FIFO put at the name after the look is seen for
    // what it is. -1 otherwise, with errno: ENODEV for a FIFO, socket or
    // device, EISDIR for a folder, or what the system said.
    static int openRegularForReading(const std::string& path);
    // The same as a stream read in binary ("rb"); null otherwise.
    static std::FILE* openRegularStream(const std::string& path);

    // Why target may not be replaced by a file, 0 when it may: it is
    // missing, or a regular file this process may write (root passes, as the
    // system lets it). EISDIR for a folder, ENODEV for a pipe, a device or a
    // socket (opening one may wait for ever, replacing one breaks what uses
    // it), EACCES for a file this process may not change.
    static int replaceProblem(const std::string& target);
    // The one who may not change a file may not replace it either; only
    // regular files are replaced (replaceProblem is 0).
    static bool mayReplace(const std::string& target);
    // Gives the file open as fd (the replacement) what a replaced file keeps:
    // the owner, group, permissions, access ACL and the user's own extended
    // attributes ("user.*") of target. With no target yet, fd gets what a
    // file made now in target's folder with mode 0666 gets (the folder's
    // default ACL and group, the umask), wherever fd was made. 0 when done,
    // else errno: EPERM when the owner, the group or the ACL cannot be kept
    // (the replacement would open the file to others, or change its group),
    // the error of an attribute the new file cannot carry, ELOOP when a
    // link is at target.
    static int adoptModeAndOwner(int fd, const std::string& target);

    // Creates the temporary file a write beside target goes to, open for
    // reading and writing, with mode 0666 so that the folder's default ACL
    // and the umask apply, and held (holdWhileWriting). Where the folder's
    // file system can tell (a disk of this computer that makes unnamed
    // files) it is held from before it has a name, and its name
    // ".~<pid>=XXXXXX" says so: such a file no longer held is no write's. Else
    // the name is ".~<pid>-XXXXXX", held right after it is made. The fd,
    // *name its path; -1 with errno set when it cannot be made.
    static int createTemporary(const std::string& target, std::string* name);
    // Whether name (without folder) is such a temporary name, or one of the
    // files a settings edit makes beside it (its drafts "-1" and "-2", their
    // read-back copies "-check", the locks QSettings takes beside them
    // ".lock", the temporary files QSettings writes a draft through
    // "-1.XXXXXX"); *pid gets the id it carries, *heldFromBirth whether its name
    // is that of a file held from before it had a name, *stem the name
    // ".~<pid>=XXXXXX" of the file that holds a settings edit's files.
    static bool isTemporaryName(const std::string& name, long* pid, bool* heldFromBirth = nullptr,
                                std::string* stem = nullptr);
    // Marks the temporary file open as fd as one under way: while this
    // process holds fd, no sweep takes the file, whatever its name says.
    static void holdWhileWriting(int fd);
    // Whether some process holds the file at path (holdWhileWriting), or it
    // cannot be told.
    static bool heldByAnyone(const std::string& path);
    // Whether the locks of the file system of folder are seen by every
    // program that can write there: a disk of this computer (not a network
    // share, nor one served by a program).
    static bool locksAreSeenByAll(const std::string& folder);

    // Whether the program with id pid may still own a file last changed at
    // modified: a running process that started no later than that. This
    // program's own id says nothing: a program that runs as the first of a
    // pid namespace has the id 1 at every run, and so does one in another
    // namespace; its own writes under way hold their files.
    static bool ownerMayRun(long pid, time_t modified);
    // Whether the leftover at path, whose name carries the id pid (0: a name
    // that carries none), may be removed: it is this user's, the program its
    // id names may no longer run (this one's own id aside), no process holds
    // it and, unless it was held from before it had a name (heldFromBirth)
    // on a file system whose locks every writer's are seen here, it is no
    // live write of a program that id cannot tell (another pid namespace,
    // another computer on a shared folder): untouched for kUntouchedSeconds.
    // *st gets its status.
    static bool mayTakeLeftover(const std::string& path, long pid, struct stat* st, bool heldFromBirth = false);
    // Removes from folder the temporary files (createTemporary's, a
    // settings edit's) that mayTakeLeftover lets go; a settings edit's
    // drafts go with the edit's own file, never while it is held.
    static void sweepTemporaries(const std::string& folder);
    // A write under way touches its file far more often than this.
    static constexpr int kUntouchedSeconds = 10 * 60;
};
