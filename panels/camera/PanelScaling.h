#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QWidget;

// The sizing and text steps that the camera panels share. Designed sizes are
// multiplied by the UI size factor (uiSizeFactor, 10..20) times 0.1.
namespace PanelScaling {

// Designed value times factor / 10, truncated (single precision).
int trunc(int designed);
// Designed value times factor / 10, to the nearest integer.
int round(int designed);
// Minimum and maximum height of `w`, truncated; an unbounded maximum stays so.
void scaleHeights(QWidget* w);
// Contents margins and spacing of every layout inside `root` (and its own), truncated.
void scaleLayouts(QWidget* root);
// Size and position of `w`, rounded.
void scaleGeometry(QWidget* w);
// Text of every label and button under `root` whose object name has an entry
// in `texts` (three per name, by language index); other names are left alone.
void applyTexts(QWidget* root, const QMap<QString, QStringList>& texts, int language);

} // namespace PanelScaling
