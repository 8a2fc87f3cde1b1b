#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>

// The still-image view (view 2 of the central widget). Placeholder: holds no
// picture yet.
class FrameForm : public QWidget {
    Q_OBJECT
public:
    explicit FrameForm(QWidget* parent = nullptr);
    bool isImageLoaded() const { return !m_image.isNull(); }
    QSize imageSize() const { return m_image.size(); }
    int getScaleIndex() const { return 0; }
    void fitToWindow() {}
    float setScaleIndex(int index, QPoint anchor) {
        Q_UNUSED(index) Q_UNUSED(anchor) return 1.0f;
    }

private:
    QImage m_image;
};
