#pragma once

#include <QDialog>
#include <QMap>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;

// The list of named camera-parameter sets: New, Del, Save and Load ask the
// parameter panel through the hub (argsNew / argsDel / argsLoad); the dialog
// keeps only the names and the selection in ./ArgsDialog.ini (List,
// curIndex). Names that cannot be one file name are refused with the empty
// and taken ones. Modal, built for one use. GUI thread.
class ArgsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ArgsDialog(QWidget* parent = nullptr);

public slots:
    void btnNewClicked();
    void btnDelClicked();
    void btnSaveClicked();
    void btnLoadClicked();
    void comboBoxNameChanged(int index);
    void changeLanguageSLOT(int language);

private:
    void storeList();

    QMap<QString, QStringList> texts;
    QComboBox* comboBoxName;
    QLabel* labCurCombo;
};
