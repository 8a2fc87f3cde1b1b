#include "ReportCheck.h"

#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>

QJsonObject runReportCheck(const QString& script, const QString& file) {
    const QString source = QProcessEnvironment::systemEnvironment().value("SEVRIN_SOURCE_DIR", ".");
    QProcess process;
    // Debian's interpreter: it has openpyxl and Pillow; another may come first on PATH.
    process.start("/usr/bin/python3", {source + "/tests/measure/engine/" + script, file});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return QJsonObject{{"error", "reader failed: " + QString::fromUtf8(process.readAllStandardError())}};
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(process.readAllStandardOutput(), &parseError);
    if (!doc.isObject())
        return QJsonObject{{"error", "no JSON: " + parseError.errorString()}};
    return doc.object();
}

QString cellRef(int row, int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar('A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}
