#include "app/hub/SaveFileDialog.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>

namespace {
// The suffixes named by filter text ("jpg(*.jpg);; png(*.png)"), in order.
QStringList suffixesOf(const QString& filters) {
    static const QRegularExpression pattern("\\*\\.(\\w+)");
    QStringList found;
    auto it = pattern.globalMatch(filters);
    while (it.hasNext())
        found << it.next().captured(1).toLower();
    return found;
}
} // namespace

SaveFileDialog::SaveFileDialog(QWidget* parent, const QString& caption, const QString& start, const QString& filter)
    : QFileDialog(parent, caption, start, filter), m_filters(filter) {
    setAcceptMode(QFileDialog::AcceptSave);
    // Only Qt's own dialog passes through accept(), where the suffix is added.
    setOption(QFileDialog::DontUseNativeDialog);
}

QString SaveFileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& start,
                                        const QString& filter, QString* selectedFilter) {
    SaveFileDialog dialog(parent, caption, start, filter);
    if (selectedFilter && !selectedFilter->isEmpty())
        dialog.selectNameFilter(*selectedFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().first();
}

QString SaveFileDialog::withSuffix(const QString& name, const QString& chosenFilter, const QString& filters) {
    QStringList known = suffixesOf(filters);
    if (known.contains("jpg"))
        known << "jpeg";
    if (known.contains("tiff"))
        known << "tif";
    // The suffix of the file name: a folder may have a dot too.
    if (known.contains(QFileInfo(name).suffix().toLower()))
        return name;
    QString suffix = suffixesOf(chosenFilter).value(0);
    if (suffix.isEmpty())
        suffix = suffixesOf(filters).value(0, "jpg");
    QString base = name;
    while (base.endsWith('.')) // "name." means no suffix, not an empty one
        base.chop(1);
    return base + "." + suffix;
}

void SaveFileDialog::accept() {
    const QStringList files = selectedFiles();
    if (files.size() == 1 && !files.first().isEmpty() && !QFileInfo(files.first()).isDir()) {
        const QString named = withSuffix(files.first(), selectedNameFilter(), m_filters);
        // Into the name field itself: selectFile leaves a field that has the
        // focus as it is.
        auto* field = findChild<QLineEdit*>("fileNameEdit");
        if (named != files.first() && field) {
            const QFileInfo info(named);
            field->setText(info.absolutePath() == directory().absolutePath() ? info.fileName() : named);
        } else if (named != files.first()) {
            selectFile(named);
        }
    }
    // Qt's own checks follow, the question about an existing file among them.
    QFileDialog::accept();
}
