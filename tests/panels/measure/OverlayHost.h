#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

class ItemLayer;
class QWidget;

// A real measurement overlay in a hidden host widget, initialised and laid
// over a view of `view` pixels showing a `frame` picture. Deleting it also
// forgets the registered shape kinds.
class OverlayHost {
public:
    explicit OverlayHost(QSize view = QSize(1000, 500), QSize frame = QSize(1000, 500));
    ~OverlayHost();
    ItemLayer* layer = nullptr;

private:
    std::unique_ptr<QWidget> m_host;
};

// Clicks the button of box whose text is text (message-box buttons).
void clickText(QWidget* box, const QString& text);
