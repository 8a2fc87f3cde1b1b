// Whole workbooks, saved and read back by openpyxl, xmllint and zipfile.
#include "export/xlsx/CWorkbook.h"
#include "export/xlsx/CWorksheet.h"
#include "platform/filerules/FileRules.h"
#include "tests/export/zip/TestData.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using namespace SimpleXlsx;

namespace {

QJsonObject readBack(const QString& path)
{
    QByteArray out;
    const QString script = TestData::SourceDir() + "/tests/export/xlsx/xlsxcheck.py";
    EXPECT_EQ(TestData::RunProcess(TestData::PythonProgram(), {script, path}, &out), 0) << out.constData();
    QJsonObject o = QJsonDocument::fromJson(out).object();
    EXPECT_FALSE(o.contains("error")) << out.constData();
    EXPECT_TRUE(o["problems"].toArray().isEmpty()) << QJsonDocument(o["problems"].toArray()).toJson().constData();
    return o;
}

uint64_t titleStyle(CWorkbook& book)
{
    CellStyle s;
    s.font.attributes = FONT_BOLD;
    s.alignment.horizontal = ALIGN_H_CENTER;
    return book.styleRegistry.Register(s);
}

uint64_t bodyStyle(CWorkbook& book)
{
    CellStyle s;
    s.alignment.horizontal = ALIGN_H_LEFT;
    return book.styleRegistry.Register(s);
}

bool folderHasNoFiles(const QString& path)
{
    return !QFileInfo::exists(path) || QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
}

} // namespace

TEST(Workbook, SampleReportReadsBack)
{
    TestEnv env;
    const QString jpeg = env.file("picture.jpg");
    ASSERT_TRUE(TestData::WriteFile(jpeg, TestData::MakeJpeg(320, 240, 4)));
    const QString target = env.file("report.xlsx");
    std::string temp;
    {
        CWorkbook book("workbook");
        temp = book.TempFolder();
        CWorksheet& sheet = book.AddWorksheet("sheet", {{0, 20, 8.0f}});
        const uint64_t title = titleStyle(book);
        const uint64_t body = bodyStyle(book);
        EXPECT_EQ(title, 2u);
        EXPECT_EQ(body, 3u);

        sheet.OpenRow(0).WriteTextCell("Measurement report", title);
        for (int c = 1; c < 11; ++c) sheet.WriteTextCell("", body);
        sheet.CloseRow();
        sheet.OpenRow(0);
        for (int c = 0; c < 11; ++c) sheet.WriteTextCell("Head " + std::to_string(c), body);
        sheet.CloseRow();
        for (int r = 0; r < 120; ++r) {
            sheet.OpenRow(0);
            for (int c = 0; c < 11; ++c) sheet.WriteTextCell(std::to_string(r * 11 + c) + ".5 mm", body);
            sheet.CloseRow();
        }
        sheet.MergeRange({1, 0}, {1, 10});
        EXPECT_TRUE(book.InsertImage(sheet, utf8(jpeg), {12, 0, 1, 0}, {23, 0, 18, 0}));
        EXPECT_TRUE(book.SaveAs(utf8(target)));
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(temp)));

    QJsonObject o = readBack(target);
    EXPECT_EQ(o["creator"].toString(), QString("workbook"));
    QJsonArray entries = o["entries"].toArray();
    ASSERT_GE(entries.size(), 13);
    EXPECT_EQ(entries[0].toString(), QString("xl/worksheets/sheet1.xml"));
    EXPECT_EQ(entries[1].toString(), QString("xl/media/image1.jpg"));
    EXPECT_EQ(entries[2].toString(), QString("docProps/core.xml"));

    QJsonObject sheet = o["sheets"].toArray()[0].toObject();
    EXPECT_EQ(sheet["title"].toString(), QString("sheet"));
    EXPECT_EQ(sheet["maxRow"].toInt(), 122);
    QJsonObject cells = sheet["cells"].toObject();
    EXPECT_EQ(cells.size(), 1 + 11 + 120 * 11);
    EXPECT_EQ(cells["A1"].toString(), QString("Measurement report"));
    EXPECT_EQ(cells["K2"].toString(), QString("Head 10"));
    EXPECT_EQ(cells["A3"].toString(), QString("0.5 mm"));
    EXPECT_EQ(cells["K122"].toString(), QString("1319.5 mm"));
    EXPECT_EQ(cells["F60"].toString(), QString(std::to_string(57 * 11 + 5).c_str()) + ".5 mm");
    EXPECT_EQ(sheet["merged"].toArray(), QJsonArray({"A1:K1"}));
    EXPECT_TRUE(sheet["a1"].toObject()["bold"].toBool());
    EXPECT_EQ(sheet["a1"].toObject()["horizontal"].toString(), QString("center"));
    EXPECT_FALSE(sheet["b2"].toObject()["bold"].toBool());
    EXPECT_EQ(sheet["b2"].toObject()["horizontal"].toString(), QString("left"));
    EXPECT_EQ(sheet["widths"].toObject()["A"].toDouble(), 8.0);
    EXPECT_EQ(sheet["images"].toInt(), 1);
}

