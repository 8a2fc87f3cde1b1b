#pragma once

#include <QString>

// File steps of the export panel that must work wherever the user points it:
// moving a finished report to another disk, and telling the user why a
// report could not be written. GUI thread or any thread; no state.
namespace ExportFiles {

// Moves the file from to the path to, replacing a file there. Within one
// filesystem this is a rename; across filesystems the data is copied to a
// temporary name beside to and renamed there once complete, so that an older
// file at to stays whole until the new one is, and from is removed only
// after that. False, with a reason for the user in *why (in the language, as
// folderProblem), when to was not replaced; from is then left as it was.
bool moveReplacing(const QString& from, const QString& to, int language, QString* why = nullptr);

// Writes data to path through a temporary file beside it that replaces path
// only once complete and on disk. Empty when done, else the reason (as
// failureReason).
QString writeReplacing(const QString& path, const QByteArray& data, int language);

// Why a file cannot be written into folder, in the language (0 simplified
// Chinese, 1 English, 2 traditional Chinese): a missing folder, a read-only
// folder or disk, or a full disk (named by its mount point: less than 1 MiB
// or less than needed bytes free); empty when none of these is the case.
QString folderProblem(const QString& folder, int language, qint64 needed = 0);

// The reason to show for a failed write of path (needed bytes long, when
// known): folderProblem of its folder when there is one, else the system's
// text (fallback).
QString failureReason(const QString& path, const QString& fallback, int language, qint64 needed = 0);

} // namespace ExportFiles
