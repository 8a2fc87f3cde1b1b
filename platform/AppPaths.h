#pragma once

#include <QString>

// Where the program keeps its files.
// - appDir(): the application directory: $SEVRIN_APP_DIR when set, else the
//   executable's folder. INI/, Export/, pinjie/, help/, WordTemplate/ live here.
// - Working-directory files ("./OtherSet.ini" ...) are opened relative to the
//   process's current directory and need no helper.
namespace AppPaths {
QString appDir();
// appDir() + "/" + relative, with no doubled slash.
QString appFile(const QString& relative);
} // namespace AppPaths