TEST(Workbook, DifficultTextsSurvive)
{
    TestEnv env;
    const std::vector<std::string> texts = {
        "a<b & c>d", "\"quoted\" and 'single'", "\xe6\xb5\x8b\xe9\x87\x8f\xe7\xbb\x93\xe6\x9e\x9c \xe9\x95\xbf\xe5\xba\xa6",
        "bell\x07here", "tab\tand\nnewline", "=", "plain"};
    const QString target = env.file("texts.xlsx");
    {
        CWorkbook book("R&D <lab> \"A\" 'B'");
        CWorksheet& sheet = book.AddWorksheet("R&D <1>", {});
        sheet.OpenRow();
        for (const std::string& t : texts) sheet.WriteTextCell(t);
        sheet.WriteTextCell(std::wstring(L"\u5bbd\u5ea6 wide"));
        sheet.CloseRow();
        ASSERT_TRUE(book.SaveAs(utf8(target)));
    }
    QJsonObject o = readBack(target);
    EXPECT_EQ(o["creator"].toString(), QString("R&D <lab> \"A\" 'B'"));
    QJsonObject sheet = o["sheets"].toArray()[0].toObject();
    EXPECT_EQ(sheet["title"].toString(), QString("R&D <1>"));
    QJsonObject cells = sheet["cells"].toObject();
    const char* refs[] = {"A1", "B1", "C1", "D1", "E1", "F1", "G1"};
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(cells[refs[i]].toString(), QString::fromStdString(texts[i])) << refs[i];
    EXPECT_EQ(cells["H1"].toString(), QString::fromWCharArray(L"\u5bbd\u5ea6 wide"));
}

TEST(Workbook, FormulasWithoutTextCells)
{
    TestEnv env;
    const QString target = env.file("formula.xlsx");
    {
        CWorkbook book("");
        CWorksheet& sheet = book.AddWorksheet("calc", {});
        sheet.OpenRow().WriteTextCell("=1+2").WriteTextCell("=A1*2").CloseRow();
        ASSERT_TRUE(book.SaveAs(utf8(target)));
    }
    QJsonObject o = readBack(target);
    QJsonArray entries = o["entries"].toArray();
    EXPECT_TRUE(entries.contains("xl/calcChain.xml"));
    EXPECT_FALSE(entries.contains("xl/sharedStrings.xml"));
    QJsonObject cells = o["sheets"].toArray()[0].toObject()["cells"].toObject();
    EXPECT_EQ(cells["A1"].toString(), QString("=1+2"));
    EXPECT_EQ(cells["B1"].toString(), QString("=A1*2"));
    EXPECT_FALSE(o["creator"].toString().isEmpty());
}

