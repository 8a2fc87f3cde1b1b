#pragma once

#include <string>
#include <sys/types.h>

namespace SimpleXlsx {

// What a workbook save leaves when its program is killed midway: the part
// folder "xlsx_<pid>_XXXXXX" in the temporary folder and the unfinished
// archive "<report>.xlsx.~<pid>_<n>" beside the report. Both names carry the
// id of the program that made them; the sweeps remove only what the file
// rules let go (FileRules::mayTakeLeftover): debris of programs that have
// ended, never of a program still running (this one included) nor of a
// write under way elsewhere, never of other users.
class ExportDebris {
public:
    // The part folder name's start for this process: "xlsx_<pid>_".
    static std::string folderPrefix();
    // Removes the part folders of ended programs directly inside parent.
    static void sweepTempFolders(const std::string& parent);
    // Removes the unfinished archives of ended programs in the folder of target.
    static void sweepBeside(const std::string& target);
};

} // namespace SimpleXlsx
