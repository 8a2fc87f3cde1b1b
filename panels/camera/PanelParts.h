#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QLabel;
class QLayout;
class QWidget;

// Small pieces the camera settings panels share: the language-indexed text
// tables, the "Error" box, the title row and the size-factor scaling.
namespace PanelParts {

// The hub's language index, 0..2.
int language();
// Entry `language` of a three-text list (simplified Chinese, English,
// traditional Chinese); entry 0 when the index is outside the list.
QString pick(const QStringList& texts, int language);
// Modal information box titled "Error" with the text of the current language
// and one OK button.
void showError(const QStringList& texts);
// v times the UI size factor / 10, truncated.
int scaled(int v);
// Title bar `widgetTitle` (at most 40 high, scaled) holding the title line
// pieces `widgetLeft` and `widgetRight` around `labTitle`, which is returned.
QWidget* titleRow(QWidget* parent, QLabel** title);
// Margins and spacing of every layout under root times the size factor / 10.
void scaleLayouts(QWidget* root);
// Sets each widget's text named in `texts` (by object name) under root.
void applyTexts(QWidget* root, const QMap<QString, QStringList>& texts, int language);

} // namespace PanelParts
