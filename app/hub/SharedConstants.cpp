#include "app/hub/SharedConstants.h"

const QList<QColor> colorList = {QColor(Qt::red),     QColor(Qt::blue),    QColor(Qt::green),
                                 QColor(Qt::yellow),  QColor(Qt::cyan),    QColor(Qt::magenta),
                                 QColor(Qt::black),   QColor(Qt::lightGray), QColor(Qt::white)};
QColor curItemColor = QColor(Qt::red);
const QString unitNames[7] = {"m", "cm", "mm", "um", "mil", "inch", "pix"};
// An inch is exactly 25.4 mm: the mil and inch factors are its exact ratios,
// not the rounded 39.37 and 0.03937, so conversions between units are exact.
const double unitFactors[7] = {0.001, 0.1, 1.0, 1000.0, 1000.0 / 25.4, 1.0 / 25.4, 1.0};
const QString labelLetters[10] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
const QString crossLineFileName = "SINGLE_CROSSINFO.ini";
const QString scaleFileName = "SCALE_INFO.ini";
QList<QString> netCameraAddrs;
QList<QString> netCameraNames;
QList<OzaMeasureSys*> measureSystems;

int unitIndexOf(const QString& unit) {
    for (int i = 0; i < 7; ++i)
        if (unitNames[i] == unit)
            return i;
    return -1;
}

double unitFactorOf(const QString& unit) {
    const int i = unitIndexOf(unit);
    return i < 0 ? -1.0 : unitFactors[i];
}
