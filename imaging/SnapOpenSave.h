#pragma once

#include <QWidget>

// The image-mode button column. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class SnapOpenSave : public QWidget {
    Q_OBJECT
public:
    explicit SnapOpenSave(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
