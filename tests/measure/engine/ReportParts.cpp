#include "ReportParts.h"

#include "measure/engine/XlsReportLayout.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

namespace TestData {

Bytes MakeReportPart(int measured, uint32_t seed, const char* part)
{
    uint32_t s = seed ? seed : 1;
    auto value = [&s](double scale) {
        return QString::number(double(NextRandom(s) % 1000000) * scale / 1000000.0, 'f', 4);
    };
    MeasureTable table;
    table.unit = "mm";
    for (int r = 0; r < measured; ++r) {
        // Columns: length, girth, area, angle, radian, width, height, radius, diameter.
        QStringList v;
        for (int j = 0; j < 9; ++j)
            v << QString();
        switch (NextRandom(s) % 4) {
        case 0:
            table.names << QString::fromUtf8("直线%1").arg(r + 1);
            v[0] = value(12.0);
            break;
        case 1: {
            table.names << QString::fromUtf8("圆%1").arg(r + 1);
            const double radius = value(3.0).toDouble();
            v[1] = QString::number(2 * M_PI * radius, 'f', 4);
            v[2] = QString::number(M_PI * radius * radius, 'f', 4);
            v[7] = QString::number(radius, 'f', 4);
            v[8] = QString::number(2 * radius, 'f', 4);
            break;
        }
        case 2: {
            table.names << QString::fromUtf8("矩形%1").arg(r + 1);
            const double w = value(8.0).toDouble(), h = value(5.0).toDouble();
            v[1] = QString::number(2 * (w + h), 'f', 4);
            v[2] = QString::number(w * h, 'f', 4);
            v[5] = QString::number(w, 'f', 4);
            v[6] = QString::number(h, 'f', 4);
            break;
        }
        default: {
            table.names << QString::fromUtf8("角度%1").arg(r + 1);
            const double a = value(180.0).toDouble();
            v[3] = QString::number(a, 'f', 4);
            v[4] = QString::number(a * M_PI / 180.0, 'f', 4);
            break;
        }
        }
        table.values << v;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("report.xlsx");
    const XlsReportLayout layout(XlsReportTemplate(), 0, table, true, QDateTime(QDate(2026, 3, 9), QTime(14, 5, 7)));
    if (!dir.isValid() || !layout.Write(path, QString(), false))
        return {};
    QProcess unzip;
    unzip.start("unzip", {"-p", path, part});
    if (!unzip.waitForFinished(60000) || unzip.exitStatus() != QProcess::NormalExit || unzip.exitCode() != 0)
        return {};
    const QByteArray xml = unzip.readAllStandardOutput();
    return Bytes(xml.begin(), xml.end());
}

} // namespace TestData
