#pragma once

#include <string>
#include <vector>

namespace SimpleXlsx {

// Books of the workbook's temporary folder: turns part names into paths,
// creates the folders a part needs, lists every part file in the order it was
// registered (the order of the entries in the archive), and removes the part
// files and the folders it created. Paths are UTF-8 with forward slashes.
// One per workbook; used by the thread that builds the workbook.
class CPathManager {
public:
    // basePath: the temporary folder, without a trailing slash; part names
    // carry their own leading slash ("/xl/workbook.xml").
    explicit CPathManager(const std::string& basePath);
    ~CPathManager();
    CPathManager(const CPathManager&) = delete;
    CPathManager& operator=(const CPathManager&) = delete;

    // Creates the folders along base path + part name and lists the part;
    // returns the full path of the part file.
    std::string RegisterPart(const std::string& partName);

    // Creates every missing folder of path (the text after the last slash is
    // a file name and is never created). False when a folder cannot be made
    // because its parent is missing; other failures (exists, denied) pass.
    bool MakeDirectories(const std::string& path);

    // Copies the source file into the package as partName. False when the
    // source or the part file cannot be opened or the copy is incomplete; a
    // failed copy leaves neither a part file nor a listed part behind.
    bool CopyFileToPart(const std::string& sourcePath, const std::string& partName);

    // Lists a folder made by someone else for removal by RemoveAll (the
    // workbook's own temporary folder).
    void AdoptFolder(const std::string& folder);

    // Deletes every listed part file, then every created folder from the last
    // to the first; empties both lists. Never fails loudly.
    void RemoveAll();

    const std::string& BasePath() const { return m_basePath; }
    // Part names in registration order.
    const std::vector<std::string>& PartFiles() const { return m_partFiles; }
    // Folders created, in creation order, each ending in "/".
    const std::vector<std::string>& CreatedFolders() const { return m_createdFolders; }

private:
    std::string m_basePath;
    std::vector<std::string> m_createdFolders;
    std::vector<std::string> m_partFiles;
};

// The narrow form of a wide string for the file calls: UTF-8 on this system.
// Code points that UTF-8 cannot hold (surrogates, past U+10FFFF) become '?'.
std::string ToAnsiString(const wchar_t* text);
std::string ToAnsiString(const std::wstring& text);

} // namespace SimpleXlsx
