#pragma once

#include <QWidget>

class QToolButton;

// The guide-line panel: adds horizontal and vertical cross lines and removes
// them all.
class LineForm : public QWidget {
    Q_OBJECT
public:
    explicit LineForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
    void sendCrossLineInfoSLOT(int hor, int ver, QColor color);

private:
    QToolButton* btnH = nullptr;
    QToolButton* btnV = nullptr;
    QToolButton* btnClear = nullptr;
    int m_hor = 0;
    int m_ver = 0;
};
