#pragma once

class QSettings;

#include <QMap>
#include <QMargins>
#include <QLayout>
#include <QVariant>
#include <QWidget>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;

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
// The frame of a settings panel: a vertical layout with the title row on top
// and the widget `widgetContent` below it; returns the content's column.
class QVBoxLayout* panelFrame(QWidget* panel, QLabel** title, QMargins contentMargins = {});
// The scanner box of a settings panel was switched: isGunMode stored in file;
// on: the hub's scanner mode becomes `mode` (1 snapshots, 2 recordings) and the
// other panel is told to clear its box; off: scanner mode 0.
void scannerBoxToggled(const QString& file, bool on, int mode);
// The name-prefix field `edit` lost the focus: stores its trimmed text as
// autoNameBegin in file, or `fallback` (also shown) when the text is blank or
// would name another folder; a changed prefix restarts autoNameIndex at 0.
void storePrefix(QLineEdit* edit, const QString& file, const QString& fallback);
// The stored "autoNameBegin" of ini, or fallback when it is not a prefix a
// user could type (empty, ".", "..", a path separator): a stored name never
// leads a file out of its folder.
QString storedPrefix(const QSettings& ini, const QString& fallback);
// A settings row: a widget named `name` with a horizontal layout of these
// margins, added to column.
QWidget* addRow(QWidget* parent, class QVBoxLayout* column, const char* name, QMargins margins);
// The hub's style sheets on every input control under root; line edits,
// buttons and combo boxes get the height `height` times the size factor / 10.
void styleControls(QWidget* root, int height = 24);
// A modal folder chooser owned by parent; the first chosen folder, or an
// empty text when cancelled.
QString chooseFolder(QWidget* parent);
// Stores one value in an INI file, whole through FileCommit; the "Error"
// box when it cannot (the file then as it was).
void store(const QString& file, const QString& key, const QVariant& value);
// A new control of type T named `name` at the end of row's layout.
template <class T> T* addTo(QWidget* row, const char* name) {
    auto* w = new T(row);
    w->setObjectName(name);
    row->layout()->addWidget(w);
    return w;
}
// Sets each widget's text named in `texts` (by object name) under root.
void applyTexts(QWidget* root, const QMap<QString, QStringList>& texts, int language);

} // namespace PanelParts
