#include "imaging/SnapHistory.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "imaging/SnapHistoryGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kMaxCells = 50;
int scaled(int designed) { return designed * uiSizeFactor / 10; }
} // namespace

SnapHistory::SnapHistory(QWidget* parent) : QWidget(parent) {
    setObjectName("SnapHistory");
    setStyleSheet("background-color:rgb(210, 210, 210);");
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    widgetTitle = new QWidget(this);
    widgetTitle->setObjectName("widgetTitle");
    widgetTitle->setFixedHeight(scaled(40));
    auto* titleLayout = new QHBoxLayout(widgetTitle);
    titleLayout->setContentsMargins(10, 0, 10, 0);
    auto line = [this](const char* name) {
        auto* w = new QWidget(widgetTitle);
        w->setObjectName(name);
        w->setFixedHeight(1);
        w->setStyleSheet("QWidget{background:url(:/res/MeasureForm/line.png);}");
        return w;
    };
    titleLayout->addWidget(line("widgetLeft"));
    labTitle = new QLabel(widgetTitle);
    labTitle->setObjectName("labTitle");
    labTitle->setMinimumHeight(30);
    labTitle->setAlignment(Qt::AlignCenter);
    titleLayout->addWidget(labTitle);
    titleLayout->addWidget(line("widgetRight"));
    layout->addWidget(widgetTitle);

    widgetContent = new QWidget(this);
    widgetContent->setObjectName("widgetContent");
    auto* layoutContent = new QVBoxLayout(widgetContent);
    layoutContent->setObjectName("layoutContent");
    layoutContent->setSpacing(0);
    layoutContent->setContentsMargins(0, 0, 0, 0);
    scrollArea = new QScrollArea(widgetContent);
    scrollArea->setObjectName("scrollArea");
    scrollArea->setWidgetResizable(true);
    scrollArea->setMinimumHeight(600);
    scrollContent = new QWidget();
    scrollContent->setObjectName("scrollContent");
    scrollContent->resize(200, 728);
    scrollContent->setMinimumWidth(scaled(280));
    scrollArea->setWidget(scrollContent);
    layoutContent->addWidget(scrollArea);
    layout->addWidget(widgetContent);
    resize(scaled(200), scaled(768));

    languageTable.insert("labTitle", {"最近拍摄", "Recently Photos", "最近拍攝"});
    MessagePassing* hub = MessagePassing::instance();
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(addImageHistorySIGNAL(int, QString)), this, SLOT(addImageHistorySLOT(int, QString)));
    connect(hub, SIGNAL(selectSnapHistoryLastSIGNAL()), this, SLOT(selectSnapHistoryLastSLOT()));
    connect(hub, SIGNAL(removeImageHistorySIGNAL(int)), this, SLOT(removeImageHistorySLOT(int)));
    connect(hub, SIGNAL(removeAllImageHistorySIGNAL()), this, SLOT(removeAllImageHistorySLOT()));
    changeLanguageSLOT(hub->language());
}

SnapHistory::~SnapHistory() {
    thread.stop();
    thread.wait();
}

SnapHistoryGrid* SnapHistory::newCell() {
    auto* cell = new SnapHistoryGrid(scrollContent);
    connect(cell, SIGNAL(seclectSIGNAL()), this, SLOT(seclectSLOT()));
    return cell;
}

void SnapHistory::dropAllCells() {
    // The worker hands thumbnails to the cells' labels: it ends before they go.
    thread.stop();
    thread.wait();
    for (SnapHistoryGrid* cell : cellList)
        cell->deleteLater();
    cellList.clear();
    scrollContent->setMinimumHeight(scrollArea->height());
}

void SnapHistory::showAndReload() {
    widgetContent->show();
    dropAllCells();
    thread.clearItems();
    MessagePassing* hub = MessagePassing::instance();
    const QString editPath = hub->getEditImagePath();
    const int n = hub->getImageHistoryTotalCnt();
    for (int i = 0; i < n; ++i) {
        SnapHistoryGrid* cell = newCell();
        const QString path = hub->getImageHistoryPath(i);
        cell->setData(QFileInfo(path), i, false);
        thread.addItem(QString("./.scaleImage/%1.jpg").arg(i), cell->imageLabel());
        if (!editPath.isEmpty() && path == editPath)
            cell->setSelected();
        cell->show();
        cellList.append(cell);
    }
    renewLayout();
    if (!thread.isRunning())
        thread.start();
}

void SnapHistory::renewLayout() {
    int y = 0;
    for (int i = cellList.size() - 1; i >= 0; --i) {
        SnapHistoryGrid* cell = cellList[i];
        cell->move((scrollContent->width() - cell->width()) / 2, y);
        y += cell->height() + scaled(10);
    }
    if (y > scrollArea->height())
        scrollContent->setMinimumHeight(y);
}

void SnapHistory::changeLanguageSLOT(int language) {
    labTitle->setText(languageTable["labTitle"].value(language, languageTable["labTitle"].value(0)));
}

void SnapHistory::seclectSLOT() {
    for (SnapHistoryGrid* cell : cellList)
        if (cell != sender())
            cell->setUnselected();
}

void SnapHistory::addImageHistorySLOT(int index, QString path) {
    for (SnapHistoryGrid* cell : cellList) {
        if (cell->picture().filePath() == path) {
            cell->setData(QFileInfo(path), index, true);
            return;
        }
    }
    SnapHistoryGrid* cell = newCell();
    cell->setData(QFileInfo(path), index, true);
    cell->move((scrollContent->width() - cell->width()) / 2, 0);
    cell->show();
    cellList.append(cell);
    if (cellList.size() > kMaxCells) {
        SnapHistoryGrid* oldest = cellList.takeFirst();
        thread.skipLabel(oldest->imageLabel());
        oldest->deleteLater();
    }
    renewLayout();
}

void SnapHistory::selectSnapHistoryLastSLOT() { QTimer::singleShot(200, this, SLOT(selectSnapHistoryLastDelay())); }

void SnapHistory::selectSnapHistoryLastDelay() {
    if (cellList.isEmpty())
        return;
    for (SnapHistoryGrid* cell : cellList)
        if (cell != cellList.last())
            cell->setUnselected();
    cellList.last()->setSelected();
}

void SnapHistory::removeImageHistorySLOT(int index) {
    int found = -1;
    for (int i = 0; i < cellList.size(); ++i)
        if (cellList[i]->entryIndex() == index)
            found = i;
    if (found >= 0) {
        SnapHistoryGrid* cell = cellList.takeAt(found);
        thread.skipLabel(cell->imageLabel());
        if (cell->selected())
            QTimer::singleShot(200, this, SLOT(selectSnapHistoryLastDelay()));
        cell->deleteLater();
    }
    renewLayout();
}

void SnapHistory::removeAllImageHistorySLOT() { dropAllCells(); }
