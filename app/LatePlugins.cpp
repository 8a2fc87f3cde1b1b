#include "app/LatePlugins.h"

#include <QApplication>

bool LatePlugins::s_held = false;
QStringList LatePlugins::s_paths;

void LatePlugins::holdBack() {
    if (s_held)
        return;
    // The style is made now, while it can still find a style plugin the user
    // chose.
    QApplication::style();
    s_paths = QCoreApplication::libraryPaths();
    s_held = true;
    QCoreApplication::setLibraryPaths({});
}

void LatePlugins::giveBack() {
    if (!s_held)
        return;
    s_held = false;
    // Every plugin loader looks through the folders again.
    QCoreApplication::setLibraryPaths(s_paths);
    s_paths.clear();
}
