#include "export/forms/XlsSet.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/SaveFileDialog.h"
#include "app/hub/SaveErrorBox.h"
#include "app/hub/UiSize.h"
#include "camera/BaseCamera.h"
#include "export/forms/ExportFiles.h"
#include "export/forms/WordEditDialog.h"
#include "export/forms/XlsEditDialog.h"
#include "measure/engine/ReportContent.h"
#include "platform/AppPaths.h"
#include "platform/FileCommit.h"
#include "platform/WriteProblem.h"
#include "platform/filerules/FileRules.h"
#include "platform/RegularFile.h"

#include <QColor>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QRandomGenerator>
#include <QUrl>
#include <QVBoxLayout>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kXlsList = "./Template/List.ini";

QString wordListFile() {
    return AppPaths::appFile("WordTemplate/List.ini");
}

int scaled(int designed) {
    return designed * uiSizeFactor / 10;
}

// Checks yes as given and no as its opposite, without their signals.
void checkQuietly(QRadioButton* yes, QRadioButton* no, bool on) {
    const bool y = yes->blockSignals(true);
    const bool n = no->blockSignals(true);
    yes->setChecked(on);
    no->setChecked(!on);
    yes->blockSignals(y);
    no->blockSignals(n);
}

QHBoxLayout* rowLayout(QWidget* row, int top, int bottom, int spacing) {
    auto* l = new QHBoxLayout(row);
    l->setContentsMargins(10, top, 10, bottom);
    l->setSpacing(spacing);
    return l;
}

