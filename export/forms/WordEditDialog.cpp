#include "export/forms/WordEditDialog.h"

#include "app/hub/MessagePassing.h"
#include "app/hub/UiSize.h"
#include "export/forms/XlsLineEdit.h"
#include "measure/engine/ReportContent.h"
#include "platform/AppPaths.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QScrollArea>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString folder() {
    return AppPaths::appFile("WordTemplate");
}

// base itself when base + ext is free, else base_001, base_002, ...
QString uniqueBase(const QString& base, const QString& ext) {
    if (!QFileInfo::exists(base + ext))
        return base;
    for (int n = 1;; ++n) {
        const QString candidate = base + QString("_%1").arg(n, 3, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(candidate + ext))
            return candidate;
    }
}

int scaled(int designed) {
    return qRound(designed * uiSizeFactor / 10.0);
}

} // namespace

WordEditDialog::WordEditDialog(QWidget* parent) : TemplateEditDialog(folder(), parent) {
    setObjectName("WordEditDialog");
    m_barLayout->setContentsMargins(6, 0, 6, 0);
    m_barLayout->addStretch(1);
    const int lang = qBound(0, MessagePassing::instance()->language(), 2);
    auto text = [lang](const char* zh, const char* en, const char* tw) {
        return QString::fromUtf8(lang == 0 ? zh : lang == 1 ? en : tw);
    };
    auto* line = new QFrame(this);
    line->setObjectName("line");
    line->setFrameShape(QFrame::HLine);
    m_outer->addWidget(line);

    QHBoxLayout* bodyLayout = buildBody();
    QWidget* body = bodyLayout->parentWidget();
    const QString light = "QWidget{\nbackground-color:rgb(250, 250, 250);\n}";
    auto* scroll = new QScrollArea(body);
    scroll->setObjectName("scrollArea");
    scroll->setWidgetResizable(true);
    auto* contents = new QWidget;
    contents->setObjectName("scrollAreaWidgetContents");
    contents->setMinimumSize(1675, 1000);
    widget_word = new QWidget(contents);
    widget_word->setObjectName("widget_word");
    widget_word->resize(1675, 1000);
    widget_word->setAttribute(Qt::WA_StyledBackground);
    widget_word->setStyleSheet(light);
    scroll->setWidget(contents);
    bodyLayout->addWidget(scroll, 1);

    labLogo = new QLabel("LOGO", widget_word);
    labLogo->setObjectName("labLogo");
    labLogo->setGeometry(500, 50, 150, 50);
    btnLogo = new QToolButton(widget_word);
    btnLogo->setObjectName("btnLogo");
    btnLogo->setText(text("更换", "repace", "更換"));
    connect(btnLogo, SIGNAL(clicked()), this, SLOT(btnLogoClick()));
    btnLogo->setGeometry(650, 80, 75, 30);
    struct Field {
        const char* name;
        QRect geometry;
        int points;
        Qt::Alignment alignment;
        const char* initial;
    };
    const Field pageFields[] = {
        {"lineEdit_1", {500, 130, 600, 55}, 23, Qt::AlignCenter, "大标题"},
        {"lineEdit_2", {500, 210, 600, 35}, 16, Qt::AlignCenter, "小标题"},
        {"lineEdit_3", {500, 290, 300, 30}, 12, Qt::AlignLeft | Qt::AlignVCenter, "公司名称："},
        {"lineEdit_4", {800, 290, 300, 30}, 12, Qt::AlignLeft | Qt::AlignVCenter, "产品名称："},
        {"lineEdit_5", {500, 330, 300, 30}, 12, Qt::AlignLeft | Qt::AlignVCenter, "操作员："},
        {"lineEdit_6", {800, 330, 300, 30}, 12, Qt::AlignLeft | Qt::AlignVCenter, "日期："},
        {"lineEdit_7", {500, 390, 600, 400}, 12, Qt::AlignCenter, "图表数据区域"},
        {"lineEdit_8", {500, 810, 600, 100}, 12, Qt::AlignLeft | Qt::AlignTop, "总结："},
    };
    for (const Field& f : pageFields) {
        auto* edit = new QLineEdit(QString::fromUtf8(f.initial), widget_word);
        edit->setObjectName(f.name);
        edit->setGeometry(f.geometry);
        QFont font;
        font.setPointSize(f.points);
        font.setBold(true);
        edit->setFont(font);
        edit->setAlignment(f.alignment);
    }
    // The picture and table area shows the report's heading; it is not stored.
    widget_word->findChild<QLineEdit*>("lineEdit_7")
        ->setText(text("图 像 测 量 信 息", "Image Measurement Result", "圖 像 測 量 信 息"));
    for (QWidget* w : widget_word->findChildren<QWidget*>()) {
        const QRect g = w->geometry();
        w->setGeometry(scaled(g.x()), scaled(g.y()), scaled(g.width()), scaled(g.height()));
    }

    initTemplateList();
    btnLogo->setFocusPolicy(Qt::NoFocus);
    QTimer::singleShot(100, this, SLOT(oneSecondDelay()));
}

