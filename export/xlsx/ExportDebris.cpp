#include "export/xlsx/ExportDebris.h"

#include "platform/filerules/FileRules.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <ftw.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace SimpleXlsx {

namespace {

int removeEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    if (type == FTW_DP)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}

// name's group 1 is the id; a group 2 of "=" marks a name held from its making.
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
        const bool heldFromBirth = m.size() > 2 && m[2].str() == "=";
        if (FileRules::mayTakeLeftover(path, std::strtol(m[1].str().c_str(), nullptr, 10), &st, heldFromBirth))
            take(path, st);
    }
    ::closedir(dir);
}

} // namespace

std::string ExportDebris::folderPrefix()
{
    return "xlsx_" + std::to_string(::getpid()) + "_";
}

std::string ExportDebris::heldFolderName(const std::string& made)
{
    // "<parent>/xlsx_<pid>_XXXXXX" becomes "<parent>/xlsx_<pid>=XXXXXX".
    std::string held = made;
    if (held.size() > 7 && held[held.size() - 7] == '_')
        held[held.size() - 7] = '=';
    return held;
}

void ExportDebris::sweepTempFolders(const std::string& parent)
{
    static const std::regex name("xlsx_([0-9]+)([_=])[A-Za-z0-9]{6}");
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