// Modal, as every message box is, but shown without a nested event loop:
// the caller returns at once and the box deletes itself when closed.
void showBox(QMessageBox::Icon icon, const QString& title, const QString& message) {
    auto* box = new QMessageBox(icon, title, message, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace

XlsSet::XlsSet(QWidget* parent) : QWidget(parent) {
    setObjectName("XlsSet");
    buildWidgets();
    initSize();
    widgetTitle->findChild<QWidget*>("widgetLeft")->setStyleSheet("QWidget{background:url(:/res/MeasureForm/line.png);}");
    widgetTitle->findChild<QWidget*>("widgetRight")->setStyleSheet("QWidget{background:url(:/res/MeasureForm/line.png);}");
    setLanguageText();

    MessagePassing* hub = MessagePassing::instance();
    m_settings = new QSettings(RegularFile::settingsName("./XlsSet.ini"), QSettings::IniFormat, this);
    const bool autoName = m_settings->value("isAutoName", true).toBool();
    rbtnAUTO->setChecked(autoName);
    rbtnHAND->setChecked(!autoName);
    connect(rbtnAUTO, SIGNAL(toggled(bool)), this, SLOT(rbtnAUTOToggle(bool)));
    const bool withPicture = m_settings->value("isExport", true).toBool();
    rbtnExportOK->setChecked(withPicture);
    rbtnExportNO->setChecked(!withPicture);
    connect(rbtnExportOK, SIGNAL(toggled(bool)), this, SLOT(rbtnExportToggle(bool)));
    lineEditPath->setText(hub->checkXlsPath(m_settings));

    connect(btnPath, SIGNAL(clicked()), this, SLOT(btnPathClick()));
    connect(btnEdit, SIGNAL(clicked()), this, SLOT(btnEditClick()));
    connect(btnEditWord, SIGNAL(clicked()), this, SLOT(btnEditWordClick()));
    connect(btnExcelExport, SIGNAL(clicked()), this, SLOT(btnExportClick()));
    connect(btnWordExport, SIGNAL(clicked()), this, SLOT(btnExportClick()));
    connect(comboBox, SIGNAL(currentIndexChanged(const QString&)), this, SLOT(comboCurrentIndexChanged(const QString&)));
    connect(comboBoxWord, SIGNAL(currentIndexChanged(const QString&)), this,
            SLOT(comboCurrentIndexChanged(const QString&)));
    loadTemplateList(comboBox, kXlsList);
    loadTemplateList(comboBoxWord, wordListFile());

    m_pictureTimer = new QTimer(this);
    m_pictureTimer->setSingleShot(true);
    m_pictureTimer->setInterval(kPictureTimeoutMs);
    connect(m_pictureTimer, SIGNAL(timeout()), this, SLOT(pictureTimeoutSLOT()));

    connect(hub, SIGNAL(XlsSet_rbtnAUTOToggleSIGNAL(bool)), this, SLOT(rbtnAUTOToggleSLOT(bool)));
    connect(hub, SIGNAL(XlsSet_rbtnExportToggleSIGNAL(bool)), this, SLOT(rbtnExportToggleSLOT(bool)));
    connect(hub, SIGNAL(XlsSet_btnPathClickSIGNAL(QString)), this, SLOT(btnPathClickSLOT(QString)));
    connect(hub, SIGNAL(XlsEditDialogCloseSIGNAL()), this, SLOT(XlsEditDialogCloseSLOT()));
    connect(hub, SIGNAL(WordEditDialogCloseSIGNAL()), this, SLOT(WordEditDialogCloseSLOT()));
    connect(hub, SIGNAL(XlsSet_comboCurrentIndexChangedSIGNAL(QObject*, int)), this,
            SLOT(comboCurrentIndexChangedSLOT(QObject*, int)));
    connect(hub, SIGNAL(exportImageSIGNAL()), this, SLOT(exportImageSLOT()));
    connect(hub, SIGNAL(changeLanguageSIGNAL(int)), this, SLOT(changeLanguageSLOT(int)));
    connect(hub, SIGNAL(setVideoStateSIGNAL(bool)), this, SLOT(setVideoStateSLOT(bool)));
    changeLanguageSLOT(hub->language());
}

XlsSet::~XlsSet() { dropWaitingWorkbook(); }

void XlsSet::buildWidgets() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    widgetTitle = new QWidget(this);
    widgetTitle->setObjectName("widgetTitle");
    auto* titleRow = rowLayout(widgetTitle, 0, 0, 6);
    auto* left = new QWidget(widgetTitle);
    left->setObjectName("widgetLeft");
    left->setFixedHeight(1);
    labTitle = new QLabel(widgetTitle);
    labTitle->setObjectName("labTitle");
    labTitle->setAlignment(Qt::AlignCenter);
    auto* right = new QWidget(widgetTitle);
    right->setObjectName("widgetRight");
    right->setFixedHeight(1);
    titleRow->addWidget(left, 1);
    titleRow->addWidget(labTitle);
    titleRow->addWidget(right, 1);
    outer->addWidget(widgetTitle);

    widgetContent = new QWidget(this);
    widgetContent->setObjectName("widgetContent");
    auto* content = new QVBoxLayout(widgetContent);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(0);
    outer->addWidget(widgetContent, 1);

    auto newRow = [&](const char* name) {
        auto* w = new QWidget(widgetContent);
        w->setObjectName(name);
        content->addWidget(w);
        return w;
    };
    auto label = [](QWidget* parent, const char* name) {
        auto* l = new QLabel(parent);
        l->setObjectName(name);
        return l;
    };
    auto radio = [](QWidget* parent, const char* name) {
        auto* r = new QRadioButton(parent);
        r->setObjectName(name);
        r->setStyleSheet(MessagePassing::instance()->getQRadioButtonStyle());
        return r;
    };
    auto tool = [](QWidget* parent, const char* name) {
        auto* b = new QToolButton(parent);
        b->setObjectName(name);
        b->setMinimumHeight(24);
        b->setMaximumHeight(24);
        b->setStyleSheet(MessagePassing::instance()->getQToolButtonStyle());
        return b;
    };
    auto combo = [](QWidget* parent, const char* name) {
        auto* c = new QComboBox(parent);
        c->setObjectName(name);
        c->setMinimumHeight(24);
        c->setMaximumHeight(24);
        c->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        c->setStyleSheet(MessagePassing::instance()->getQComboBoxStyle());
        c->addItem("default");
        return c;
    };

    QWidget* w1 = newRow("widget_1");
    QHBoxLayout* l1 = rowLayout(w1, 0, 0, 6);
    l1->addWidget(labName = label(w1, "labName"));
    l1->addWidget(rbtnAUTO = radio(w1, "rbtnAUTO"));
    l1->addWidget(rbtnHAND = radio(w1, "rbtnHAND"));

    QWidget* w2 = newRow("widget_2");
    QHBoxLayout* l2 = rowLayout(w2, 0, 0, 6);
    l2->addWidget(labExport = label(w2, "labExport"));
    l2->addWidget(rbtnExportOK = radio(w2, "rbtnExportOK"));
    l2->addWidget(rbtnExportNO = radio(w2, "rbtnExportNO"));

    QWidget* w = newRow("widget");
    QHBoxLayout* l = rowLayout(w, 10, 0, 0);
    l->addWidget(labPath = label(w, "labPath"));

    QWidget* w3 = newRow("widget_3");
    QHBoxLayout* l3 = rowLayout(w3, 0, 10, 6);
    lineEditPath = new QLineEdit(w3);
    lineEditPath->setObjectName("lineEditPath");
    lineEditPath->setMinimumHeight(24);
    lineEditPath->setMaximumHeight(24);
    lineEditPath->setStyleSheet(MessagePassing::instance()->getQLineEditStyle());
    l3->addWidget(lineEditPath, 1);
    l3->addWidget(btnPath = tool(w3, "btnPath"));

    // A template row: its label, the combo box of names and the edit button.
    auto templateRow = [&](const char* row, const char* labelName, QLabel*& lab, const char* comboName,
                           QComboBox*& box, const char* editName, QToolButton*& edit) {
        QWidget* w = newRow(row);
        QHBoxLayout* l = rowLayout(w, 0, 0, 6);
        l->addWidget(lab = label(w, labelName));
        lab->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        l->addWidget(box = combo(w, comboName), 1);
        l->addWidget(edit = tool(w, editName));
    };
    templateRow("widget_5", "labWord", labWord, "comboBoxWord", comboBoxWord, "btnEditWord", btnEditWord);
    templateRow("widget_4", "labExcel", labExcel, "comboBox", comboBox, "btnEdit", btnEdit);

    QWidget* w6 = newRow("widget_6");
    QHBoxLayout* l6 = rowLayout(w6, 5, 0, 6);
    l6->addWidget(btnWordExport = tool(w6, "btnWordExport"));
    l6->addWidget(btnExcelExport = tool(w6, "btnExcelExport"));
    btnWordExport->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    btnExcelExport->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    content->addStretch(1);
}

void XlsSet::initSize() {
    resize(scaled(274), scaled(270));
    widgetTitle->setMaximumHeight(scaled(40));
    labTitle->setFixedHeight(scaled(30));
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QToolButton*>(w)) {
            w->setMinimumHeight(scaled(w->minimumHeight()));
            w->setMaximumHeight(scaled(w->maximumHeight()));
        }
        if (QLayout* l = w->layout()) {
            const QMargins m = l->contentsMargins();
            l->setContentsMargins(scaled(m.left()), scaled(m.top()), scaled(m.right()), scaled(m.bottom()));
            l->setSpacing(scaled(l->spacing()));
        }
    }
}

