#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSettings;
class QTimer;
class QToolButton;

// The export settings panel: automatic or manual report names, whether the
// picture goes into the report, the export folder ("./XlsSet.ini"), the XLSX
// and Word templates in use, the buttons of both template editors and the
// two exports. An export saves the picture first (through the hub), then has
// ItemLayer write the workbook, or build the HTML report that is written
// here as a ".doc" file, and opens the result with the desktop's handler.
// GUI thread only; talks to other panels through MessagePassing alone.
class XlsSet : public QWidget {
    Q_OBJECT
public:
    explicit XlsSet(QWidget* parent = nullptr);
    ~XlsSet() override;

    // How long an export waits for its picture before it gives up.
    static constexpr int kPictureTimeoutMs = 15000;

public slots:
    void rbtnAUTOToggle(bool on);
    void rbtnAUTOToggleSLOT(bool on);
    void rbtnExportToggle(bool on);
    void rbtnExportToggleSLOT(bool on);
    void btnPathClick();
    void btnPathClickSLOT(QString path);
    void btnEditClick();
    void btnEditWordClick();
    void XlsEditDialogCloseSLOT();
    void WordEditDialogCloseSLOT();
    void comboCurrentIndexChanged(const QString& text);
    void comboCurrentIndexChangedSLOT(QObject* combo, int index);
    void btnExportClick();
    void exportImageSLOT();
    void exportImageDelay();
    void exportImageFinishSLOT();
    void btnWordExportClick();
    void changeLanguageSLOT(int language);
    void setVideoStateSLOT(bool recording);

private slots:
    void pictureTimeoutSLOT();

private:
    // Shows a template editor (a window of its own) with the keyboard.
    void showEditor(QDialog* editor);
    void buildWidgets();
    void initSize();
    void setLanguageText();
    void loadTemplateList(QComboBox* combo, const QString& listFile);
    QString listFileOf(const QObject* combo) const;
    // Remembers the template chosen in a combo; the "Error" box when the
    // list file cannot be written (it stays as it was).
    static void storeCurrentTemplate(const QString& listFile, const QString& name);
    void store(const char* key, const QVariant& value);
    // The "Error" box with "Export failed!" and, when given, why.
    void exportFailed(const QString& reason = QString());
    // Removes the export's picture file once a report has taken it.
    void dropPicture();
    void showFailure(const QString& reason = QString());
    static int language();
    // Hands the report to the desktop; where nothing opens it, a box says
    // where it was saved.
    void openFile(const QString& path);
    // Empty when the report was written, else why not.
    QString writeWordReport(const QString& path, const QString& html);
    // Why the workbook at m_reportPath was not written: its folder's problem,
    // a full temporary folder (where its parts are built), or a general one.
    QString workbookProblem() const;
    static QString timeStamp();
    // A new, empty, hidden file of a name of its own in folder, for a
    // workbook that waits for the name the user chooses, held (m_waitingFd)
    // from its making; empty, with errno in *error, when the folder refuses
    // it.
    QString reserveWaitingName(const QString& folder, int* error);
    // Removes the workbook that waits for a manual name, if any.
    void dropWaitingWorkbook();
    // Holds (or lets go of) the waiting workbook against the sweeps of
    // leftovers in its folder.
    void holdWaitingWorkbook();
    void releaseWaitingWorkbook();

    QWidget* widgetTitle = nullptr;
    QWidget* widgetContent = nullptr;
    QLabel* labTitle = nullptr;
    QLabel* labName = nullptr;
    QLabel* labExport = nullptr;
    QLabel* labPath = nullptr;
    QLabel* labWord = nullptr;
    QLabel* labExcel = nullptr;
    QRadioButton* rbtnAUTO = nullptr;
    QRadioButton* rbtnHAND = nullptr;
    QRadioButton* rbtnExportOK = nullptr;
    QRadioButton* rbtnExportNO = nullptr;
    QLineEdit* lineEditPath = nullptr;
    QToolButton* btnPath = nullptr;
    QComboBox* comboBoxWord = nullptr;
    QToolButton* btnEditWord = nullptr;
    QComboBox* comboBox = nullptr;
    QToolButton* btnEdit = nullptr;
    QToolButton* btnWordExport = nullptr;
    QToolButton* btnExcelExport = nullptr;

    QMap<QString, QStringList> m_labels; // object name -> three texts
    QSettings* m_settings = nullptr;
    QString m_picturePath;   // without ".jpg"; empty: no picture
    qint64 m_pictureBytes = 0; // the workbook's picture, measured before it goes
    QString m_reportPath;    // the workbook of the current Excel export
    QString m_offeredPath;   // the time-stamped name the workbook is offered under
    QString m_waitingPath;   // a workbook waiting for its manual name (after a cancel too)
    int m_waitingFd = -1;    // holds m_waitingPath while it waits
    QObject* m_pressed = nullptr;
    QTimer* m_pictureTimer = nullptr; // running while the picture is awaited
};
