// Both report template editors: the template list and its files, the grid
// of the XLSX editor and the page of the Word editor, and a report exported
// with an edited template.
#include "tests/support/ModalCatcher.h"
#include "app/hub/MessagePassing.h"
#include "export/forms/WordEditDialog.h"
#include "export/forms/XlsEditDialog.h"
#include "export/forms/XlsLineEdit.h"
#include "measure/engine/ReportContent.h"
#include "measure/engine/XlsReportLayout.h"
#include "platform/AppPaths.h"
#include "platform/RegularFile.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TmpfsMount.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {
QStringList entryNames(TemplateEditDialog& d) {
    QStringList names;
    for (XlsLineEdit* e : d.entries())
        names << e->text();
    return names;
}

QStringList listed(const QString& listFile) {
    return QSettings(listFile, QSettings::IniFormat).value("strList").toStringList();
}

void click(QWidget* dialog, const char* button) {
    dialog->findChild<QToolButton*>(button)->click();
}

QTableWidget* grid(QWidget* dialog) {
    return dialog->findChild<QTableWidget*>("tableWidget");
}

// A cell of the picture block: grey, empty, neither selectable nor editable.
bool blockCell(QWidget* dialog, int row, int column) {
    QTableWidgetItem* item = grid(dialog)->item(row, column);
    return item && item->flags() == Qt::ItemIsEnabled && item->text().isEmpty();
}
} // namespace

class TemplateEditorsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private slots:
    void init() {
        env.reset();
        env = std::make_unique<TestEnv>();
        MessagePassing::instance()->setLanguage(0);
        QDir().mkpath("Template");
        QSettings def("./Template/default.ini", QSettings::IniFormat);
        def.setValue("imagePos", QPoint(0, 2));
        def.setValue("strList", QStringList({"公司："}));
        def.setValue("pos_0_UP", QPoint(0, 0));
    }

    void addDeleteRenameTemplates() {
        QSignalSpy closed(MessagePassing::instance(), SIGNAL(XlsEditDialogCloseSIGNAL()));
        auto* d = new XlsEditDialog;
        d->show();
        QCOMPARE(entryNames(*d), QStringList({"default"}));
        QVERIFY(!d->findChild<QToolButton*>("btnSave")->isEnabled());
        for (int i = 0; i < 3; ++i)
            click(d, "btnAddTemplate");
        QCOMPARE(entryNames(*d), QStringList({"default", "template_1", "template_2", "template_3"}));
        QVERIFY(QFile::exists("./Template/template_3.ini"));
        QCOMPARE(d->selectedEntry()->text(), QString("template_3"));
        QCOMPARE(grid(d)->item(0, 0)->text(), QString::fromUtf8("公司：")); // copied from default

        emit d->entries()[2]->myMousePressEvent();
        click(d, "btnSubTemplate");
        QVERIFY(!QFile::exists("./Template/template_2.ini"));
        QCOMPARE(d->selectedEntry()->text(), QString("default"));
        click(d, "btnAddTemplate");
        QCOMPARE(listed("./Template/List.ini"), QStringList({"default", "template_1", "template_3", "template_2"}));

        emit d->entries()[1]->myMousePressEvent();
        emit d->entries()[1]->myReturnPressed("My report #2");
        QCOMPARE(d->entries()[1]->text(), QString("Myreport2"));
        QVERIFY(QFile::exists("./Template/Myreport2.ini") && !QFile::exists("./Template/template_1.ini"));
        emit d->entries()[1]->myReturnPressed("___"); // nothing left: refused
        emit d->entries()[1]->myReturnPressed("Myreport2!"); // the same name again: refused
        QCOMPARE(d->entries()[1]->text(), QString("Myreport2"));
        QCOMPARE(listed("./Template/List.ini")[1], QString("Myreport2"));
        d->close();
        QCOMPARE(closed.count(), 1);
    }

    // However an editor closes (Escape, the title bar's close, accepted), the
    // export panel is told once: it reloads its template lists. Escape while
    // a name is being typed only ends the renaming, with the old name kept;
    // the next Escape closes the editor.
    void everyWayOfClosingIsAnnounced_data() {
        QTest::addColumn<bool>("word");
        QTest::addColumn<QString>("way");
        for (bool word : {false, true})
            for (const char* way : {"Escape", "close", "accept", "Escape while renaming"})
                QTest::newRow(qPrintable(QString("%1, %2").arg(word ? "Word" : "Excel", way))) << word << QString(way);
    }
    void everyWayOfClosingIsAnnounced() {
        QFETCH(bool, word);
        QFETCH(QString, way);
        QSignalSpy closed(MessagePassing::instance(),
                          word ? SIGNAL(WordEditDialogCloseSIGNAL()) : SIGNAL(XlsEditDialogCloseSIGNAL()));
        QPointer<TemplateEditDialog> d = word ? static_cast<TemplateEditDialog*>(new WordEditDialog)
                                              : static_cast<TemplateEditDialog*>(new XlsEditDialog);
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        click(d, "btnAddTemplate");
        if (way == "Escape while renaming") {
            const QStringList names = entryNames(*d);
            const QString name = d->selectedEntry()->text();
            click(d, "btnReName");
            auto* field = d->selectedEntry()->findChild<QLineEdit*>("lineEdit");
            QVERIFY(field->isVisible());
            QTest::keyClicks(field, "renamed");
            QTest::keyClick(field, Qt::Key_Escape);
            QVERIFY(d && d->isVisible());
            QCOMPARE(closed.count(), 0);
            QVERIFY(!field->isVisible());
            QCOMPARE(field->text(), name);
            QCOMPARE(d->selectedEntry()->text(), name);
            QCOMPARE(entryNames(*d), names);
        }
        if (way.startsWith("Escape"))
            QTest::keyClick(d, Qt::Key_Escape);
        else if (way == "close")
            d->close();
        else
            d->accept();
        QCOMPARE(closed.count(), 1);
        QTRY_VERIFY(d.isNull()); // deleted when closed
        QCOMPARE(closed.count(), 1);
    }

    void numberingGoesPast98AndTheLastEntryCanGo() {
        QStringList names;
        for (int i = 1; i <= 98; ++i)
            names << QString("template_%1").arg(i);
        QCOMPARE(TemplateEditDialog::nextTemplateName(names), QString("template_99"));
        QCOMPARE(TemplateEditDialog::nextTemplateName({"template_2"}), QString("template_1"));

        QSettings("./Template/List.ini", QSettings::IniFormat).setValue("strList", QStringList({"only", "../up"}));
        auto* d = new XlsEditDialog;
        QCOMPARE(entryNames(*d), QStringList({"only"}));
        click(d, "btnSubTemplate");
        QVERIFY(d->entries().isEmpty());
        QVERIFY(!d->selectedEntry());
        for (const char* b : {"btnSubTemplate", "btnReName", "btnSave"})
            QVERIFY(!d->findChild<QToolButton*>(b)->isEnabled());
        click(d, "btnSave"); // disabled: nothing happens
        QCOMPARE(listed("./Template/List.ini"), QStringList());
        d->close();
    }

    void gridSavesAndExportsWhereItShows() {
        ModalCatcher catcher;
        auto* d = new XlsEditDialog;
        d->show();
        click(d, "btnAddTemplate");
        QTableWidget* t = grid(d);
        QVERIFY(blockCell(d, 2, 0) && blockCell(d, 11, 9)); // as in default.ini
        click(d, "btnSubImage");
        QVERIFY(!t->item(2, 0));
        t->setCurrentCell(5, 2);
        click(d, "btnAddImage");
        QVERIFY(blockCell(d, 5, 2) && blockCell(d, 14, 11) && !blockCell(d, 4, 2) && !blockCell(d, 15, 2));
        t->setCurrentCell(14, 11); // inside the block: refused
        click(d, "btnAddTime");
        QTRY_COMPARE(catcher.texts.size(), 1);
        QCOMPARE(catcher.titles, QStringList({"Error"}));
        QCOMPARE(catcher.texts[0], QString::fromUtf8("有叠加区域，添加未成功！"));
        t->setCurrentCell(1, 3);
        click(d, "btnAddTime");
        t->setItem(0, 0, new QTableWidgetItem("Corp"));
        t->setItem(15, 4, new QTableWidgetItem("Below")); // first row under the block: DOWN
        t->setItem(14, 12, new QTableWidgetItem("Beside")); // last row of the block: UP
        click(d, "btnSave");
        QTRY_COMPARE(catcher.texts.size(), 2);
        QCOMPARE(catcher.titles[1], QString("Success"));
        const QSettings file("./Template/template_1.ini", QSettings::IniFormat);
        QCOMPARE(file.value("timePos_UP").toPoint(), QPoint(3, 1));
        QVERIFY(!file.contains("timePos_DOWN"));
        QCOMPARE(file.value("strList").toStringList(), QStringList({"Corp", "Beside", "Below"}));
        QCOMPARE(file.value("pos_2_DOWN").toPoint(), QPoint(2, 0));
        QCOMPARE(file.value("pos_1_UP").toPoint(), QPoint(12, 14));
        d->close();

        // Reopened: the same grid.
        QSettings("./Template/List.ini", QSettings::IniFormat).setValue("curKey", "template_1");
        auto* again = new XlsEditDialog;
        QCOMPARE(again->selectedEntry()->text(), QString("template_1"));
        QVERIFY(blockCell(again, 5, 2) && blockCell(again, 14, 11));
        QCOMPARE(grid(again)->item(1, 3)->text(), QDate::currentDate().toString("yyyy-MM-dd"));
        QCOMPARE(grid(again)->item(15, 4)->text(), QString("Below"));
        QCOMPARE(grid(again)->item(14, 12)->text(), QString("Beside"));
        QCOMPARE(grid(again)->item(0, 0)->text(), QString("Corp"));
        again->close();

        // The export puts them where the editor showed them (no picture, 2 rows).
        MeasureTable table;
        table.names << "L1" << "L2";
        for (int i = 0; i < 18; ++i)
            table.values << "1";
        table.unit = "mm";
        XlsReportLayout layout(XlsReportTemplate::ReadCurrent(), 0, table, false, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
        QVERIFY(layout.Write(env->file("r.xlsx"), QString(), false));
        QProcess check;
        check.start("/usr/bin/python3", {qEnvironmentVariable("SEVRIN_SOURCE_DIR", SEVRIN_SOURCE_DIR) +
                                             "/tests/export/xlsx/xlsxcheck.py", env->file("r.xlsx")});
        QVERIFY(check.waitForFinished(60000));
        const QJsonObject cells = QJsonDocument::fromJson(check.readAllStandardOutput())
                                      .object()["sheets"].toArray()[0].toObject()["cells"].toObject();
        QCOMPARE(cells["A1"].toString(), QString("Corp"));
        QCOMPARE(cells["M15"].toString(), QString("Beside"));
        QCOMPARE(cells["D2"].toString(), QString("2024-01-02 03:04:05"));
        // DOWN rows count from the lower anchor n + y + 31 = 2 + 5 + 31.
        QCOMPARE(cells["E39"].toString(), QString("Below"));
    }

    void wordTemplatesKeepTheirKeysAndLogos() {
        ModalCatcher catcher;
        QDir().mkpath(AppPaths::appFile("WordTemplate"));
        QImage logo(40, 20, QImage::Format_RGB32);
        logo.fill(Qt::blue);
        QVERIFY(logo.save(env->file("pick.png")));
        auto* d = new WordEditDialog;
        d->show();
        click(d, "btnAddTemplate");
        QCOMPARE(d->selectedEntry()->text(), QString("template_1"));
        catcher.fileAnswer = env->file("pick.png");
        click(d, "btnLogo");
        QVERIFY(QFile::exists(AppPaths::appFile("WordTemplate/Logo.png")));
        click(d, "btnLogo");
        QVERIFY(QFile::exists(AppPaths::appFile("WordTemplate/Logo_001.png")));
        const QStringList texts = {"标题", "Sub", "Corp", "Prod", "Op", "Date", "Summary"};
        for (int i = 0; i < 7; ++i)
            d->fields()[i]->setText(texts[i]);
        click(d, "btnSave");
        QTRY_COMPARE(catcher.texts, QStringList({QString::fromUtf8("保存成功！")}));
        d->close();

        QSettings(AppPaths::appFile("WordTemplate/List.ini"), QSettings::IniFormat).setValue("curKey", "template_1");
        const WordReportTemplate read = WordReportTemplate::ReadCurrent();
        QCOMPARE(read.fields, texts);
        QCOMPARE(read.logo, QString("Logo_001.png"));
        auto* again = new WordEditDialog;
        QCOMPARE(again->selectedEntry()->text(), QString("template_1"));
        QCOMPARE(again->fields()[6]->text(), QString("Summary"));
        const QPixmap* shown = again->findChild<QLabel*>("labLogo")->pixmap();
        QVERIFY(shown && shown->height() == 50);
        again->close();
    }

    // A logo picked while the templates' disk has room for part of it only:
    // the "Error" box names the logo file, nothing of it stays on the disk
    // (a partial picture would be listed by the folder and found by the next
    // report), and the template keeps the logo it had. One that fits after
    // room is made is taken whole.
    void logoThatDoesNotFitLeavesNoFile() {
        const QString folder = AppPaths::appFile("WordTemplate");
        TmpfsMount disk(folder, "size=1m");
        if (!disk.ok())
            QSKIP(qPrintable(disk.error()));
        ModalCatcher catcher;
        QImage noise(300, 300, QImage::Format_RGB32); // about 270 KB as PNG: noise does not pack
        quint32 state = 7;
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x) {
                state = state * 1664525u + 1013904223u;
                noise.setPixel(x, y, state >> 8);
            }
        QVERIFY(noise.save(env->file("pick.png")));
        QVERIFY(QFileInfo(env->file("pick.png")).size() > 64 * 1024);
        auto* d = new WordEditDialog;
        d->show();
        click(d, "btnAddTemplate");
        QCOMPARE(d->selectedEntry()->text(), QString("template_1"));
        QVERIFY(disk.leaveFree("filler", 16)); // 64 KiB free
        auto files = [&] { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); };
        const QStringList before = files();

        catcher.fileAnswer = env->file("pick.png");
        click(d, "btnLogo");
        QTRY_COMPARE(catcher.titles, QStringList({"Error"}));
        QVERIFY2(catcher.texts[0].contains(folder + "/Logo.png\n"), qPrintable(catcher.texts[0]));
        QCOMPARE(files(), before);
        QLabel* shown = d->findChild<QLabel*>("labLogo");
        QVERIFY(shown->pixmap(Qt::ReturnByValue).isNull());

        QVERIFY(QFile::remove(folder + "/filler"));
        click(d, "btnLogo");
        QCOMPARE(catcher.titles, QStringList({"Error"}));
        QVERIFY(QFile(folder + "/Logo.png").open(QIODevice::ReadOnly));
        QCOMPARE(QFileInfo(folder + "/Logo.png").size(), QFileInfo(env->file("pick.png")).size());
        QVERIFY(!shown->pixmap(Qt::ReturnByValue).isNull());
        d->close();
    }

    // Every file step of the editors made to fail: the "Error" box comes, no
    // success is claimed, and list file, template files and column stay as
    // they were on disk. (A folder in place of a file makes the step fail
    // without privileges.)
    void failedFileStepsChangeNothing_data() {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("step");
        for (const char* editor : {"xlsx", "word"})
            for (const char* step : {"copy", "copy from a FIFO", "list on add", "remove", "list on remove",
                                     "rename", "list on rename", "save"})
                QTest::newRow(qPrintable(QString("%1 %2").arg(editor, step))) << QString(editor) << QString(step);
    }

    void failedFileStepsChangeNothing() {
        QFETCH(QString, editor);
        QFETCH(QString, step);
        const bool word = editor == "word";
        const QString folder = word ? AppPaths::appFile("WordTemplate") : QDir::current().absoluteFilePath("Template");
        QDir().mkpath(folder);
        const QString list = folder + "/List.ini";
        QSettings(folder + "/default.ini", QSettings::IniFormat).setValue("strList", QStringList({"x"}));
        QSettings(folder + "/mine.ini", QSettings::IniFormat).setValue("imagePos", QPoint(1, 1));
        {
            QSettings l(list, QSettings::IniFormat);
            l.setValue("strList", QStringList({"default", "mine"}));
            l.setValue("curKey", "mine");
        }
        ModalCatcher catcher;
        TemplateEditDialog* d = word ? static_cast<TemplateEditDialog*>(new WordEditDialog)
                                     : static_cast<TemplateEditDialog*>(new XlsEditDialog);
        d->show();
        QCOMPARE(d->selectedEntry()->text(), QString("mine"));
        // A folder in the list file's place: the list can be read no more
        // and written no more, so what the column shows must stay as it is.
        auto breakList = [&] {
            QVERIFY(QFile::remove(list));
            QVERIFY(QDir().mkpath(list + "/x"));
        };
        const QStringList before = entryNames(*d);
        QString failedPath;
        if (step == "copy") {
            QVERIFY(QFile::remove(folder + "/default.ini"));
            QVERIFY(QDir().mkpath(folder + "/default.ini/x")); // cannot be copied
            click(d, "btnAddTemplate");
            failedPath = folder + "/template_1.ini";
        } else if (step == "copy from a FIFO") { // refused at once: the click returns
            QVERIFY(QFile::remove(folder + "/default.ini"));
            QVERIFY(::mkfifo(QFile::encodeName(folder + "/default.ini").constData(), 0644) == 0);
            click(d, "btnAddTemplate");
            failedPath = folder + "/template_1.ini";
            QTRY_VERIFY(catcher.texts.value(0).endsWith(
                "\n" + RegularFile::notRegularText(0, folder + "/default.ini")));
        } else if (step == "list on add") {
            breakList();
            click(d, "btnAddTemplate");
            failedPath = list;
            QVERIFY(!QFile::exists(folder + "/template_1.ini")); // the copy went again
        } else if (step == "remove") {
            QVERIFY(QFile::remove(folder + "/mine.ini"));
            QVERIFY(QDir().mkpath(folder + "/mine.ini/x")); // cannot be removed
            click(d, "btnSubTemplate");
            failedPath = folder + "/mine.ini";
        } else if (step == "list on remove") {
            breakList();
            click(d, "btnSubTemplate");
            failedPath = list;
        } else if (step == "rename") {
            QFile taken(folder + "/other.ini"); // a file of that name, not listed
            QVERIFY(taken.open(QIODevice::WriteOnly));
            taken.close();
            emit d->selectedEntry()->myReturnPressed("other");
            failedPath = folder + "/other.ini";
            QVERIFY(QFile::exists(folder + "/mine.ini"));
        } else if (step == "list on rename") {
            breakList();
            emit d->selectedEntry()->myReturnPressed("other");
            failedPath = list;
            QVERIFY(QFile::exists(folder + "/mine.ini")); // moved back: the list still names it
            QVERIFY(!QFile::exists(folder + "/other.ini"));
        } else if (step == "save") {
            QVERIFY(QFile::remove(folder + "/mine.ini"));
            QVERIFY(QDir().mkpath(folder + "/mine.ini/x")); // cannot be written
            click(d, "btnSave");
            failedPath = folder + "/mine.ini";
        }
        QTRY_COMPARE(catcher.titles, QStringList({"Error"}));
        QVERIFY2(catcher.texts[0].contains(failedPath + "\n"), qPrintable(catcher.texts[0]));
        QVERIFY(!catcher.texts.join("").contains(QString::fromUtf8("保存成功")));
        QCOMPARE(entryNames(*d), before);
        QCOMPARE(d->selectedEntry()->text(), QString("mine"));
        if (!step.startsWith("list"))
            QCOMPARE(listed(list), QStringList({"default", "mine"}));
        QVERIFY(!QFile::exists(folder + "/template_1.ini"));
        d->close();
    }
};

QTEST_MAIN(TemplateEditorsTest)
#include "tst_template_editors.moc"
