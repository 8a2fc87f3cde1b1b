#pragma once

#include <QFileDialog>

// The program's save dialog. A name typed without a suffix gets the chosen
// type's suffix before the dialog checks whether the file exists, so the
// question about replacing a file is asked about the file that will be
// written, exactly as for a name typed in full. GUI thread.
class SaveFileDialog : public QFileDialog {
    Q_OBJECT
public:
    // start: a folder, or a file name to preselect in its folder; filter:
    // the types as "jpg(*.jpg);; png(*.png)".
    SaveFileDialog(QWidget* parent, const QString& caption, const QString& start, const QString& filter);

    // Runs the dialog; the chosen file with its suffix, empty when cancelled.
    // selectedFilter, when given, preselects a type and receives the chosen one.
    static QString getSaveFileName(QWidget* parent, const QString& caption, const QString& start,
                                   const QString& filter, QString* selectedFilter = nullptr);

    // name as written: unchanged when its suffix is one of the types in
    // filters (jpeg and tif count as jpg and tiff); otherwise with the suffix
    // of chosenFilter ("png(*.png)"), or of the first type when none is
    // chosen, after any trailing dots.
    static QString withSuffix(const QString& name, const QString& chosenFilter, const QString& filters);

public slots:
    void accept() override;

private:
    QString m_filters;
};
