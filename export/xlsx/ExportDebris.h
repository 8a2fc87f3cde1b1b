#pragma once

#include <string>
#include <sys/types.h>

namespace SimpleXlsx {

// What a workbook save leaves when its program is killed midway: the part
// folder "xlsx_<pid>_XXXXXX" in the temporary folder (renamed
// "xlsx_<pid>=XXXXXX" once held, where every writer's locks are seen) and
// the unfinished archive beside the report (a hidden temporary name of the
// file rules; "<report>.xlsx.~<pid>_<n>" in earlier versions). The names
// carry the id of the program that made them; the sweeps remove only what
// the file rules let go (FileRules::mayTakeLeftover): debris no live export
// can own, never that of a write under way here or elsewhere, never other
// users'.
class ExportDebris {
public:
    // The part folder name's start for this process: "xlsx_<pid>_".
    static std::string folderPrefix();
    // The name made (a folder "xlsx_<pid>_XXXXXX") takes once it is held.
    static std::string heldFolderName(const std::string& made);
    // Removes the part folders of ended programs directly inside parent.
    static void sweepTempFolders(const std::string& parent);
    // Removes the unfinished archives of earlier versions' ended programs in
    // the folder of target.
    static void sweepBeside(const std::string& target);
};

} // namespace SimpleXlsx
