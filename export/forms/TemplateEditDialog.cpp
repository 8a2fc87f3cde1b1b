#include "export/forms/TemplateEditDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "export/forms/XlsLineEdit.h"
#include "measure/engine/ReportContent.h"
#include "platform/FileCommit.h"
#include "platform/RegularFile.h"
#include "platform/WriteProblem.h"

#include <QEvent>
#include <QMessageBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <QToolButton>

TemplateEditDialog::TemplateEditDialog(const QString& folder, QWidget* parent) : QDialog(parent), m_folder(folder) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8("Varnel显微镜软件V4.1"));
    // The available area, title bar included: a window manager fits a
    // maximized window into it with its frame; without one the window has
    // no frame and takes the area itself.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    m_outer = new QVBoxLayout(this);
    m_outer->setContentsMargins(0, 0, 0, 0);
    m_outer->setSpacing(0);
    auto* bar = new QWidget(this);
    bar->setObjectName("widget_btn");
    bar->setFixedHeight(qRound(41 * uiSizeFactor / 10.0));
    m_barLayout = new QHBoxLayout(bar);
    m_barLayout->setContentsMargins(6, 0, 6, 0);
    m_outer->addWidget(bar);
    barButton("btnAddTemplate", "添加模板", "Add Template", "添加模板", SLOT(btnAddTemplateClick()));
    m_sub = barButton("btnSubTemplate", "删除模板", "Del Template", "刪除模板", SLOT(btnSubTemplateClick()));
    m_rename = barButton("btnReName", "重命名模板", "Rename Template", "重命名模板", SLOT(btnReNameClick()));
    btnSave = barButton("btnSave", "保存模板", "Save Template", "保存模板", SLOT(btnSaveClick()));
}

void TemplateEditDialog::done(int result) {
    QDialog::done(result);
    announceClosed();
}

QToolButton* TemplateEditDialog::barButton(const char* name, const char* zh, const char* en, const char* tw,
                                           const char* slot) {
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    auto* b = new QToolButton(m_barLayout->parentWidget());
    b->setObjectName(name);
    b->setMinimumHeight(30);
    b->setText(QString::fromUtf8(lang == 0 ? zh : lang == 1 ? en : tw));
    connect(b, SIGNAL(clicked()), this, slot);
    m_barLayout->addWidget(b);
    return b;
}

void TemplateEditDialog::btnSaveClick() {
    endEditing();
    btnSave->setFocus(); // a grid cell or field still being edited keeps its text
    QTimer::singleShot(30, this, SLOT(btnSaveDelay()));
}

QString TemplateEditDialog::nextTemplateName(const QStringList& names) {
    // Counts on past template_98 as long as names are taken.
    for (int n = 1;; ++n) {
        const QString name = QString("template_%1").arg(n);
        if (!names.contains(name))
            return name;
    }
}

QString TemplateEditDialog::cleanName(const QString& typed) {
    QString name;
    for (const QChar c : typed)
        if (c.isLetter() || c.isNumber())
            name += c;
    return name;
}

QStringList TemplateEditDialog::storedNames() const {
    return ReportContent::TemplateNames(listFile());
}

bool TemplateEditDialog::saveSettings(const QString& path, const std::function<void(QSettings&)>& edit) {
    const QString why = FileCommit::editSettings(path, edit, MessagePassing::instance()->language());
    if (why.isEmpty())
        return true;
    fileError(path, why);
    return false;
}

bool TemplateEditDialog::copyWhole(const QString& from, const QString& to) {
    // Whole or not at all: a partial copy must not become a template's file.
    const int language = MessagePassing::instance()->language();
    QFile source;
    QString why;
    // A template or logo by a name of the user's folder: a FIFO there is
    // refused at once, never waited on.
    if (!RegularFile::open(source, from)) {
        why = errno == ENODEV
                  ? RegularFile::notRegularText(language, QDir::cleanPath(QFileInfo(from).absoluteFilePath()))
                  : WriteProblem::explain(to, 0, language);
    } else {
        // A read that stops early must not be saved as if it were the whole file.
        const qint64 expected = source.size();
        const QByteArray bytes = source.readAll();
        why = source.error() != QFileDevice::NoError || bytes.size() != expected
                  ? WriteProblem::explain(to, 0, language)
                  : FileCommit::writeBytes(to, bytes, language);
    }
    if (why.isEmpty())
        return true;
    fileError(to, why);
    return false;
}

bool TemplateEditDialog::storeNames(const QStringList& names) {
    return saveSettings(listFile(), [&](QSettings& list) { list.setValue("strList", names); });
}

void TemplateEditDialog::showMessage(const char* title, const char* zh, const char* en, const char* tw) {
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    QMessageBox box(title == QLatin1String("Error") ? QMessageBox::Warning : QMessageBox::Information, title,
                    QString::fromUtf8(lang == 0 ? zh : lang == 1 ? en : tw), QMessageBox::Ok);
    box.exec();
}

void TemplateEditDialog::fileError(const QString& path, const QString& reason) {
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    static const char* const text[3] = {"模板文件写入失败：\n", "The template file could not be changed:\n",
                                        "模板檔案寫入失敗：\n"};
    const QString shown = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString why = reason.isEmpty() ? WriteProblem::explain(shown, 0, lang) : reason;
    QMessageBox box(QMessageBox::Warning, "Error", QString::fromUtf8(text[lang]) + shown + "\n" + why,
                    QMessageBox::Ok);
    box.exec();
}

