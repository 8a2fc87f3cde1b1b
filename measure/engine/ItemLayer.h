#pragma once

#include <QSize>
#include <QWidget>

// Placeholder of the measurement overlay until the engine lands.
class ItemLayer : public QWidget {
    Q_OBJECT
public:
    explicit ItemLayer(QWidget* parent = nullptr) : QWidget(parent) {}
    void setDisplaySize(const QSize& s) { m_display = s; }
    void setImageSize(const QSize& s) { m_image = s; }

private:
    QSize m_display;
    QSize m_image;
};