QList<QLineEdit*> WordEditDialog::fields() const {
    QList<QLineEdit*> out;
    for (const char* name : {"lineEdit_1", "lineEdit_2", "lineEdit_3", "lineEdit_4", "lineEdit_5", "lineEdit_6", "lineEdit_8"})
        out << widget_word->findChild<QLineEdit*>(name);
    return out;
}

void WordEditDialog::oneSecondDelay() {
    if (QWidget* parent = widget_word->parentWidget())
        widget_word->resize(parent->size());
}

void WordEditDialog::announceClosed() {
    MessagePassing::instance()->WordEditDialogClose();
}

void WordEditDialog::showLogo() {
    const QPixmap logo(folder() + "/" + m_logo);
    if (m_logo.isEmpty() || logo.isNull()) {
        labLogo->setText("LOGO");
        return;
    }
    labLogo->setPixmap(logo.scaledToHeight(50, Qt::SmoothTransformation));
}

void WordEditDialog::loadTemplate(const QString& name) {
    const QSettings file(RegularFile::settingsName(templateFile(name)), QSettings::IniFormat);
    // Only a file name: a stored path must not reach outside the folder.
    m_logo = QFileInfo(file.value("Logo").toString()).fileName();
    showLogo();
    const QList<QLineEdit*> edits = fields();
    const QStringList english = ReportContent::EnglishWordFields();
    const bool useEnglish = name == QLatin1String("default") && MessagePassing::instance()->language() == 1;
    for (int i = 0; i < edits.size(); ++i)
        edits[i]->setText(useEnglish ? english[i] : file.value(fieldKey(i)).toString());
}

bool WordEditDialog::initNewTemplate(const QString& file) {
    if (MessagePassing::instance()->language() != 1)
        return true;
    return saveSettings(file, [](QSettings& settings) {
        const QStringList english = ReportContent::EnglishWordFields();
        for (int i = 0; i < english.size(); ++i)
            settings.setValue(fieldKey(i), english[i]);
    });
}

void WordEditDialog::btnSaveDelay() {
    XlsLineEdit* entry = selectedEntry();
    if (!entry || entry->text() == QLatin1String("default"))
        return;
    const QList<QLineEdit*> edits = fields();
    const bool saved = saveSettings(templateFile(entry->text()), [&](QSettings& file) {
        file.clear();
        file.setValue("Logo", m_logo);
        for (int i = 0; i < edits.size(); ++i)
            file.setValue(fieldKey(i), edits[i]->text());
    });
    if (!saved)
        return; // nothing was saved: no success to claim
    savedMessage();
}

void WordEditDialog::btnLogoClick() {
    const QString chosen = QFileDialog::getOpenFileName(this, QString::fromUtf8("打开"), folder(),
                                                        QString::fromUtf8("图片文件(*.jpg *.png *.bmp *.tiff)"));
    if (chosen.isEmpty())
        return;
    const QString ext = "." + QFileInfo(chosen).suffix();
    const QString target = uniqueBase(folder() + "/Logo", ext) + ext;
    if (!copyWhole(chosen, target))
        return;
    m_logo = QFileInfo(target).fileName();
    showLogo();
}
