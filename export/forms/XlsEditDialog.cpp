#include "export/forms/XlsEditDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "export/forms/XlsLineEdit.h"
#include "measure/engine/ReportContent.h"
#include "platform/RegularFile.h"

#include <QDate>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QSettings>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kGridSize = 50;
constexpr int kBlock = 10;

bool placed(const QPoint& p) {
    return p.x() >= 0 && p.y() >= 0;
}

bool insideBlock(const QPoint& cell, const QPoint& block) {
    return cell.x() >= block.x() && cell.x() < block.x() + kBlock && cell.y() >= block.y() &&
           cell.y() < block.y() + kBlock;
}
} // namespace

XlsEditDialog::XlsEditDialog(QWidget* parent) : TemplateEditDialog("./Template", parent) {
    setObjectName("XlsEditDialog");
    setWindowModality(Qt::ApplicationModal);
    auto* line = new QFrame(this);
    line->setObjectName("line");
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    m_barLayout->addWidget(line);
    btnAddImage_ = barButton("btnAddImage", "添加图表", "Add Chart", "添加圖表", SLOT(btnAddImageClick()));
    btnSubImage = barButton("btnSubImage", "清除图表", "Clear Chart", "清除圖表", SLOT(btnSubImageClick()));
    btnAddTime_ = barButton("btnAddTime", "添加时间戳", "Add Time Stamp", "添加時間戳", SLOT(btnAddTimeClick()));
    btnSubTime = barButton("btnSubTime", "清除时间戳", "Clear Time Stamp", "清除時間戳", SLOT(btnSubTimeClick()));
    m_barLayout->addStretch(1);

    QHBoxLayout* bodyLayout = buildBody();
    tableWidget = new QTableWidget(kGridSize, kGridSize, bodyLayout->parentWidget());
    tableWidget->setObjectName("tableWidget");
    tableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    bodyLayout->addWidget(tableWidget, 1);
    initTemplateList();
}

void XlsEditDialog::announceClosed() {
    MessagePassing::instance()->XlsEditDialogClose();
}

void XlsEditDialog::overlapMessage() {
    showMessage("Error", "有叠加区域，添加未成功！", "There is an overlapping area and the addition was unsuccessful!",
            "有疊加區域，添加未成功！");
}

QPoint XlsEditDialog::currentCell() const {
    return QPoint(tableWidget->currentColumn(), tableWidget->currentRow());
}

void XlsEditDialog::selectionChanged() {
    tableWidget->clearSelection();
    if (!selectedEntry()) {
        tableWidget->clearContents();
        m_imagePos = m_timePos = QPoint(-1, -1);
    }
}

void XlsEditDialog::loadTemplate(const QString& name) {
    m_imagePos = m_timePos = QPoint(-1, -1);
    tableWidget->clearContents();
    btnAddImage_->setEnabled(true);
    btnAddTime_->setEnabled(true);
    const QSettings file(RegularFile::settingsName(templateFile(name)), QSettings::IniFormat);
    const QPoint image = file.value("imagePos", QPoint(-1, -1)).toPoint();
    if (image.x() != -1 && image.y() != -1)
        btnAddImage(image);
    const int bottom = image.y() + kBlock;
    const int left = image.x();
    auto position = [&](const QString& up, const QString& down) {
        const QPoint u = file.value(up, QPoint(-1, -1)).toPoint();
        if (u.x() != -1 && u.y() != -1)
            return u;
        const QPoint d = file.value(down, QPoint(-1, -1)).toPoint();
        if (d.x() != -1 && d.y() != -1)
            return QPoint(left + d.x(), bottom + d.y());
        return QPoint(-1, -1);
    };
    const QPoint time = position("timePos_UP", "timePos_DOWN");
    if (time != QPoint(-1, -1))
        btnAddTime(time);
    QStringList texts = file.value("strList").toStringList();
    if (name == QLatin1String("default") && MessagePassing::instance()->language() == 1)
        texts = ReportContent::EnglishXlsFields();
    for (int i = 0; i < texts.size(); ++i) {
        const QPoint at = position(QString("pos_%1_UP").arg(i), QString("pos_%1_DOWN").arg(i));
        if (at.x() < 0 || at.y() < 0 || at.x() >= kGridSize || at.y() >= kGridSize)
            continue; // off the grid: nowhere to show it
        QTableWidgetItem* item = tableWidget->item(at.y(), at.x());
        if (!item)
            tableWidget->setItem(at.y(), at.x(), item = new QTableWidgetItem);
        item->setText(texts[i]);
    }
}