void TemplateEditDialog::savedMessage() {
    showMessage("Success", "保存成功！", "Successfully saved！", "保存成功！");
}

QHBoxLayout* TemplateEditDialog::buildBody() {
    auto* body = new QWidget(this);
    body->setObjectName("widget");
    body->setStyleSheet("QWidget#widget{\nbackground-color:rgb(200, 200, 200);\n}");
    auto* layout = new QHBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    widget_grid = new QWidget(body);
    widget_grid->setObjectName("widget_grid");
    widget_grid->setFixedWidth(qRound(245 * uiSizeFactor / 10.0));
    widget_grid->setAttribute(Qt::WA_StyledBackground);
    widget_grid->setStyleSheet("QWidget{\nbackground-color:rgb(250, 250, 250);\n}");
    layout->addWidget(widget_grid);
    m_outer->addWidget(body, 1);
    return layout;
}

void TemplateEditDialog::initTemplateList() {
    const QStringList names = storedNames();
    const QString current = ReportContent::CurrentTemplateName(listFile());
    for (const QString& name : names)
        addEntry(name);
    restack();
    const int index = qMax(0, names.indexOf(current));
    if (index < m_entries.size())
        emit m_entries[index]->myMousePressEvent();
    else
        myMousePressEventSLOT(); // an empty list: nothing to select
    widget_grid->installEventFilter(this);
}

XlsLineEdit* TemplateEditDialog::addEntry(const QString& name) {
    auto* entry = new XlsLineEdit(widget_grid);
    entry->setText(name);
    entry->move(0, entry->height() * m_entries.size());
    entry->show();
    connect(entry, SIGNAL(myMousePressEvent()), this, SLOT(myMousePressEventSLOT()));
    connect(entry, SIGNAL(myReturnPressed(QString)), this, SLOT(myReturnPressedSLOT(QString)));
    m_entries << entry;
    return entry;
}

void TemplateEditDialog::restack() {
    for (int i = 0; i < m_entries.size(); ++i)
        m_entries[i]->move(0, m_entries[i]->height() * i);
}

void TemplateEditDialog::endEditing() {
    if (m_selected)
        m_selected->lineEditReturnPressed();
}

void TemplateEditDialog::myMousePressEventSLOT() {
    auto* pressed = qobject_cast<XlsLineEdit*>(sender());
    if (m_selected && m_selected != pressed)
        endEditing();
    for (XlsLineEdit* e : m_entries)
        e->setSelected(e == pressed);
    m_selected = pressed;
    // The template "default" is shipped data: it can be viewed, not changed.
    const bool editable = pressed && pressed->text() != QLatin1String("default");
    for (QToolButton* b : {m_sub, m_rename, btnSave})
        b->setEnabled(editable);
    if (pressed)
        loadTemplate(pressed->text());
    selectionChanged();
}

void TemplateEditDialog::btnAddTemplateClick() {
    QStringList names = storedNames();
    const QString name = nextTemplateName(names);
    const QString source = templateFile("default");
    const QString target = templateFile(name);
    const bool copied = QFile::exists(source) && !QFile::exists(target);
    if (copied && !copyWhole(source, target))
        return; // nothing listed that has no file
    if (!initNewTemplate(target) || !storeNames(names << name)) {
        if (copied)
            QFile::remove(target); // not listed: the file would only be in the way
        return;
    }
    emit addEntry(name)->myMousePressEvent();
}

void TemplateEditDialog::btnSubTemplateClick() {
    if (!m_selected)
        return;
    const QString name = m_selected->text();
    const QString file = templateFile(name);
    if (QFile::exists(file) && !QFile::remove(file)) {
        fileError(file);
        return;
    }
    QStringList names = storedNames();
    names.removeOne(name);
    if (!storeNames(names))
        return; // still listed: its entry stays, and opens with the defaults
    m_entries.removeOne(m_selected);
    m_selected->deleteLater();
    m_selected = nullptr;
    restack();
    if (!m_entries.isEmpty())
        emit m_entries.first()->myMousePressEvent();
    else
        myMousePressEventSLOT(); // the last entry is gone: nothing is selected
}

void TemplateEditDialog::btnReNameClick() {
    if (m_selected)
        m_selected->startEdit();
}

void TemplateEditDialog::myReturnPressedSLOT(QString text) {
    auto* entry = qobject_cast<XlsLineEdit*>(sender());
    if (!entry)
        return;
    const QString name = cleanName(text);
    QStringList names = storedNames();
    if (name.isEmpty() || names.contains(name))
        return;
    const QString from = templateFile(entry->text());
    const QString to = templateFile(name);
    // The file first: a name whose file did not move is not listed.
    const bool moved = QFile::exists(from);
    if (moved && !QFile::rename(from, to)) {
        fileError(to);
        return;
    }
    const int at = names.indexOf(entry->text());
    if (at >= 0)
        names[at] = name;
    if (!storeNames(names)) {
        if (moved)
            QFile::rename(to, from); // the list still names the old file
        return;
    }
    entry->setText(name);
    entry->setSelected(entry == m_selected);
}

bool TemplateEditDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_grid && event->type() == QEvent::MouseButtonRelease)
        endEditing();
    return QDialog::eventFilter(watched, event);
}