void XlsSet::setLanguageText() {
    auto add = [this](const char* name, const char* zh, const char* en, const char* tw) {
        m_labels[name] = QStringList{QString::fromUtf8(zh), QString::fromUtf8(en), QString::fromUtf8(tw)};
    };
    add("labTitle", "导出设置", "Export Setting", "導出設置");
    add("labName", "导出命名", "Export Name", "導出");
    add("rbtnAUTO", "自动", "Auto", "自動");
    add("rbtnHAND", "手动", "Manual", "手動");
    add("labExport", "导入图片", "Add Image", "導入圖片");
    add("rbtnExportOK", "导入", "Yes", "導入");
    add("rbtnExportNO", "不导入", "No", "不導入");
    add("labPath", "文件导出路径：", "Excel Path：", "文件導出路徑：");
    add("btnPath", "选择", "Select", "選擇");
    add("labWord", "Word模板", "Word Temp", "Word模板");
    add("btnEditWord", "编辑", "Edit", "編輯");
    add("labExcel", "Excel模板", "Excel Temp", "Excel模板");
    add("btnEdit", "编辑", "Edit", "編輯");
    add("btnWordExport", "导出Word", "Export Word", "導出Word");
    add("btnExcelExport", "导出Excel", "Export Excel", "導出Excel");
}

void XlsSet::changeLanguageSLOT(int language) {
    const int lang = (language < 0 || language > 2) ? 0 : language;
    for (auto it = m_labels.cbegin(); it != m_labels.cend(); ++it) {
        QWidget* w = findChild<QWidget*>(it.key());
        if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(it.value()[lang]);
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(it.value()[lang]);
    }
}

// ---------------------------------------------------------------- settings

