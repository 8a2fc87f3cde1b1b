#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <initializer_list>

class QComboBox;
class QEvent;
class QLabel;
class QObject;
class QToolButton;
class QVBoxLayout;
class QWidget;

// Small pieces the measurement panels share: the title strip of the left
// column, the sizing step by the UI size factor, colour boxes, step buttons,
// hover hints and one-key INI writes. GUI thread only.
class PanelKit {
public:
    // Object name (or fixed key) -> texts in simplified Chinese, English and
    // traditional Chinese, by language index.
    using TextMap = QMap<QString, QStringList>;

    // Adds rows of {key, simplified Chinese, English, traditional Chinese}.
    static void fill(TextMap& map, std::initializer_list<std::array<const char*, 4>> rows);
    // The text of key in language lang (0 when out of range); empty when the
    // map lacks the key.
    static QString text(const TextMap& map, const QString& key, int lang);

    // widgetTitle<suffix> holding widgetLeft<suffix>, labTitle<suffix> (30
    // high) and widgetRight<suffix>, margins 10, 0, 10, 0, at most 40 high.
    // The two side strips carry the title line picture.
    static QWidget* titleStrip(QWidget* parent, const QString& suffix = QString());

    // v * f / 10 truncated, and rounded to the nearest (halves away from zero),
    // f being the UI size factor.
    static int truncated(int v);
    static int rounded(int v);
    // Size and position of w multiplied by f / 10, rounded.
    static void scaleGeometry(QWidget* w);
    // Minimum and maximum sizes of w multiplied by f / 10, rounded.
    static void scaleMinMax(QWidget* w);
    // Minimum and maximum heights of w multiplied by f / 10, truncated.
    static void scaleHeights(QWidget* w);
    // Contents margins and spacing of every layout under root (root's own
    // included) multiplied by f / 10, truncated.
    static void scaleLayouts(QWidget* root);

    // One item per colour-list entry: no text, an icon filled with the colour
    // at the box's size; the icon size is the box's size.
    static void fillColourBox(QComboBox* box);
    // A - or + button: no text, auto-raise, icon ":/res/btnSub_<f>.png" or
    // ":/res/btnAdd_<f>.png" as large as the button.
    static void stepButton(QToolButton* b, bool add);
    // An icon-only tool button: ":/res/<folder>/<object name>_<f>.png" scaled
    // to the button's (minimum) width, icon as large as the button, auto-raise.
    static void iconButton(QToolButton* b, const QString& folder);

    // The hover hint of a text-less button: Enter and MouseButtonRelease show
    // the watched widget's text over the middle of its top edge, Leave hides
    // it. Never consumes the event.
    static void hoverHint(QObject* watched, QEvent* event, const TextMap& map);

    // Sets key to value in the INI file, whole through FileCommit; the
    // "Error" box when it cannot (the file then as it was).
    static void writeKey(const QString& file, const QString& key, const QVariant& value);

    // A child widget named name.
    template <class T> static T* make(QWidget* parent, const char* name) {
        auto* w = new T(parent);
        w->setObjectName(name);
        return w;
    }
    // A vertical layout on w without spacing or margins.
    static QVBoxLayout* column(QWidget* w);
    // A row widget named name with a horizontal layout of that spacing and
    // left and right margins `side`.
    static QWidget* row(QWidget* parent, const char* name, int spacing, int side);
};