TEST(Workbook, SaveIntoAFolderThatCannotBeWrittenLeavesNothing)
{
    TestEnv env;
    ASSERT_TRUE(TestData::WriteFile(env.file("plain.txt"), TestData::FromString("x")));
    for (const QString& target : {env.file("missing/folder/out.xlsx"), env.file("plain.txt/out.xlsx")}) {
        std::string temp;
        {
            CWorkbook book("workbook");
            temp = book.TempFolder();
            book.AddWorksheet("sheet").OpenRow().WriteTextCell("value").CloseRow();
            EXPECT_FALSE(book.SaveAs(utf8(target)));
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(temp))) << "temporary files left";
        }
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    EXPECT_EQ(QDir(env.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"plain.txt"}));
}

TEST(Workbook, FailedPartWriteFailsTheSaveAndKeepsTheOlderFile)
{
    TestEnv env;
    const QString target = env.file("kept.xlsx");
    ASSERT_TRUE(TestData::WriteFile(target, TestData::FromString("older file")));
    std::string temp;
    {
        CWorkbook book("workbook");
        temp = book.TempFolder();
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("value").CloseRow();
        // A file where the properties folder must go: core.xml cannot be made.
        const QString blocker = QString::fromStdString(temp) + "/docProps";
        ASSERT_TRUE(TestData::WriteFile(blocker, TestData::FromString("")));
        EXPECT_FALSE(book.SaveAs(utf8(target)));
        QFile::remove(blocker);
        EXPECT_TRUE(folderHasNoFiles(QString::fromStdString(temp)));
    }
    // Emptied after the failed save, the workbook's folder goes with it.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(temp))) << temp;
    EXPECT_EQ(TestData::ReadFile(target), TestData::FromString("older file"));
    EXPECT_EQ(QDir(env.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"kept.xlsx"}));
}

TEST(Workbook, WorkbookWithoutSheetsIsNotSaved)
{
    TestEnv env;
    const QString target = env.file("none.xlsx");
    std::string temp;
    {
        CWorkbook book("workbook");
        temp = book.TempFolder();
        EXPECT_FALSE(book.SaveAs(utf8(target)));
    }
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(temp)));
}

TEST(Workbook, SavingReplacesAnExistingFileOnce)
{
    TestEnv env;
    const QString target = env.file("again.xlsx");
    ASSERT_TRUE(TestData::WriteFile(target, TestData::FromString("older file")));
    CWorkbook book("workbook");
    book.AddWorksheet("sheet").OpenRow().WriteTextCell("new").CloseRow();
    EXPECT_TRUE(book.SaveAs(utf8(target)));
    EXPECT_FALSE(book.SaveAs(utf8(env.file("second.xlsx")))); // a workbook is saved once
    QJsonObject o = readBack(target);
    EXPECT_EQ(o["sheets"].toArray()[0].toObject()["cells"].toObject()["A1"].toString(), QString("new"));
}

TEST(Workbook, StreamingReadersSeeEveryRow)
{
    TestEnv env;
    const QString target = env.file("rows.xlsx");
    {
        CWorkbook book("workbook");
        CWorksheet& sheet = book.AddWorksheet("sheet");
        sheet.OpenRow(); // an empty first row
        for (int r = 0; r < 1000; ++r) sheet.OpenRow().WriteTextCell("").WriteTextCell(std::to_string(r)).WriteTextCell("x");
        sheet.CloseRow();
        ASSERT_TRUE(book.SaveAs(utf8(target)));
    }
    QJsonObject sheet = readBack(target)["sheets"].toArray()[0].toObject();
    EXPECT_EQ(sheet["dimension"].toString(), QString("B2:C1001"));
    EXPECT_EQ(sheet["readOnlyCells"].toInt(), 2000);
    EXPECT_EQ(sheet["cells"].toObject()["B1001"].toString(), QString("999"));
}

