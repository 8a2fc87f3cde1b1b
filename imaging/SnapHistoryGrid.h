#pragma once

#include <QFileInfo>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

// One cell of the recent-snapshot strip: the thumbnail with the file name on
// a band over its top and a close button shown while the mouse is over the
// cell. A click selects the cell and opens its picture in the still view.
// GUI thread only.
class SnapHistoryGrid : public QWidget {
    Q_OBJECT
public:
    explicit SnapHistoryGrid(QWidget* parent = nullptr);
    ~SnapHistoryGrid() override;

    // With loadThumbnail, the thumbnail file is read 300 ms later (the hub
    // writes it as it announces the entry).
    void setData(const QFileInfo& picture, int index, bool loadThumbnail);
    QLabel* imageLabel() const { return labImg; }
    void setSelected();
    void setUnselected();
    bool selected() const { return isSelected; }
    int entryIndex() const { return index; }
    QFileInfo picture() const { return fileInfo; }

    // The question before removing (tests answer it): true for OK.
    using Question = std::function<bool(const QString& label, const QString& ok, const QString& cancel)>;
    static void setQuestion(Question question);

signals:
    void seclectSIGNAL();

public slots:
    void btnCloseClick();
    void oneSecLater();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setBackground(bool dark);

    int index = -1;
    bool isSelected = false;
    QFileInfo fileInfo;
    QWidget* widget = nullptr;
    QLabel* labImg = nullptr;
    QLabel* labName = nullptr;
    QToolButton* btnClose = nullptr;
};
