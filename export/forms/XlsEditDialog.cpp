#include "export/forms/XlsEditDialog.h"

#include "app/MessagePassing.h"
#include "app/UiSize.h"
#include "export/forms/XlsLineEdit.h"
#include "measure/engine/ReportContent.h"

#include <QCloseEvent>
#include <QDate>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
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
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8("Varnel显微镜软件V4.1"));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size());

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* bar = new QWidget(this);
    bar->setObjectName("widget_btn");
    bar->setFixedHeight(41 * uiSizeFactor / 10);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(6, 0, 6, 0);
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    auto button = [&](const char* name, const char* zh, const char* en, const char* tw, const char* slot) {
        auto* b = new QToolButton(bar);
        b->setObjectName(name);
        b->setMinimumHeight(30);
        b->setText(QString::fromUtf8(lang == 0 ? zh : lang == 1 ? en : tw));
        connect(b, SIGNAL(clicked()), this, slot);
        barLayout->addWidget(b);
        return b;
    };
    btnAddTemplate = button("btnAddTemplate", "添加模板", "Add Template", "添加模板", SLOT(btnAddTemplateClick()));
    btnSubTemplate = button("btnSubTemplate", "删除模板", "Del Template", "刪除模板", SLOT(btnSubTemplateClick()));
    btnReName = button("btnReName", "重命名模板", "Rename Template", "重命名模板", SLOT(btnReNameClick()));
    btnSave = button("btnSave", "保存模板", "Save Template", "保存模板", SLOT(btnSaveClick()));
    auto* line = new QFrame(bar);
    line->setObjectName("line");
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    barLayout->addWidget(line);
    btnAddImage_ = button("btnAddImage", "添加图表", "Add Chart", "添加圖表", SLOT(btnAddImageClick()));
    btnSubImage = button("btnSubImage", "清除图表", "Clear Chart", "清除圖表", SLOT(btnSubImageClick()));
    btnAddTime_ = button("btnAddTime", "添加时间戳", "Add Time Stamp", "添加時間戳", SLOT(btnAddTimeClick()));
    btnSubTime = button("btnSubTime", "清除时间戳", "Clear Time Stamp", "清除時間戳", SLOT(btnSubTimeClick()));
    barLayout->addStretch(1);
    outer->addWidget(bar);

    auto* body = new QWidget(this);
    body->setObjectName("widget");
    body->setStyleSheet("QWidget#widget{\nbackground-color:rgb(200, 200, 200);\n}");
    auto* bodyLayout = new QHBoxLayout(body);
    bodyLayout->setContentsMargins(2, 2, 2, 2);
    bodyLayout->setSpacing(2);
    auto* grid = new QWidget(body);
    grid->setObjectName("widget_grid");
    grid->setMinimumWidth(245 * uiSizeFactor / 10);
    grid->setAttribute(Qt::WA_StyledBackground);
    grid->setStyleSheet("QWidget{\nbackground-color:rgb(250, 250, 250);\n}");
    bodyLayout->addWidget(grid);
    tableWidget = new QTableWidget(kGridSize, kGridSize, body);
    tableWidget->setObjectName("tableWidget");
    tableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    bodyLayout->addWidget(tableWidget, 1);
    outer->addWidget(body, 1);

    initTemplateList(grid, btnSubTemplate, btnReName, btnSave);
}

void XlsEditDialog::closeEvent(QCloseEvent* event) {
    MessagePassing::instance()->XlsEditDialogClose();
    QDialog::closeEvent(event);
}

void XlsEditDialog::message(const char* title, const char* zh, const char* en, const char* tw) {
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    QMessageBox box(title == QLatin1String("Error") ? QMessageBox::Warning : QMessageBox::Information, title,
                    QString::fromUtf8(lang == 0 ? zh : lang == 1 ? en : tw), QMessageBox::Ok);
    box.exec();
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
    const QSettings file(templateFile(name), QSettings::IniFormat);
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

void XlsEditDialog::initNewTemplate(const QString& file) {
    if (MessagePassing::instance()->language() != 1)
        return;
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue("strList", ReportContent::EnglishXlsFields());
    settings.sync();
}

void XlsEditDialog::btnAddImageClick() {
    const QPoint cell = currentCell();
    if (!btnAddTime_->isEnabled() && insideBlock(m_timePos, cell)) {
        message("Error", "有叠加区域，添加未成功！", "There is an overlapping area and the addition was unsuccessful!",
                "有疊加區域，添加未成功！");
        return;
    }
    btnAddImage(cell);
}

void XlsEditDialog::btnAddImage(QPoint pos) {
    m_imagePos = pos;
    for (int r = pos.y(); r < pos.y() + kBlock; ++r) {
        for (int c = pos.x(); c < pos.x() + kBlock; ++c) {
            if (r < 0 || c < 0 || r >= kGridSize || c >= kGridSize)
                continue; // shown clipped
            QTableWidgetItem* item = tableWidget->item(r, c);
            if (!item)
                tableWidget->setItem(r, c, item = new QTableWidgetItem);
            item->setText(QString());
            item->setFlags(Qt::ItemIsEnabled);
            item->setBackground(Qt::gray);
        }
    }
    btnAddImage_->setEnabled(false);
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
        message("Error", "有叠加区域，添加未成功！", "There is an overlapping area and the addition was unsuccessful!",
                "有疊加區域，添加未成功！");
        return;
    }
    btnAddTime(cell);
}

void XlsEditDialog::btnAddTime(QPoint pos) {
    m_timePos = pos;
    if (pos.x() >= 0 && pos.y() >= 0 && pos.x() < kGridSize && pos.y() < kGridSize) {
        QTableWidgetItem* item = tableWidget->item(pos.y(), pos.x());
        if (!item)
            tableWidget->setItem(pos.y(), pos.x(), item = new QTableWidgetItem);
        item->setText(QDate::currentDate().toString("yyyy-MM-dd"));
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(Qt::gray);
    }
    btnAddTime_->setEnabled(false);
}

void XlsEditDialog::btnSubTimeClick() {
    if (placed(m_timePos))
        delete tableWidget->takeItem(m_timePos.y(), m_timePos.x());
    m_timePos = QPoint(-1, -1);
    btnAddTime_->setEnabled(true);
}

void XlsEditDialog::btnSaveClick() {
    if (XlsLineEdit* entry = selectedEntry())
        entry->lineEditReturnPressed();
    btnSave->setFocus(); // a cell still being edited keeps its text
    QTimer::singleShot(30, this, SLOT(btnSaveDelay()));
}

void XlsEditDialog::btnSaveDelay() {
    XlsLineEdit* entry = selectedEntry();
    if (!entry || entry->text() == QLatin1String("default"))
        return;
    if (btnAddImage_->isEnabled()) {
        message("Error", "请添加图表！", "Please add a Chart！", "請添加圖表！");
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

    QSettings file(templateFile(entry->text()), QSettings::IniFormat);
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
    file.sync();
    message("Success", "保存成功！", "Successfully saved！", "保存成功！");
}