TEST(Workbook, CarriageReturnsComeBack)
{
    TestEnv env;
    const QString target = env.file("cr.xlsx");
    const std::vector<std::string> texts = {"a\rb", "a\r\nb", "a\nb", "_x000D_"};
    {
        CWorkbook book("workbook");
        CWorksheet& sheet = book.AddWorksheet("sheet");
        sheet.OpenRow();
        for (const std::string& t : texts) sheet.WriteTextCell(t);
        sheet.CloseRow();
        ASSERT_TRUE(book.SaveAs(utf8(target)));
    }
    QJsonObject cells = readBack(target)["sheets"].toArray()[0].toObject()["cells"].toObject();
    // openpyxl reads the _xHHHH_ escapes raw (decoded by the checker), so it
    // cannot tell a literal "_x000D_" from a CR; LibreOffice can.
    const char* refs[] = {"A1", "B1", "C1"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(cells[refs[i]].toString(), QString::fromStdString(texts[i])) << refs[i];
    bool ok = false;
    const QByteArray csv = TestData::LibreOfficeCsv(target, &ok);
    if (!ok)
        GTEST_SKIP() << "LibreOffice is not installed";
    // LibreOffice folds a CR LF inside a cell into LF, whoever wrote the file.
    EXPECT_TRUE(csv.startsWith("\"a\rb\",\"a\nb\",\"a\nb\",\"_x000D_\"")) << csv.constData();
}

TEST(Workbook, SheetTitlesAreLegalAndUnique)
{
    TestEnv env;
    const QString target = env.file("titles.xlsx");
    {
        CWorkbook book("workbook");
        for (const char* t : {"Sheet 1", "", "a/b", "a:b", "'quoted'", "SHEET 1", "0123456789012345678901234567890123"})
            book.AddWorksheet(t).OpenRow().WriteTextCell(t).CloseRow();
        book.AddWorksheet("0123456789012345678901234567890123");
        ASSERT_TRUE(book.SaveAs(utf8(target)));
    }
    QStringList titles;
    for (const QJsonValue& s : readBack(target)["sheets"].toArray()) titles << s.toObject()["title"].toString();
    EXPECT_EQ(titles, QStringList({"Sheet 1", "Sheet 1 (2)", "a_b", "a_b (2)", "quoted", "SHEET 1 (3)",
                                   "0123456789012345678901234567890", "012345678901234567890123456 (2)"}));
}

TEST(Workbook, WritingPastTheSheetLimitsFailsTheSave)
{
    for (bool rows : {true, false}) {
        TestEnv env;
        const QString target = env.file("big.xlsx");
        std::string temp;
        {
            CWorkbook book("workbook");
            temp = book.TempFolder();
            CWorksheet& sheet = book.AddWorksheet("sheet");
            if (rows) {
                for (int r = 0; r < 1048577; ++r) sheet.OpenRow();
                sheet.WriteTextCell("last");
            } else {
                sheet.OpenRow();
                for (int c = 0; c <= 16384; ++c) sheet.WriteTextCell("x");
            }
            sheet.CloseRow();
            EXPECT_FALSE(book.SaveAs(utf8(target))) << rows;
        }
        EXPECT_FALSE(QFileInfo::exists(target));
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(temp)));
    }
}

TEST(Workbook, MissingTemporaryFolderFallsBackToTmp)
{
    TestEnv env;
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", env.file("missing").toUtf8());
    {
        CWorkbook book("workbook");
        EXPECT_EQ(book.TempFolder().rfind("/tmp/xlsx_", 0), 0u) << book.TempFolder();
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("v").CloseRow();
        EXPECT_TRUE(book.SaveAs(utf8(env.file("t.xlsx"))));
    }
    if (old.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old);
    EXPECT_EQ(readBack(env.file("t.xlsx"))["sheets"].toArray()[0].toObject()["cells"].toObject()["A1"].toString(),
              QString("v"));
}

