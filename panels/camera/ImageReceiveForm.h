#pragma once

#include <QWidget>

// The panel for files saved on a network camera. Placeholder: constructed and placed by the
// central widget, shows nothing yet.
class ImageReceiveForm : public QWidget {
    Q_OBJECT
public:
    explicit ImageReceiveForm(QWidget* parent = nullptr);

public slots:
    void changeLanguageSLOT(int language);
};
