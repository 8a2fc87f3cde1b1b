#pragma once

#include "imaging/ThreadHistory.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QWidget>

class QLabel;
class QScrollArea;
class SnapHistoryGrid;

// The strip "Recently Photos": one cell per entry of the hub's recent-image
// list, newest on top, at most 50. The hub owns the list, its INI file and
// the thumbnail files and announces every change; the strip follows. A full
// reload leaves loading the thumbnails to its worker thread. GUI thread only.
class SnapHistory : public QWidget {
    Q_OBJECT
public:
    explicit SnapHistory(QWidget* parent = nullptr);
    ~SnapHistory() override;

    void showAndReload();
    void renewLayout();
    // Oldest first, newest last.
    const QList<SnapHistoryGrid*>& cells() const { return cellList; }
    const ThreadHistory& worker() const { return thread; }

public slots:
    void changeLanguageSLOT(int language);
    void seclectSLOT();
    void addImageHistorySLOT(int index, QString path);
    void selectSnapHistoryLastSLOT();
    void selectSnapHistoryLastDelay();
    void removeImageHistorySLOT(int index);
    void removeAllImageHistorySLOT();

private:
    SnapHistoryGrid* newCell();
    void dropAllCells();

    QWidget* widgetTitle = nullptr;
    QLabel* labTitle = nullptr;
    QWidget* widgetContent = nullptr;
    QScrollArea* scrollArea = nullptr;
    QWidget* scrollContent = nullptr;
    QMap<QString, QStringList> languageTable;
    ThreadHistory thread;
    QList<SnapHistoryGrid*> cellList;
};