void XlsSet::rbtnAUTOToggle(bool on) {
    store("isAutoName", on);
    MessagePassing::instance()->XlsSet_rbtnAUTOToggle(on);
}

void XlsSet::rbtnAUTOToggleSLOT(bool on) {
    checkQuietly(rbtnAUTO, rbtnHAND, on);
}

void XlsSet::rbtnExportToggle(bool on) {
    store("isExport", on);
    MessagePassing::instance()->XlsSet_rbtnExportToggle(on);
}

void XlsSet::store(const char* key, const QVariant& value) {
    // Whole or refused with the reason in the program's box; the panel's own
    // copy then reads the file again.
    SaveErrorBox::editSettings(m_settings->fileName(), [&](QSettings& s) { s.setValue(key, value); });
    m_settings->sync();
}

void XlsSet::rbtnExportToggleSLOT(bool on) {
    checkQuietly(rbtnExportOK, rbtnExportNO, on);
}

void XlsSet::btnPathClick() {
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().first();
    lineEditPath->setText(folder);
    store("xlsPath", folder);
    MessagePassing::instance()->XlsSet_btnPathClick(folder);
}

void XlsSet::btnPathClickSLOT(QString path) {
    lineEditPath->setText(path);
}

void XlsSet::btnEditClick() {
    showEditor(new XlsEditDialog());
}

void XlsSet::btnEditWordClick() {
    showEditor(new WordEditDialog());
}

void XlsSet::showEditor(QDialog* editor) {
    editor->show();
    // The editor takes the keyboard (Escape closes it) also where no window
    // manager hands it over.
    editor->activateWindow();
}

void XlsSet::XlsEditDialogCloseSLOT() {
    loadTemplateList(comboBox, kXlsList);
}

void XlsSet::WordEditDialogCloseSLOT() {
    loadTemplateList(comboBoxWord, wordListFile());
}

QString XlsSet::listFileOf(const QObject* combo) const {
    return combo == comboBox ? QString(kXlsList) : wordListFile();
}

void XlsSet::loadTemplateList(QComboBox* combo, const QString& listFile) {
    const bool blocked = combo->blockSignals(true);
    // Names that are no template names are left out: they would be paths.
    const QStringList names = ReportContent::TemplateNames(listFile);
    const QString current = QSettings(RegularFile::settingsName(listFile), QSettings::IniFormat)
                                .value("curKey", "default")
                                .toString();
    combo->clear();
    combo->addItems(names);
    int index = names.indexOf(current);
    if (index < 0) {
        storeCurrentTemplate(listFile, "default");
        index = 0;
    }
    combo->setCurrentIndex(index);
    combo->blockSignals(blocked);
}

void XlsSet::storeCurrentTemplate(const QString& listFile, const QString& name) {
    // The list's names stay with it: a cut list would drop every template.
    SaveErrorBox::editSettings(listFile, [&](QSettings& list) { list.setValue("curKey", name); });
}

void XlsSet::comboCurrentIndexChanged(const QString& text) {
    auto* combo = qobject_cast<QComboBox*>(sender());
    if (!combo)
        return;
    storeCurrentTemplate(listFileOf(combo), text);
    MessagePassing::instance()->XlsSet_comboCurrentIndexChanged(combo, combo->currentIndex());
}

void XlsSet::comboCurrentIndexChangedSLOT(QObject* combo, int index) {
    QComboBox* target = (combo && combo->objectName() == comboBox->objectName()) ? comboBox : comboBoxWord;
    const bool blocked = target->blockSignals(true);
    target->setCurrentIndex(index);
    target->blockSignals(blocked);
}

void XlsSet::setVideoStateSLOT(bool recording) {
    btnExcelExport->setEnabled(!recording);
    btnWordExport->setEnabled(!recording);
}

// ----------------------------------------------------------------- exports

QString XlsSet::timeStamp() {
    return QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss_zzz");
}

