#pragma once

#include <QList>
#include <QTableWidget>

// The table of the measurement data panel: ten columns (name and nine
// values), whole-row single selection, cells opened for editing only by a
// double click on an editable value. A selected row is reported to the
// engine (selectItemFromIndexSignal); the one change of an opened cell goes
// out as an edit (setMeasureItemDataSignal). GUI thread only.
class DataTableWidget : public QTableWidget {
    Q_OBJECT
public:
    explicit DataTableWidget(QWidget* parent = nullptr);

    // Closes an open editor without sending it: the rows are about to be
    // rewritten by a refresh, so nothing written then is an edit.
    void dropOpenEdit();

public slots:
    void itemChangedSlot(QTableWidgetItem* item);
    void itemSelectionChanged();
    void setIsCanMoveItemSLOT(bool on);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    QList<int> m_codes;
    bool m_editAllowed = true;
    // The cell whose editor is open; only its change is sent.
    QTableWidgetItem* m_editItem = nullptr;
};
