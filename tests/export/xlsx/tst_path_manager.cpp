// The temporary-folder bookkeeping of the workbook writer.
#include "export/xlsx/CPathManager.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <unistd.h>

using SimpleXlsx::CPathManager;

namespace {
bool writeText(const std::string& path, const char* text)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::WriteOnly) && f.write(text) >= 0;
}
} // namespace

TEST(PathManager, PartsCreateTheirFoldersOnceAndAreListedInOrder)
{
    TestEnv env;
    const std::string base = utf8(env.file("pkg"));
    CPathManager pm(base);
    std::string sheet1 = pm.RegisterPart("/xl/worksheets/sheet1.xml");
    std::string sheet2 = pm.RegisterPart("/xl/worksheets/sheet2.xml");
    std::string core = pm.RegisterPart("/docProps/core.xml");
    EXPECT_EQ(sheet1, base + "/xl/worksheets/sheet1.xml");
    EXPECT_TRUE(QDir(QString::fromStdString(base + "/xl/worksheets")).exists());
    EXPECT_EQ(pm.PartFiles(), (std::vector<std::string>{"/xl/worksheets/sheet1.xml", "/xl/worksheets/sheet2.xml",
                                                        "/docProps/core.xml"}));
    // pkg, xl, worksheets, docProps: each once, with forward slashes; the
    // folders that existed before (the test folder and above) are not listed.
    EXPECT_EQ(pm.CreatedFolders(), (std::vector<std::string>{base + "/", base + "/xl/", base + "/xl/worksheets/",
                                                             base + "/docProps/"}));
    ASSERT_TRUE(writeText(sheet1, "a") && writeText(sheet2, "b") && writeText(core, "c"));

    pm.RemoveAll();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(base)));
    EXPECT_TRUE(QDir(env.path()).exists());
    EXPECT_TRUE(pm.PartFiles().empty());
    EXPECT_TRUE(pm.CreatedFolders().empty());
    pm.RemoveAll(); // a second run finds nothing to do
}

TEST(PathManager, BackslashesBecomeSlashes)
{
    TestEnv env;
    CPathManager pm(utf8(env.path()));
    EXPECT_TRUE(pm.MakeDirectories(utf8(env.path()) + "\\a\\b/file.txt"));
    EXPECT_TRUE(QDir(env.file("a/b")).exists());
    ASSERT_EQ(pm.CreatedFolders().size(), 2u);
    EXPECT_EQ(pm.CreatedFolders()[1], utf8(env.path()) + "/a/b/");
    EXPECT_FALSE(QFileInfo::exists(env.file("a/b/file.txt")));
}

TEST(PathManager, MissingParentStopsFolderCreation)
{
    TestEnv env;
    // A dangling link: its own folder cannot be entered, so "sub" has no parent.
    ASSERT_EQ(::symlink("nowhere/at/all", utf8(env.file("link")).c_str()), 0);
    CPathManager pm(utf8(env.path()));
    EXPECT_TRUE(pm.MakeDirectories(utf8(env.path()) + "/made/x"));
    EXPECT_FALSE(pm.MakeDirectories(utf8(env.path()) + "/link/sub/part.xml"));
    // What was made before stays until RemoveAll.
    EXPECT_TRUE(QDir(env.file("made")).exists());
    pm.RemoveAll();
    EXPECT_FALSE(QDir(env.file("made")).exists());
}

TEST(PathManager, CopyIntoThePackageAndItsFailures)
{
    TestEnv env;
    const std::string src = utf8(env.file("picture.jpg"));
    QByteArray content(200000, '\0');
    for (int i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + i / 7);
    {
        QFile f(QString::fromStdString(src));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    CPathManager pm(utf8(env.file("pkg")));
    ASSERT_TRUE(pm.CopyFileToPart(src, "/xl/media/image1.jpg"));
    QFile copy(env.file("pkg/xl/media/image1.jpg"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), content);

    // A missing source adds nothing.
    EXPECT_FALSE(pm.CopyFileToPart(utf8(env.file("missing.jpg")), "/xl/media/image2.jpg"));
    // A source that opens but cannot be read (a folder) is a failed copy,
    // not a truncated success; no part is left listed or on disk.
    EXPECT_FALSE(pm.CopyFileToPart(utf8(env.path()), "/xl/media/image3.jpg"));
    EXPECT_FALSE(QFileInfo::exists(env.file("pkg/xl/media/image3.jpg")));
    EXPECT_EQ(pm.PartFiles(), std::vector<std::string>{"/xl/media/image1.jpg"});
    pm.RemoveAll();
    EXPECT_FALSE(QFileInfo::exists(env.file("pkg")));
}

TEST(PathManager, WideTextBecomesUtf8)
{
    EXPECT_EQ(SimpleXlsx::ToAnsiString(L"/tmp/report.xlsx"), "/tmp/report.xlsx");
    EXPECT_EQ(SimpleXlsx::ToAnsiString(L"\u6d4b\u91cf-\u00e9"), "\xe6\xb5\x8b\xe9\x87\x8f-\xc3\xa9");
    EXPECT_EQ(SimpleXlsx::ToAnsiString(L"\U0001F600"), "\xf0\x9f\x98\x80");
    const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(SimpleXlsx::ToAnsiString(bad), "a??");
    EXPECT_EQ(SimpleXlsx::ToAnsiString(static_cast<const wchar_t*>(nullptr)), "");
}
