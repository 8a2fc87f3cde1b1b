#pragma once

#include <QWidget>

// The camera parameter panel. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class CameraParaForm : public QWidget {
    Q_OBJECT
public:
    explicit CameraParaForm(QWidget* parent = nullptr);
    void syncParamsOnce();
    void initAEState();

public slots:
    void changeLanguageSLOT(int language);
};