bool XlsEditDialog::initNewTemplate(const QString& file) {
    if (MessagePassing::instance()->language() != 1)
        return true;
    return saveSettings(file, [](QSettings& settings) { settings.setValue("strList", ReportContent::EnglishXlsFields()); });
}

void XlsEditDialog::btnAddImageClick() {
    const QPoint cell = currentCell();
    if (!btnAddTime_->isEnabled() && insideBlock(m_timePos, cell)) {
        overlapMessage();
        return;
    }
    btnAddImage(cell);
}

void XlsEditDialog::btnAddImage(QPoint pos) {
    m_imagePos = pos;
    for (int r = pos.y(); r < pos.y() + kBlock; ++r) {
        for (int c = pos.x(); c < pos.x() + kBlock; ++c) {
            markCell(QPoint(c, r), QString()); // off the grid: shown clipped
        }
    }
    btnAddImage_->setEnabled(false);
}

void XlsEditDialog::markCell(const QPoint& cell, const QString& text) {
    if (cell.x() < 0 || cell.y() < 0 || cell.x() >= kGridSize || cell.y() >= kGridSize)
        return;
    QTableWidgetItem* item = tableWidget->item(cell.y(), cell.x());
    if (!item)
        tableWidget->setItem(cell.y(), cell.x(), item = new QTableWidgetItem);
    item->setText(text);
    item->setFlags(Qt::ItemIsEnabled); // neither selectable nor editable
    item->setBackground(Qt::gray);
}

void XlsEditDialog::btnSubImageClick() {
    if (placed(m_imagePos)) {
        for (int r = m_imagePos.y(); r < m_imagePos.y() + kBlock; ++r)
            for (int c = m_imagePos.x(); c < m_imagePos.x() + kBlock; ++c)
                delete tableWidget->takeItem(r, c);
    }
    m_imagePos = QPoint(-1, -1);
    btnAddImage_->setEnabled(true);
}

void XlsEditDialog::btnAddTimeClick() {
    const QPoint cell = currentCell();
    if (!btnAddImage_->isEnabled() && insideBlock(cell, m_imagePos)) {
        overlapMessage();
        return;
    }
    btnAddTime(cell);
}

void XlsEditDialog::btnAddTime(QPoint pos) {
    m_timePos = pos;
    markCell(pos, QDate::currentDate().toString("yyyy-MM-dd"));
    btnAddTime_->setEnabled(false);
}

void XlsEditDialog::btnSubTimeClick() {
    if (placed(m_timePos))
        delete tableWidget->takeItem(m_timePos.y(), m_timePos.x());
    m_timePos = QPoint(-1, -1);
    btnAddTime_->setEnabled(true);
}

void XlsEditDialog::btnSaveDelay() {
    XlsLineEdit* entry = selectedEntry();
    if (!entry || entry->text() == QLatin1String("default"))
        return;
    if (btnAddImage_->isEnabled()) {
        showMessage("Error", "请添加图表！", "Please add a Chart！", "請添加圖表！");
        return;
    }
    struct Field {
        QPoint cell;
        QString text;
    };
    QList<Field> fields;
    for (int r = 0; r < kGridSize; ++r)
        for (int c = 0; c < kGridSize; ++c)
            if (QTableWidgetItem* item = tableWidget->item(r, c))
                if (!item->text().isEmpty() && QPoint(c, r) != m_timePos)
                    fields.append({QPoint(c, r), item->text()});

    const auto write = [&](QSettings& file) {
        file.clear();
        file.setValue("imagePos", m_imagePos);
        const int bottom = m_imagePos.y() + kBlock;
        auto relative = [&](const QPoint& cell) { return QPoint(cell.x() - m_imagePos.x(), cell.y() - bottom); };
        if (btnAddTime_->isEnabled()) {
            file.setValue("timePos_HAVE", false);
        } else {
            file.setValue("timePos_HAVE", true);
            if (m_timePos.y() >= bottom)
                file.setValue("timePos_DOWN", relative(m_timePos));
            else
                file.setValue("timePos_UP", m_timePos);
        }
        QStringList texts;
        for (const Field& f : fields)
            texts << f.text;
        file.setValue("strList", texts);
        for (int i = 0; i < fields.size(); ++i) {
            if (fields[i].cell.y() >= bottom)
                file.setValue(QString("pos_%1_DOWN").arg(i), relative(fields[i].cell));
            else
                file.setValue(QString("pos_%1_UP").arg(i), fields[i].cell);
        }
    };
    if (!saveSettings(templateFile(entry->text()), write))
        return; // nothing was saved: no success to claim
    savedMessage();
}
