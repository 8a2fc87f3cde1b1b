#pragma once

#include "panels/measure/PanelKit.h"

#include <QList>
#include <QString>
#include <QWidget>

class DataTableWidget;
class QLabel;

// The measurement data panel "Measure Data": one DataTableWidget filled only
// from the engine's updateMeasureDataSignal. A full refresh (start = end =
// -1) rebuilds every row, in blocks of 100; a partial refresh rewrites the
// rows start..end of one shape and selects the first. GUI thread only.
class MeasureDataForm : public QWidget {
    Q_OBJECT
public:
    explicit MeasureDataForm(QWidget* parent = nullptr);
    ~MeasureDataForm() override;
    DataTableWidget* table() const { return tableWidget; }

public slots:
    void updatemeasureDataSlot(int start, int end, QList<QString> names, QList<QString> values);
    void changeLanguageSLOT(int language);

private:
    // Value index (code - 1) of each value column 1..9, read from the header items.
    QList<int> valueIndexes() const;
    // Every column as wide as its widest text, never below the default width.
    void fitColumns();

    PanelKit::TextMap m_texts;
    QLabel* labTitle = nullptr;
    DataTableWidget* tableWidget = nullptr;
};