void XlsSet::btnExportClick() {
    btnExcelExport->setEnabled(false);
    btnWordExport->setEnabled(false);
    m_pressed = sender();
    if (!rbtnExportOK->isChecked()) {
        m_picturePath.clear();
        m_pictureTimer->start(); // exportImageSLOT only goes on while it runs
        exportImageSLOT();
        return;
    }
    MessagePassing* hub = MessagePassing::instance();
    m_picturePath = AppPaths::appFile("image");
    if (!hub->getIsCameraMode()) {
        m_pictureTimer->start();
        hub->snapImageMode(m_picturePath, "jpg", 2);
    } else if (BaseCamera* camera = hub->currentCamera()) {
        m_pictureTimer->start();
        camera->snapImage(m_picturePath, 2, true, false, QColor(Qt::red), 0, 0);
    } else {
        // Camera mode without a camera: no picture will ever come.
        exportFailed();
    }
}

void XlsSet::dropPicture() {
    if (!m_picturePath.isEmpty())
        QFile::remove(m_picturePath + ".jpg");
}

void XlsSet::pictureTimeoutSLOT() {
    // The picture never came: the export ends here and the buttons return.
    exportFailed();
}

void XlsSet::exportFailed(const QString& reason) {
    m_pictureTimer->stop();
    showFailure(reason);
    exportImageFinishSLOT();
}

int XlsSet::language() {
    return qBound(0, MessagePassing::instance()->language(), 2);
}

void XlsSet::showFailure(const QString& reason) {
    static const char* const text[3] = {"导出失败！", "Export failed!", "導出失敗！"};
    QString message = QString::fromUtf8(text[language()]);
    if (!reason.isEmpty())
        message += "\n" + reason; // the user can only mend what the box names
    showBox(QMessageBox::Warning, "Error", message);
}

void XlsSet::exportImageSLOT() {
    // The hub announces every export picture; only the one this panel waits
    // for (and not one that comes after the wait was given up) goes on.
    if (!m_pictureTimer->isActive()) {
        // A picture that came after its export was given up: nothing takes it.
        QFile::remove(AppPaths::appFile("image") + ".jpg");
        return;
    }
    m_pictureTimer->stop();
    if (!m_picturePath.isEmpty() && !QFileInfo::exists(m_picturePath + ".jpg")) {
        exportFailed();
        return;
    }
    if (m_pressed == btnWordExport) {
        btnWordExportClick();
        return;
    }
    m_offeredPath = lineEditPath->text() + QString("/%1.xlsx").arg(timeStamp());
    m_reportPath = m_offeredPath;
    if (!rbtnAUTO->isChecked()) {
        // Written under a name of its own until the user has chosen one.
        dropWaitingWorkbook();
        int error = 0;
        m_reportPath = reserveWaitingName(lineEditPath->text(), &error);
        if (m_reportPath.isEmpty()) {
            dropPicture();
            m_reportPath = m_offeredPath;
            exportFailed(WriteProblem::explain(m_offeredPath, error, language()));
            return;
        }
        m_waitingPath = m_reportPath;
    }
    m_pictureBytes = m_picturePath.isEmpty() ? 0 : QFileInfo(m_picturePath + ".jpg").size();
    MessagePassing::instance()->getAllMeasureData(m_reportPath, m_picturePath);
    // The workbook took the reserved file's place: held from now on.
    if (!m_waitingPath.isEmpty())
        holdWaitingWorkbook();
    dropPicture(); // the workbook holds its own copy now
    QTimer::singleShot(400, this, SLOT(exportImageDelay()));
    QTimer::singleShot(500, this, SLOT(exportImageFinishSLOT()));
}

void XlsSet::exportImageDelay() {
    if (QFileInfo(m_reportPath).size() <= 0) {
        // The workbook could not be written (the writer leaves nothing then,
        // or the empty file that kept its waiting name): the export folder
        // or the temporary folder its parts are built in tells why.
        dropWaitingWorkbook();
        showFailure(workbookProblem());
        return;
    }
    if (rbtnAUTO->isChecked()) {
        openFile(m_reportPath);
        return;
    }
    holdWaitingWorkbook();
    const QString chosen =
        SaveFileDialog::getSaveFileName(this, QString::fromUtf8("保存文件"), m_offeredPath, "XLSX(*.xlsx)");
    if (chosen.isEmpty())
        return; // the workbook waits under its own name until the next export
    // The chosen place may be another disk (a USB stick, a share): the move
    // copies there when a rename cannot, and keeps the waiting workbook as
    // it was if it fails.
    QString why;
    if (!ExportFiles::moveReplacing(m_reportPath, chosen, language(), &why)) {
        showFailure(why);
        return;
    }
    m_waitingPath.clear();
    releaseWaitingWorkbook();
    m_reportPath = chosen;
    openFile(m_reportPath);
}

