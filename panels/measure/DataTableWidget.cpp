#include "panels/measure/DataTableWidget.h"

#include "app/hub/MessagePassing.h"

#include <QMouseEvent>

DataTableWidget::DataTableWidget(QWidget* parent) : QTableWidget(parent) {
    for (int c = 0; c < 10; ++c)
        m_codes << c;
    connect(this, SIGNAL(itemSelectionChanged()), this, SLOT(itemSelectionChanged()));
    connect(MessagePassing::instance(), SIGNAL(setIsCanMoveItemSIGNAL(bool)), this,
            SLOT(setIsCanMoveItemSLOT(bool)));
}

void DataTableWidget::setIsCanMoveItemSLOT(bool on) { m_editAllowed = on; }

void DataTableWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidgetItem* item = itemAt(event->pos());
    if (!item) {
        QTableWidget::mouseDoubleClickEvent(event);
        return;
    }
    const QString text = item->text();
    const int code = m_codes.value(item->column(), 0);
    if (text == "0.00")
        return;
    if (code != 1 && code != 4 && code != 6 && code != 7 && code != 8 && code != 9)
        return;
    if (code == 1 && (text.contains("Avg") || text.contains("Max") || text.contains("Min")))
        return;
    if (!m_editAllowed)
        return;
    dropOpenEdit();
    m_editItem = item;
    connect(this, SIGNAL(itemChanged(QTableWidgetItem*)), this, SLOT(itemChangedSlot(QTableWidgetItem*)),
            Qt::UniqueConnection);
    editItem(item);
}

void DataTableWidget::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // A committed change has been sent by now; an unchanged cell sends nothing
    // later either.
    QTableWidget::closeEditor(editor, hint);
    disconnect(this, SIGNAL(itemChanged(QTableWidgetItem*)), this, SLOT(itemChangedSlot(QTableWidgetItem*)));
    m_editItem = nullptr;
}

void DataTableWidget::dropOpenEdit() {
    if (!m_editItem)
        return;
    disconnect(this, SIGNAL(itemChanged(QTableWidgetItem*)), this, SLOT(itemChangedSlot(QTableWidgetItem*)));
    if (QWidget* editor = indexWidget(indexFromItem(m_editItem)))
        QTableWidget::closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    m_editItem = nullptr;
}

void DataTableWidget::itemChangedSlot(QTableWidgetItem* item) {
    disconnect(this, SIGNAL(itemChanged(QTableWidgetItem*)), this, SLOT(itemChangedSlot(QTableWidgetItem*)));
    const bool opened = item == m_editItem;
    m_editItem = nullptr;
    if (!opened)
        return;
    const int row = item->tableWidget() ? item->row() : -1;
    int code = item->tableWidget() ? m_codes.value(item->column(), 0) : 0;
    bool set = false;
    double value = item->text().toDouble(&set);
    if (code == 9) {
        code = 8;
        value /= 2.0;
    }
    MessagePassing::instance()->setMeasureItemData(row, code, value, set);
}

void DataTableWidget::itemSelectionChanged() { MessagePassing::instance()->selectItemFromIndex(currentRow()); }
