#pragma once

#include <QWidget>

// The small live preview shown during stitching and focus stacking.
// Placeholder: draws nothing yet.
class FrameFormMINI : public QWidget {
    Q_OBJECT
public:
    explicit FrameFormMINI(QWidget* parent = nullptr);
    // Stops the preview and deletes it.
    void stopRenew();
};
