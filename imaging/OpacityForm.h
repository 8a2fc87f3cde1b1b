#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// A second picture laid over the view with a chosen opacity (0 invisible ...
// 100 opaque), for comparing the live or still picture with a reference.
// Driven only by the hub's setOverlayImageSIGNAL, setOverlayOpacitySIGNAL and
// clearOverlayImageSIGNAL. GUI thread only.
class OpacityForm : public QWidget {
    Q_OBJECT
public:
    explicit OpacityForm(QWidget* parent = nullptr);
    ~OpacityForm() override;

    // trunc(opacity / 100 x 255) in single precision, low eight bits.
    static int alphaOf(int opacity);
    const QImage& overlay() const { return overlayImage; }

public slots:
    void setOverlayImageSLOT(QString path, int opacity);
    void setOverlayOpacitySLOT(int opacity);
    void clearOverlayImageSLOT();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setAlpha(int opacity);
    void refresh();

    QLabel* labImg = nullptr;
    QImage overlayImage; // RGBA8888, alpha already at the present opacity
};
