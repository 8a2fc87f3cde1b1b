#pragma once

#include <QString>

// Why a folder or file refused a write, worded for the user in the program's
// language (0 simplified Chinese, 1 English, 2 traditional Chinese, as
// MessagePassing::language() answers). Every box that says why a picture,
// template, report or stored setting was not written takes its reason from
// here, so the system's own texts ("Operation not permitted") never reach
// the user. Any thread; no state.
class WriteProblem {
public:
    // A missing folder, a read-only folder or disk, or a full disk (named by
    // its mount point: less than 1 MiB or less than needed bytes free);
    // empty when none of these is the case.
    static QString folder(const QString& folder, int language, qint64 needed = 0);
    // The reason a write of path (needed bytes long, when known) failed with
    // the system error code error (0 when unknown): a missing or read-only
    // folder or disk when that is the case, else the error in the program's
    // words (too many open files as ProcessLimits names that limit). The room left speaks only for ENOSPC,
    // EDQUOT (the user's quota) or an unknown error: a full disk when less room is left than needed (ENOSPC
    // with that room free: no room for more files), else a general "could not be written".
    static QString explain(const QString& path, int error, int language, qint64 needed = 0);
    // The temporary folder that a writer builds its parts in is full.
    static QString temporaryFull(const QString& tempFolder, int language);
    // zh, en or tw (UTF-8) by language; out of range counts as 0.
    static QString pick(int language, const char* zh, const char* en, const char* tw);

private:
    // folder's problems other than room: missing, read-only, on a read-only disk.
    static QString placeProblem(const QString& folder, int language);
    // A full disk, as folder() tells it.
    static QString roomProblem(const QString& folder, int language, qint64 needed);
};
