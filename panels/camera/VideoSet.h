#pragma once

#include <QWidget>

// The recording settings panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class VideoSet : public QWidget {
    Q_OBJECT
public:
    explicit VideoSet(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
