#include "export/xlsx/ExportDebris.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <ftw.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace SimpleXlsx {

namespace {

// Seconds since the epoch at which process pid started; -1 when unknown.
double processStart(long pid)
{
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

int removeEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    if (type == FTW_DP)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}

template <typename Take>
void sweep(const std::string& folder, const std::regex& name, Take take)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    while (dirent* e = ::readdir(dir)) {
        std::cmatch m;
        if (!std::regex_match(e->d_name, m, name))
            continue;
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + e->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || st.st_uid != ::getuid())
            continue;
        const long pid = std::strtol(m[1].str().c_str(), nullptr, 10);
        if (pid > 0 && !ExportDebris::ownerMayRun(pid, st.st_mtime))
            take(path, st);
    }
    ::closedir(dir);
}

} // namespace

std::string ExportDebris::folderPrefix()
{
    return "xlsx_" + std::to_string(::getpid()) + "_";
}

bool ExportDebris::ownerMayRun(long pid, time_t modified)
{
    if (pid == ::getpid())
        return true;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    // The id may have gone to a program started after the file was last
    // written: that one is not its owner. A second of slack for the clocks.
    const double start = processStart(pid);
    return start < 0 || start <= double(modified) + 2.0;
}

void ExportDebris::sweepTempFolders(const std::string& parent)
{
    static const std::regex name("xlsx_([0-9]+)_[A-Za-z0-9]{6}");
    sweep(parent, name, [](const std::string& path, const struct stat& st) {
        if (S_ISDIR(st.st_mode))
            ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    });
}

void ExportDebris::sweepBeside(const std::string& target)
{
    static const std::regex name(".+\\.[Xx][Ll][Ss][Xx]\\.~([0-9]+)_[0-9]+");
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash == 0 ? 1 : slash);
    sweep(folder, name, [](const std::string& path, const struct stat& st) {
        if (S_ISREG(st.st_mode))
            ::unlink(path.c_str());
    });
}

} // namespace SimpleXlsx
