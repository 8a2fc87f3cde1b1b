#pragma once

#include <QString>

#include <functional>

class QSettings;

// The program's "Error" box for a file of the user's work that could not be
// written (a picture, stored lines, scales, a parameter set). Not modal: the
// work goes on while the user reads it, and writes that keep failing (a line
// dragged on a full disk) update one box instead of stacking boxes. Shown on
// the GUI thread; callable from any thread.
class SaveErrorBox {
public:
    // Shows text in the box (queued to the GUI thread; nothing without a
    // widget application).
    static void show(const QString& text);
    // "The file could not be saved:\n<path>\n<reason>" in the hub's language;
    // reason as FileCommit gives it.
    static void fileNotSaved(const QString& path, const QString& reason);
    // Changes the INI file at path as edit does, through FileCommit; true
    // when the whole file reached the disk, else fileNotSaved and false (the
    // file stays as it was).
    static bool editSettings(const QString& path, const std::function<void(QSettings&)>& edit);
};
