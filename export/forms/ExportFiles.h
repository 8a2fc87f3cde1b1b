#pragma once

#include <QString>

// Moving a finished report to where the user wants it, which may be another
// disk. GUI thread or any thread; no state.
namespace ExportFiles {

// Moves the file from to the path to, replacing a file there (the file a
// symbolic link there ends at, the links kept; another user's link in a
// shared sticky folder is refused) as every writer replaces a file
// (FileRules): the replaced file's permissions and owner stay, a new file
// gets what its folder gives one made there, and a
// file this process may not write, or whose owner it cannot keep, is not
// replaced, nor a folder or anything else that is no file. Within one
// filesystem this is a rename; across filesystems the data is copied through
// FileCommit, so that an older file at to stays whole until the new one is,
// and from is removed only after that. False, with a reason for the user in
// *why (in the language, as WriteProblem words it), when to was not
// replaced; from is then left as it was, its permissions, owner and access
// list included.
bool moveReplacing(const QString& from, const QString& to, int language, QString* why = nullptr);

} // namespace ExportFiles
