#include "panels/measure/MeasureDataForm.h"

#include "app/hub/MessagePassing.h"
#include "panels/measure/DataTableWidget.h"

#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

MeasureDataForm::MeasureDataForm(QWidget* parent) : QWidget(parent) {
    setObjectName("MeasureDataForm");
    resize(274, 300);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* outer = new QVBoxLayout(this);
    outer->setObjectName("verticalLayout");
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* title = PanelKit::titleStrip(this);
    title->setMinimumHeight(40);
    outer->addWidget(title);
    labTitle = title->findChild<QLabel*>("labTitle");
    auto* content = new QWidget(this);
    content->setObjectName("widgetContent");
    auto* inner = new QVBoxLayout(content);
    inner->setObjectName("verticalLayout_2");
    inner->setSpacing(0);
    inner->setContentsMargins(0, 0, 0, 0);
    tableWidget = new DataTableWidget(content);
    tableWidget->setObjectName("tableWidget");
    inner->addWidget(tableWidget);
    outer->addWidget(content);

    DataTableWidget* t = tableWidget;
    t->setColumnCount(10);
    t->setRowCount(100);
    t->setFrameShape(QFrame::StyledPanel);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    // A number is never cut at its front: columns grow to their contents,
    // and whatever is still too wide loses its end, not its leading digits.
    t->setTextElideMode(Qt::ElideRight);
    t->setShowGrid(true);
    t->setGridStyle(Qt::SolidLine);
    t->setSortingEnabled(false);
    t->setWordWrap(true);
    t->setAutoScroll(true);
    QHeaderView* h = t->horizontalHeader();
    h->setVisible(true);
    h->setMinimumSectionSize(60);
    h->setHighlightSections(false);
    h->setSortIndicatorShown(false);
    h->setStretchLastSection(false);
    QHeaderView* v = t->verticalHeader();
    v->setVisible(true);
    v->setHighlightSections(true);
    v->setSortIndicatorShown(false);
    v->setStretchLastSection(false);
    for (QHeaderView* header : {h, v}) {
        header->setFrameShape(QFrame::Box);
        header->setFrameShadow(QFrame::Sunken);
        header->setLineWidth(1);
    }

    // Sizes by the UI size factor.
    resize(PanelKit::truncated(width()), PanelKit::truncated(height()));
    title->setMinimumHeight(PanelKit::truncated(40));
    title->setMaximumHeight(PanelKit::truncated(40));
    for (QWidget* w : content->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        PanelKit::scaleGeometry(w);
    h->setDefaultSectionSize(PanelKit::truncated(105));
    h->setStyleSheet(QString("QHeaderView::section{height:%1px;}").arg(PanelKit::truncated(35)));

    PanelKit::fill(m_texts, {
        {"labTitle", "测量数据", "Measure Data", "測量數據"},
        {"HEADER_0", "名称", "Name", "名稱"},
        {"HEADER_1", "距离", "Length", "距離"},
        {"HEADER_2", "周长", "Girth", "周長"},
        {"HEADER_3", "面积", "Area", "面積"},
        {"HEADER_4", "角度", "Angle", "角度"},
        {"HEADER_5", "弧度", "Radian", "弧度"},
        {"HEADER_6", "宽度", "Width", "寬度"},
        {"HEADER_7", "高度", "High", "高度"},
        {"HEADER_8", "半径", "Radii", "半徑"},
        {"HEADER_9", "直径", "D", "直徑"},
    });

    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(updateMeasureDataSignal(int, int, QList<QString>, QList<QString>)), this,
            SLOT(updatemeasureDataSlot(int, int, QList<QString>, QList<QString>)));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    changeLanguageSLOT(hub->language());
}

MeasureDataForm::~MeasureDataForm() = default;

QList<int> MeasureDataForm::valueIndexes() const {
    QList<int> out;
    for (int c = 1; c <= 9; ++c) {
        const QTableWidgetItem* header = tableWidget->horizontalHeaderItem(c);
        out << (header ? header->data(1).toInt() : c) - 1;
    }
    return out;
}

void MeasureDataForm::updatemeasureDataSlot(int start, int end, QList<QString> names, QList<QString> values) {
    DataTableWidget* t = tableWidget;
    t->dropOpenEdit();
    const QList<int> index = valueIndexes();
    if (start == -1 && end == -1) {
        const int n = names.size();
        const int count = values.size();
        const QString none;
        t->setRowCount(0);
        t->setRowCount((n / 100 + 1) * 100);
        for (int r = 0; r < n; ++r) {
            t->setItem(r, 0, new QTableWidgetItem(names.at(r)));
            for (int c = 1; c <= 9; ++c) {
                const int k = 9 * r + index.at(c - 1);
                t->setItem(r, c, new QTableWidgetItem(k >= 0 && k < count ? values.at(k) : none));
            }
        }
        fitColumns();
        return;
    }
    t->setCurrentCell(start, 0);
    for (int r = start; r <= end; ++r) {
        const int i = r - start;
        if (names.size() <= 1 || r == start) {
            if (QTableWidgetItem* name = t->item(r, 0))
                name->setText(names.value(0));
        }
        for (int c = 1; c <= 9; ++c)
            if (QTableWidgetItem* cell = t->item(r, c))
                cell->setText(values.value(9 * i + index[c - 1]));
    }
    fitColumns();
}

void MeasureDataForm::fitColumns() {
    DataTableWidget* t = tableWidget;
    const int least = t->horizontalHeader()->defaultSectionSize();
    for (int c = 0; c < t->columnCount(); ++c) {
        t->resizeColumnToContents(c);
        if (t->columnWidth(c) < least)
            t->setColumnWidth(c, least);
    }
}

void MeasureDataForm::changeLanguageSLOT(int language) {
    labTitle->setText(PanelKit::text(m_texts, "labTitle", language));
    const int lang = MessagePassing::instance()->language();
    for (int c = 0; c < 10; ++c) {
        QTableWidgetItem* header = tableWidget->horizontalHeaderItem(c);
        if (!header)
            header = new QTableWidgetItem();
        header->setText(PanelKit::text(m_texts, QString("HEADER_%1").arg(c), lang));
        header->setData(1, c);
        tableWidget->setHorizontalHeaderItem(c, header);
    }
}