TEST(Workbook, SavingOverAFileKeepsItsModeAndOwner)
{
    TestEnv env;
    const QString target = env.file("private.xlsx");
    ASSERT_TRUE(TestData::WriteFile(target, TestData::FromString("old")));
    ASSERT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    CWorkbook book("workbook");
    book.AddWorksheet("sheet").OpenRow().WriteTextCell("new").CloseRow();
    ASSERT_TRUE(book.SaveAs(utf8(target)));
    EXPECT_EQ(QFile::permissions(target) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    if (::geteuid() != 0)
        return; // only root can make a file of another owner
    const QByteArray name = QFile::encodeName(target);
    ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    CWorkbook again("workbook");
    again.AddWorksheet("sheet").OpenRow().WriteTextCell("again").CloseRow();
    ASSERT_TRUE(again.SaveAs(utf8(target)));
    struct stat st;
    ASSERT_EQ(::stat(name.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A report saved over keeps its ACL, as getfacl reads it; a new one gets
// what its folder's default ACL gives a file made there (as touch makes it).
TEST(Workbook, SavingKeepsWhatTheAclSays)
{
    TestEnv env;
    const QString folder = env.file("reports"), kept = folder + "/kept.xlsx", fresh = folder + "/fresh.xlsx";
    ASSERT_TRUE(QDir().mkpath(folder));
    QByteArray error;
    if (TestData::RunProcess("setfacl", {"-d", "-m", "u:nobody:rw,g::r,o::-", folder}, &error) != 0) {
        if (error.contains("Operation not supported"))
            GTEST_SKIP() << "the temporary folder's file system keeps no ACLs";
        FAIL() << error.constData();
    }
    ASSERT_EQ(TestData::RunProcess("touch", {folder + "/touched"}), 0);
    ASSERT_TRUE(TestData::WriteFile(kept, TestData::FromString("old")));
    ASSERT_EQ(TestData::RunProcess("setfacl", {"-m", "u:nobody:---,o::r", kept}), 0);
    auto acl = [](const QString& path) {
        QByteArray out;
        EXPECT_EQ(TestData::RunProcess("getfacl", {"-p", "--omit-header", path}, &out), 0) << out.constData();
        return out.toStdString();
    };
    const std::string before = acl(kept);
    for (const QString& target : {kept, fresh}) {
        CWorkbook book("workbook");
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("new").CloseRow();
        ASSERT_TRUE(book.SaveAs(utf8(target)));
    }
    EXPECT_EQ(acl(kept), before);
    EXPECT_EQ(acl(fresh), acl(folder + "/touched"));
}

// An export killed while its archive is written leaves its part folder and
// the unfinished archive, both held by the killed program until it ended:
// the next export takes them at once, however fresh.
TEST(Workbook, AKilledExportsFilesGoAtTheNextExport)
{
    TestEnv env;
    const QString tmp = env.file("tmp"), out = env.file("out");
    QDir().mkpath(tmp);
    QDir().mkpath(out);
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.toUtf8());
    const pid_t pid = ::fork();
    if (pid == 0) {
        CWorkbook book("workbook");
        CWorksheet& sheet = book.AddWorksheet("sheet");
        for (int r = 0; r < 100; ++r) sheet.OpenRow().WriteTextCell("part of the report").CloseRow();
        // The archive under way beside the report, as the save makes it.
        std::string archive;
        const int fd = FileRules::createTemporary(utf8(out + "/report.xlsx"), &archive);
        if (fd < 0 || ::write(fd, "PK\x03\x04", 4) != 4)
            ::_exit(1);
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    const QStringList leftTmp = QDir(tmp).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const QStringList leftOut = QDir(out).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(leftTmp.size(), 1);
    ASSERT_EQ(leftOut.size(), 1);
    EXPECT_TRUE(leftOut[0].startsWith(".~")) << leftOut[0].toStdString(); // unfinished: hidden
    {
        CWorkbook book("workbook");
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("v").CloseRow();
        EXPECT_TRUE(book.SaveAs(utf8(out + "/next.xlsx")));
    }
    if (old.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old);
    if (!FileRules::locksAreSeenByAll(utf8(out)) || !FileRules::locksAreSeenByAll(utf8(tmp)))
        GTEST_SKIP() << "locks here are not seen by every writer: the killed export's files wait ten minutes";
    EXPECT_EQ(QDir(tmp).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(' ').toStdString(), "");
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(), "next.xlsx");
}

// As an ordinary user, the user's own report made read-only is not
// replaced: the save is refused and the report stays byte for byte, with its
// mode.
TEST(Workbook, SavingOverTheUsersReadOnlyReportIsRefused)
{
    // Root, whom the system lets write anything, saves as nobody.
    const bool root = ::geteuid() == 0;
    TestEnv env;
    const QString folder = env.file("reports"), target = folder + "/mine.xlsx";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(env.path()).constData(), 0755), 0);
    ASSERT_TRUE(TestData::WriteFile(target, TestData::FromString("the report as it was")));
    const QByteArray name = QFile::encodeName(target);
    for (const QByteArray& f : {QFile::encodeName(folder), name})
        ASSERT_TRUE(!root || ::chown(f.constData(), 65534, 65534) == 0);
    struct stat before;
    ASSERT_EQ(::stat(name.constData(), &before), 0);
    ASSERT_EQ(::chmod(name.constData(), 0444), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
            ::_exit(77);
        qputenv("TMPDIR", folder.toUtf8()); // a temporary folder nobody may use
        CWorkbook book("workbook");
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("new").CloseRow();
        ::_exit(book.SaveAs(utf8(target)) ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "nobody cannot reach the temporary folder";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save claimed success";
    EXPECT_EQ(TestData::ReadFile(target), TestData::FromString("the report as it was"));
    struct stat st;
    ASSERT_EQ(::stat(name.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_uid, before.st_uid);
}

// Another user's link at the report's name in a shared sticky folder,
// dangling into a folder only root may enter or naming root's file there,
// is not followed: the save is refused, and nothing is written anywhere.
TEST(Workbook, AnotherUsersLinkSteersNoSave)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a link to another user";
    for (const char* to : {"made.xlsx", "secret"}) {
        TestEnv env;
        const QString link = plantOthersLink(env.path(), "mine.xlsx", to);
        ASSERT_FALSE(link.isEmpty());
        CWorkbook book("workbook");
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("new").CloseRow();
        EXPECT_FALSE(book.SaveAs(utf8(link))) << to;
        EXPECT_EQ(QDir(env.file("locked")).entryList(QDir::Files).join(' ').toStdString(), "secret") << to;
        EXPECT_EQ(TestData::ReadFile(env.file("locked/secret")), TestData::FromString("root's")) << to;
        const QDir shared(env.file("shared"));
        EXPECT_EQ(shared.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                  QStringList({"mine.xlsx"})) << to;
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << to;
    }
}

namespace {
// The id of a process that has ended.
qint64 endedProcess()
{
    QProcess p;
    p.start("sh", {"-c", "echo $$"});
    p.waitForFinished(30000);
    return p.readAllStandardOutput().trimmed().toLongLong();
}

// What an export killed midway leaves: its part folder in the temporary
// folder and its unfinished archive beside the report.
void leaveDebris(const QString& tmp, const QString& out, qint64 pid, const QString& tag, bool old)
{
    const QString folder = QString("%1/xlsx_%2_%3").arg(tmp).arg(pid).arg(tag);
    QDir().mkpath(folder + "/xl/worksheets");
    const QString archive = QString("%1/%2.xlsx.~%3_0").arg(out, tag).arg(pid);
    for (const QString& f : {folder + "/xl/worksheets/sheet1.xml", folder + "/[Content_Types].xml", archive})
        ASSERT_TRUE(TestData::WriteFile(f, TestData::FromString("<partial")));
    if (old) { // from long before any process now running started
        const utimbuf past{std::time(nullptr) - 7200, std::time(nullptr) - 7200};
        for (const QString& f : {folder + "/xl/worksheets", folder + "/xl", folder, archive})
            ASSERT_EQ(::utime(QFile::encodeName(f).constData(), &past), 0);
    }
}
} // namespace

// A program killed during an export leaves its part folder and unfinished
// archive; the next save removes those of ended programs long untouched, and
// leaves those of programs still running, those touched in the last minutes
// and every file that is not such debris.
TEST(Workbook, DebrisOfEndedExportsGoesAtTheNextSave)
{
    TestEnv env;
    const QString tmp = env.file("tmp"), out = env.file("out");
    QDir().mkpath(tmp);
    QDir().mkpath(out);
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.toUtf8());
    QProcess running;
    running.start("sleep", {"600"});
    ASSERT_TRUE(running.waitForStarted());
    const qint64 ended = endedProcess(), live = running.processId();
    ASSERT_GT(ended, 0);
    leaveDebris(tmp, out, ended, "Ended1", true);
    // Just touched: a write whose id says nothing here (another pid
    // namespace, another computer on a shared folder) may be under way.
    leaveDebris(tmp, out, ended, "Fresh1", false);
    leaveDebris(tmp, out, live, "Alive1", false);
    leaveDebris(tmp, out, live, "Reused", true); // the id was another program's then
    leaveDebris(tmp, out, ::getpid(), "Mine01", false);
    // Not debris by name, however old: a user's file whose name only ends
    // as an unfinished archive's does.
    const QString usersNotes = out + QString("/notes.txt.~%1_5").arg(ended);
    for (const QString& f : {out + QString("/notes.~%1_0").arg(ended), out + "/a.xlsx.~x_0", tmp + "/xlsx_other/f",
                             usersNotes}) {
        QDir().mkpath(QFileInfo(f).absolutePath());
        ASSERT_TRUE(TestData::WriteFile(f, TestData::FromString("keep")));
    }
    const utimbuf longAgo{std::time(nullptr) - 7200, std::time(nullptr) - 7200};
    ASSERT_EQ(::utime(QFile::encodeName(usersNotes).constData(), &longAgo), 0);
    std::string folder;
    {
        CWorkbook book("workbook");
        folder = book.TempFolder();
        book.AddWorksheet("sheet").OpenRow().WriteTextCell("v").CloseRow();
        EXPECT_TRUE(book.SaveAs(utf8(out + "/new.xlsx")));
    }
    running.kill();
    running.waitForFinished();
    if (old.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old);
    // Its own folder carries this program's id, as the sweep expects.
    const QRegularExpressionMatch own =
        QRegularExpression("^xlsx_([0-9]+)[_=]").match(QFileInfo(QString::fromStdString(folder)).fileName());
    EXPECT_EQ(own.captured(1).toLongLong(), qint64(::getpid())) << folder;
    auto sorted = [](QStringList l) {
        l.sort();
        return l.join(' ').toStdString();
    };
    EXPECT_EQ(sorted(QDir(out).entryList(QDir::Files)),
              sorted({QString("Alive1.xlsx.~%1_0").arg(live), QString("Mine01.xlsx.~%1_0").arg(::getpid()),
                      QString("Fresh1.xlsx.~%1_0").arg(ended), "a.xlsx.~x_0", "new.xlsx",
                      QString("notes.~%1_0").arg(ended), QFileInfo(usersNotes).fileName()}));
    EXPECT_EQ(sorted(QDir(tmp).entryList(QDir::Dirs | QDir::NoDotAndDotDot)),
              sorted({QString("xlsx_%1_Alive1").arg(live), QString("xlsx_%1_Mine01").arg(::getpid()),
                      QString("xlsx_%1_Fresh1").arg(ended), "xlsx_other"}));
    EXPECT_TRUE(QFileInfo::exists(tmp + "/xlsx_other/f"));
}
