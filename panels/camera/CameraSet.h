#pragma once

#include <QWidget>

// The snapshot settings panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class CameraSet : public QWidget {
    Q_OBJECT
public:
    explicit CameraSet(QWidget* parent = nullptr);
    void initImgTypeByCamera();

public slots:
    void changeLanguageSLOT(int language);
};
