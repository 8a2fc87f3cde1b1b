#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

// Status strip over the view's top-right corner: the latest running activity's
// icon (snapshot, white balance, auto exposure, recording), a progress bar and,
// while recording, a running clock. Driven only by four hub signals.
class IconWidget : public QWidget {
    Q_OBJECT
public:
    explicit IconWidget(QWidget* parent = nullptr);
    void moveAndHide(const QPoint& pos);
    QList<QString> iconList() const { return m_icons; }

public slots:
    void addIconSLOT(QString name);
    void addIconProgressBarSLOT(int value);
    void modifyIconSLOT(QString name);
    void removeIconSLOT();
    void removeIconDelay();
    void oneSecUpdate();

private:
    void refresh();

    QLabel* labImg = nullptr;
    QLabel* label = nullptr;
    QProgressBar* progressBar = nullptr;
    QList<QString> m_icons;
    QTimer* m_clock = nullptr;
    int m_seconds = 0;
};
