#pragma once

#include <QColor>
#include <QImage>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <sched.h>
#include <string>

// Small tools several test folders share.

// A path or text as the UTF-8 std::string the export writers take.
inline std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

// Google Test checks of the middle of each vertical colour bar of an RGB24
// picture, a quarter, half and three quarters down.
void expectBars(const uint8_t* rgb, int width, int height, const QVector<QColor>& bars, int tolerance);

// Cores this process may run on (its CPU affinity; all cores when unknown):
// what busy loops beside a test must fill to load it, on a pinned run too.
int usableCores();

// While it lives, the calling thread and the threads it starts meanwhile run
// on the first core this process may use, as on a machine whose other cores
// are busy; the core set before comes back at its end. ok() when pinned.
class OnOneCore {
public:
    OnOneCore();
    ~OnOneCore();
    bool ok() const { return m_ok; }

private:
    cpu_set_t m_all;
    bool m_ok = false;
};

// A file the program wrote as a reader of its own kind sees it
// (tests/support/read_back.py: PIL for a "picture", configparser for an
// "ini"): a JSON object, or {"error": ...}.
QJsonObject readBack(const QString& kind, const QString& path);

// A picture of noise, that JPEG cannot shrink (some 2.6 bytes a pixel at
// quality 100): a file larger than what is written around it.
QImage noisePicture(int width, int height, quint32 seed);

// Gives this process `more` bytes of address space beyond what it maps now
// (RLIMIT_AS): an allocation past that is refused, as under `ulimit -v`.
// False when the limit could not be set.
bool limitAddressSpace(unsigned long long more);
// While it lives (or until end()), a process limit is at what is in use now,
// so that the system refuses one more: ProcessAtLimit::Threads lets the user
// run one thread, who runs more already (as under ulimit -u; root counts
// none, so the process runs as nobody meanwhile, its saved id root to come
// back); ProcessAtLimit::Files opens no descriptor above those open now (as
// under ulimit -n). ok() when the limit was set.
class ProcessAtLimit {
public:
    enum Limit { Threads, Files };
    explicit ProcessAtLimit(Limit limit);
    ~ProcessAtLimit() { end(); }
    bool ok() const { return m_on; }
    void end();

private:
    int m_resource;
    unsigned long long m_soft = 0, m_hard = 0;
    bool m_asNobody = false, m_on = false;
};

// Null where an address-space limit makes the system refuse memory to the
// code under test; otherwise why it does not, for the row's skip message. A
// sanitizer maps terabytes of shadow memory at start and its allocator ends
// the process on a refused mapping rather than returning null (some of its
// own bookkeeping ends it even when told to return null), so such a row
// would test the sanitizer.
const char* addressLimitUntestable();
// The address space a new thread's stack takes (the system's stack limit,
// 8 MB where it has none).
unsigned long long threadStackBytes();

// Runs the current row of the current Qt Test function of this program again
// in a child process with the environment variable `marker` set (the row,
// finding it set, does its work there, where a fault ends only the child).
// Empty when the child ended normally with exit code 0 and printed `says`;
// otherwise what it printed.
QString runRowInChild(const char* marker, const QByteArray& says);
// The same for a row that sets an address-space limit: the child's C library
// maps every block of 1 MB and more on its own (given back when freed) and
// keeps one heap for all threads, so that the limit counts each picture: a
// heap of a thread's own reserves 64 MB of address space before the limit,
// and a picture that fits in its free room would be made whatever the limit.
QString runRowInChildUnderLimit(const char* marker, const QByteArray& says);

// Runs program; empty when it succeeded, else what went wrong (its error
// output, or that it could not start).
QString runProgram(const QString& program, const QStringList& arguments);
// What getfacl, as a user types it, tells of path: owner, group, mode and
// ACL entries (the "# file:" line aside, which names the path); "getfacl
// failed: ..." when it could not tell.
QString aclOf(const QString& path);
// Gives folder a default ACL (setfacl -d -m acl): empty when done,
// "unsupported: " and why where its file system keeps none or setfacl is
// not installed (a test skips then), else setfacl's error.
QString setDefaultAcl(const QString& folder, const QString& acl);
// The rows of a table of what a new file gets from its folder, as touch
// makes one there: the columns "defaultAcl" (setfacl -d -m, none when empty)
// and "mask" (the umask it is made under); a default ACL that lets one user
// in and keeps others out, and no default ACL under umask 027.
void newFileAclRows();
// Another user's link, as nobody plants one in a shared sticky folder (as
// the system's temporary folder is): in folder, "shared" (mode 1777) gets
// the link name, nobody's, to "locked/<to>"; "locked" (0700) holds root's
// "secret" ("root's"). The link's path; empty when it could not be made.
QString plantOthersLink(const QString& folder, const QString& name, const QString& to);
