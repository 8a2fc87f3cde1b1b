#pragma once

#include <QColor>
#include <QList>
#include <QString>

class OzaMeasureSys;

// Program-wide tables that exist from start-up and are never freed.
// GUI thread; written only at start and by network discovery.

// Colour settings are stored as indexes into this list (0 = red).
extern const QList<QColor> colorList;
// Current shape colour; new freehand strokes take it.
extern QColor curItemColor;
// Units in display order and their factor per millimetre.
extern const QString unitNames[7];
extern const double unitFactors[7];
// Unit factor per millimetre for a unit name; -1 when unknown.
double unitFactorOf(const QString& unit);
int unitIndexOf(const QString& unit);
// "A" .. "J": item letters of the shapes that name their items by letter.
extern const QString labelLetters[10];
extern const QString crossLineFileName; // "SINGLE_CROSSINFO.ini"
extern const QString scaleFileName;     // "SCALE_INFO.ini"
// Filled by network discovery.
extern QList<QString> netCameraAddrs;
extern QList<QString> netCameraNames;
// Every measurement system registers itself when constructed.
extern QList<OzaMeasureSys*> measureSystems;
