#include "export/xlsx/CPathManager.h"

#include "platform/filerules/FileRules.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace SimpleXlsx {

CPathManager::CPathManager(const std::string& basePath) : m_basePath(basePath) {}

CPathManager::~CPathManager() = default;

std::string CPathManager::RegisterPart(const std::string& partName)
{
    std::string full = m_basePath + partName;
    MakeDirectories(full);
    m_partFiles.push_back(partName);
    return full;
}

bool CPathManager::MakeDirectories(const std::string& path)
{
    std::string accumulated;
    size_t componentStart = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/' && path[i] != '\\')
            continue;
        accumulated.append(path, componentStart, i - componentStart);
        accumulated += '/';
        componentStart = i + 1;
        for (char& c : accumulated)
            if (c == '\\')
                c = '/';
        if (::mkdir(accumulated.c_str(), 0777) == 0) {
            m_createdFolders.push_back(accumulated);
        } else if (errno == ENOENT) {
            return false;
        }
    }
    return true;
}

bool CPathManager::CopyFileToPart(const std::string& sourcePath, const std::string& partName)
{
    FILE* in = FileRules::openRegularStream(sourcePath); // a FIFO is not waited on
    if (!in)
        return false;
    const std::string full = RegisterPart(partName);
    FILE* out = std::fopen(full.c_str(), "wb");
    bool ok = out != nullptr;
    if (ok) {
        char buf[65536];
        for (;;) {
            size_t n = std::fread(buf, 1, sizeof buf, in);
            if (n > 0 && std::fwrite(buf, 1, n, out) != n) {
                ok = false;
                break;
            }
            if (n < sizeof buf)
                break;
        }
        if (std::ferror(in))
            ok = false;
        if (std::fclose(out) != 0)
            ok = false;
    }
    std::fclose(in);
    if (!ok) {
        // Nothing half-copied stays behind to be packed.
        std::remove(full.c_str());
        m_partFiles.pop_back();
    }
    return ok;
}

void CPathManager::AdoptFolder(const std::string& folder)
{
    std::string f = folder;
    if (f.empty() || f.back() != '/')
        f += '/';
    m_createdFolders.push_back(f);
}

void CPathManager::RemoveAll()
{
    for (const std::string& part : m_partFiles) std::remove((m_basePath + part).c_str());
    m_partFiles.clear();
    for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) ::rmdir(it->c_str());
    m_createdFolders.clear();
}

std::string ToAnsiString(const wchar_t* text)
{
    std::string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        uint32_t c = static_cast<uint32_t>(*text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                out += '?';
                continue;
            }
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c <= 0x10FFFF) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += '?';
        }
    }
    return out;
}

std::string ToAnsiString(const std::wstring& text)
{
    return ToAnsiString(text.c_str());
}

} // namespace SimpleXlsx
