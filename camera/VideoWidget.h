#pragma once

#include <QPointer>
#include <QWidget>

class SDLBackground;

// Paints the video window's canvas. Placed as the lowest child of the central
// widget's view area, covering the video host, so the overlay views lie on top
// and grab() of the central widget shows video and overlay together. It takes
// no input (mouse events go to the views above) and follows the video window's
// show and hide; its size becomes the canvas size.
class VideoWidget : public QWidget {
    Q_OBJECT
public:
    explicit VideoWidget(SDLBackground* source, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<SDLBackground> m_source;
};
