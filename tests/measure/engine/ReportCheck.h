#pragma once

#include <QJsonObject>
#include <QString>

// Runs one of this folder's reader scripts (reportcheck.py, htmlcheck.py)
// with Debian's python3 on file and returns the JSON it printed; an object
// with "error" when the script could not run or read the file.
QJsonObject runReportCheck(const QString& script, const QString& file);

// "A1" reference of a grid cell (row and column from 0).
QString cellRef(int row, int column);
