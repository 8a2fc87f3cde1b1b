#pragma once

class QWidget;

// Size-factor steps beyond PanelParts that the parameter, lens and
// time-lapse panels share: designed values times the UI size factor / 10.
namespace PanelScaling {

// To the nearest integer (PanelParts::scaled truncates).
int round(int designed);
// Minimum and maximum height of `w`, truncated; an unbounded maximum stays so.
void scaleHeights(QWidget* w);
// Size and position of `w`, rounded.
void scaleGeometry(QWidget* w);

} // namespace PanelScaling