QString XlsSet::reserveWaitingName(const QString& folder, int* error) {
    // Named and held as the file rules make a file under way (hidden, with
    // this program's id, held from its making where the folder's disk can
    // tell), so that one a program left when it ended goes at the next
    // write there; made here, empty, so that no other export, of this
    // program or of another sharing the folder, takes the same name. Made
    // as a new file is, the folder's default permissions apply, and the
    // workbook that replaces it keeps them.
    std::string made;
    const int fd = FileRules::createTemporary(QFile::encodeName(folder + "/x").toStdString(), &made);
    *error = fd < 0 ? errno : 0;
    if (fd < 0)
        return QString();
    m_waitingFd = fd;
    return QFile::decodeName(made.c_str());
}

void XlsSet::holdWaitingWorkbook() {
    releaseWaitingWorkbook();
    // A workbook may wait longer than a write under way leaves its file
    // untouched (the save dialog left open, a cancel): held, no sweep of its
    // folder takes it while this program still means to move it.
    m_waitingFd = ::open(QFile::encodeName(m_waitingPath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (m_waitingFd >= 0)
        FileRules::holdWhileWriting(m_waitingFd);
}

void XlsSet::releaseWaitingWorkbook() {
    if (m_waitingFd >= 0)
        ::close(m_waitingFd);
    m_waitingFd = -1;
}

void XlsSet::dropWaitingWorkbook() {
    if (!m_waitingPath.isEmpty())
        QFile::remove(m_waitingPath);
    m_waitingPath.clear();
    releaseWaitingWorkbook();
}

void XlsSet::exportImageFinishSLOT() {
    btnExcelExport->setEnabled(true);
    btnWordExport->setEnabled(true);
}

void XlsSet::openFile(const QString& path) {
    const QString file = QFileInfo(path).absoluteFilePath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    // No program on this desktop opens it: the report is there all the same.
    static const char* const title[3] = {"导出", "Export", "導出"};
    static const char* const text[3] = {
        "报告已保存，但没有可以打开它的程序：",
        "The report was saved, but no program here opens it:", "報告已保存，但沒有可以打開它的程序："};
    showBox(QMessageBox::Information, QString::fromUtf8(title[language()]),
            QString::fromUtf8(text[language()]) + "\n" + QDir::toNativeSeparators(file));
}

QString XlsSet::workbookProblem() const {
    // The workbook holds its picture whole and its sheets in less than a
    // MiB; its parts are built in the temporary folder first.
    constexpr qint64 kSheets = 1024 * 1024;
    const qint64 needed = m_pictureBytes + kSheets;
    int refused = 0;
    FileCommit::finalTarget(m_reportPath, &refused);
    if (refused)
        return WriteProblem::explain(m_reportPath, refused, language());
    const QString folder = QFileInfo(m_reportPath).absolutePath();
    QString why = WriteProblem::folder(folder, language(), needed);
    if (why.isEmpty() && !WriteProblem::folder(QDir::tempPath(), language(), needed).isEmpty())
        why = WriteProblem::temporaryFull(QDir::tempPath(), language());
    return why.isEmpty() ? WriteProblem::explain(m_reportPath, 0, language()) : why;
}

QString XlsSet::writeWordReport(const QString& path, const QString& html) {
    // Written whole under a temporary name and then renamed: a failed write
    // leaves no partial report and keeps a file the user chose to replace.
    return FileCommit::writeBytes(path, html.toUtf8() + '\n', language()); // the report declares UTF-8
}

void XlsSet::btnWordExportClick() {
    const QString stamped = lineEditPath->text() + QString("/%1.doc").arg(timeStamp());
    QString html;
    MessagePassing::instance()->getAllMeasureDataWord(html, m_picturePath);
    dropPicture(); // the report carries the picture inside its text
    QString target = stamped;
    if (!rbtnAUTO->isChecked())
        target = SaveFileDialog::getSaveFileName(this, QString::fromUtf8("保存文件"), stamped, "Word(*.doc)");
    if (!target.isEmpty()) {
        const QString why = writeWordReport(target, html);
        if (why.isEmpty())
            openFile(target);
        else
            exportFailed(why);
    }
    QTimer::singleShot(500, this, SLOT(exportImageFinishSLOT()));
}
