#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// "Files receiving": the folder into which a network camera delivers the
// pictures taken on its own side, and the link that delivers them (Verify
// opens it, Close ends it). Keeps the folder in ./ImageReceiveForm.ini. The
// received files do not pass through the program. GUI thread.
class ImageReceiveForm : public QWidget {
    Q_OBJECT
public:
    explicit ImageReceiveForm(QWidget* parent = nullptr);
    // 0 not connected, 1 link open, 2 the last attempt failed.
    int linkStateNow() const { return linkState; }

public slots:
    void btnPathClick();
    void btnYZClick();
    void btnCloseLinkClick();
    void changeLanguageSLOT(int language);

private:
    int linkState = 0;
    QMap<QString, QStringList> texts;
    QLabel *labTitle = nullptr, *label_2 = nullptr, *labState = nullptr;
    QLineEdit* lineEditPath = nullptr;
    QToolButton* btnPath = nullptr;
    QPushButton *btnYZ = nullptr, *btnCloseLink = nullptr;
};
