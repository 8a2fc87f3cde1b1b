#pragma once

#include <QString>

class QFile;

// Files the program reads by a name that a user's folder holds (pictures,
// thumbnails, settings, templates) are read only when the name is a regular
// file. A FIFO there would hold the reader until some writer opens it (for
// good, when none ever does), a device could feed it endless bytes: such a
// name is refused without waiting on it. Any thread; no state.
class RegularFile {
public:
    // Opens path for reading (close-on-exec, reads that wait for data as
    // usual) when it is a regular file; links are followed. -1 otherwise,
    // with errno: ENODEV for a FIFO, socket or device, EISDIR for a folder,
    // or what the system said.
    static int openForReading(const QString& path);
    // The same into file, named path (a reader that goes by the name's
    // suffix still sees it). False, file closed, otherwise.
    static bool open(QFile& file, const QString& path);
    // Whether path names a FIFO, socket or device (through links): never a
    // missing name, a folder or a regular file.
    static bool isSpecial(const QString& path);
    // The name to hand QSettings, which opens the file itself: path, unless
    // it is special (a warning says so); then a name beneath it, which no
    // call can open or make (a file is no folder), so that the settings read
    // as unset and a write goes nowhere.
    static QString settingsName(const QString& path);
    // "The name is not an ordinary file: <path>" in the program's language
    // (0 simplified Chinese, 1 English, 2 traditional Chinese).
    static QString notRegularText(int language, const QString& path);
};
