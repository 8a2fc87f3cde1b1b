// Archives of the zip writer, checked by unzip -t and Python's zipfile.
#include "TestData.h"
#include "export/zip/ZipArchive.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using TestData::Bytes;

namespace {

QJsonObject zipCheck(const QString& archive)
{
    QByteArray out;
    const QString script = TestData::SourceDir() + "/tests/export/zip/zipcheck.py";
    int rc = TestData::RunProcess(TestData::PythonProgram(), {script, archive}, &out);
    EXPECT_EQ(rc, 0) << out.constData();
    return QJsonDocument::fromJson(out).object();
}

bool unzipTest(const QString& archive, QByteArray* out = nullptr)
{
    return TestData::RunProcess("unzip", {"-t", "-q", archive}, out) == 0;
}

QString writeSource(TestEnv& env, const QString& name, const Bytes& data)
{
    QString path = env.file(name);
    QDir().mkpath(QFileInfo(path).path());
    EXPECT_TRUE(TestData::WriteFile(path, data));
    return path;
}

uint32_t le32(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Open descriptors of this process: a failed add must close its source.
int openFds()
{
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

uint16_t le16(const Bytes& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

} // namespace

TEST(ZipArchive, EmptyArchiveIsJustTheEndRecord)
{
    TestEnv env;
    QString path = env.file("empty.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(ZipCloseArchive(z), kZipOk);
    Bytes b = TestData::ReadFile(path);
    ASSERT_EQ(b.size(), 22u);
    EXPECT_EQ(le32(b, 0), 0x06054B50u);
    for (size_t i = 4; i < 22; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_TRUE(zipCheck(path)["ok"].toBool());
}

TEST(ZipArchive, EntriesReadBackWithAgreeingHeaders)
{
    TestEnv env;
    struct Source {
        const char* name; // archive name
        Bytes data;
        int method;
    };
    std::vector<Source> sources = {
        {"xl/worksheets/sheet1.xml", TestData::MakeSheetXml(40, 11, 1), 8},
        {"xl/media/image1.jpg", TestData::MakeJpeg(320, 240, 3), 8},
        {"empty.txt", {}, 8},
        {"one", {'x'}, 8},
        {"random.bin", TestData::MakeRandom(70000, 5), 8},
        {"backup.gz", TestData::MakeText(5000, 2), 0},
        {"backup.GZ", TestData::MakeText(5000, 3), 8},
        {"old.Zip", TestData::MakeText(3000, 4), 8},
        {"new.zipx", TestData::MakeText(3000, 5), 8},
        {"dir.zip/readme", TestData::MakeText(3000, 6), 8},
        {"big.tgz", TestData::MakeRandom(40000, 6), 0},
    };
    QString path = env.file("out.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    ASSERT_NE(z, nullptr);
    int i = 0;
    for (const Source& s : sources) {
        QString src = writeSource(env, QString("src%1").arg(i++), s.data);
        EXPECT_EQ(ZipAddFile(z, s.name, src.toUtf8().constData()), kZipOk) << s.name;
    }
    EXPECT_EQ(ZipCloseArchive(z), kZipOk);

    QByteArray log;
    EXPECT_TRUE(unzipTest(path, &log)) << log.constData();
    QJsonObject check = zipCheck(path);
    ASSERT_TRUE(check["ok"].toBool()) << QJsonDocument(check).toJson().constData();
    QJsonArray entries = check["entries"].toArray();
    ASSERT_EQ(entries.size(), static_cast<int>(sources.size()));
    for (int k = 0; k < entries.size(); ++k) {
        QJsonObject e = entries[k].toObject();
        const Source& s = sources[k];
        SCOPED_TRACE(s.name);
        EXPECT_EQ(e["name"].toString(), QString(s.name));
        EXPECT_EQ(e["method"].toInt(), s.method);
        EXPECT_EQ(e["flags"].toInt(), s.method == 8 ? 2 : 0);
        EXPECT_EQ(e["size"].toInt(), static_cast<int>(s.data.size()));
        EXPECT_EQ(e["versionNeeded"].toInt(), 20);
        EXPECT_EQ(e["versionMadeBy"].toInt(), 0x0B17);
        if (s.method == 0) {
            EXPECT_EQ(e["csize"].toInt(), static_cast<int>(s.data.size()));
        }
        // Extended time stamps: 17 bytes locally (three times), 9 centrally.
        EXPECT_EQ(e["localExtra"].toString().left(10), QString("55540d0007"));
        EXPECT_EQ(e["localExtra"].toString().size(), 34);
        EXPECT_EQ(e["centralExtra"].toString().left(10), QString("5554050007"));
        EXPECT_EQ(e["centralExtra"].toString().mid(10), e["localExtra"].toString().mid(10, 8));
        // Regular file readable and writable by its owner.
        EXPECT_EQ(static_cast<uint32_t>(e["external"].toDouble()) >> 16, 0x8180u);
    }
    // The empty source deflates to the two bytes 03 00 with CRC 0.
    EXPECT_EQ(entries[2].toObject()["csize"].toInt(), 2);
    EXPECT_EQ(entries[2].toObject()["crc"].toInt(), 0);
}

TEST(ZipArchive, NamesKeepTheirTextWithSlashesForBackslashes)
{
    TestEnv env;
    QString src = writeSource(env, "a.txt", TestData::FromString("hello"));
    QString path = env.file("names.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    EXPECT_EQ(ZipAddFile(z, "xl\\worksheets\\sheet1.xml", src.toUtf8().constData()), kZipOk);
    EXPECT_EQ(ZipAddFile(z, "abs/Name.TXT", src.toUtf8().constData()), kZipOk);
    ZipCloseArchive(z);
    QJsonArray entries = zipCheck(path)["entries"].toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].toObject()["name"].toString(), QString("xl/worksheets/sheet1.xml"));
    Bytes b = TestData::ReadFile(path);
    // The raw local header name keeps the case.
    EXPECT_EQ(std::string(b.begin() + entries[1].toObject()["offset"].toInt() + 30,
                          b.begin() + entries[1].toObject()["offset"].toInt() + 30 + 12),
              "abs/Name.TXT");
}

TEST(ZipArchive, DosTimeIsTheLastWriteInUtc)
{
    TestEnv env;
    QString src = writeSource(env, "timed.txt", TestData::FromString("timed"));
    // 2021-03-04 10:20:31 UTC
    struct timeval times[2] = {{1614853231, 0}, {1614853231, 0}};
    ASSERT_EQ(::utimes(src.toUtf8().constData(), times), 0);
    QString path = env.file("time.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    ASSERT_EQ(ZipAddFile(z, "timed.txt", src.toUtf8().constData()), kZipOk);
    ZipCloseArchive(z);
    QJsonObject e = zipCheck(path)["entries"].toArray()[0].toObject();
    EXPECT_EQ(e["dosTime"].toInt(), 10 * 2048 + 20 * 32 + 15);
    EXPECT_EQ(e["dosDate"].toInt(), (2021 - 1980) << 9 | 3 << 5 | 4);
    EXPECT_EQ(e["centralExtra"].toString().mid(10), QString("6fb44060")); // 1614853231 = 0x6040B46F
}

TEST(ZipArchive, BadArgumentsAndMissingSources)
{
    TestEnv env;
    EXPECT_EQ(ZipCloseArchive(nullptr), kZipBadArgument);
    EXPECT_EQ(ZipAddFile(nullptr, "a", "b"), kZipBadArgument);
    EXPECT_EQ(ZipOpenArchive(env.file("no/such/folder/x.zip").toUtf8().constData()), nullptr);

    QString good = writeSource(env, "good.xml", TestData::MakeSheetXml(10, 5, 1));
    QString path = env.file("partial.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    const int fds = openFds();
    EXPECT_EQ(ZipAddFile(z, "", good.toUtf8().constData()), kZipBadArgument);
    EXPECT_EQ(ZipAddFile(z, nullptr, good.toUtf8().constData()), kZipBadArgument);
    EXPECT_EQ(ZipAddFile(z, "a.xml", nullptr), kZipBadArgument);
    EXPECT_EQ(ZipAddFile(z, "first.xml", good.toUtf8().constData()), kZipOk);
    EXPECT_EQ(ZipAddFile(z, "missing.xml", env.file("missing.xml").toUtf8().constData()), kZipSourceError);
    EXPECT_EQ(ZipAddFile(z, "folder", env.path().toUtf8().constData()), kZipSourceError);
    EXPECT_EQ(ZipAddFile(z, "second.xml", good.toUtf8().constData()), kZipOk);
    EXPECT_EQ(openFds(), fds);
    EXPECT_EQ(ZipCloseArchive(z), kZipOk);
    EXPECT_TRUE(unzipTest(path));
    QJsonObject check = zipCheck(path);
    EXPECT_TRUE(check["ok"].toBool());
    EXPECT_EQ(check["entries"].toArray().size(), 2);
}

TEST(ZipArchive, WriteFailuresAreReported)
{
    // /dev/full accepts the open and fails every write with ENOSPC.
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TestEnv env;
    QString src = writeSource(env, "data.xml", TestData::MakeSheetXml(20, 5, 1));
    ZipArchive* z = ZipOpenArchive("/dev/full");
    ASSERT_NE(z, nullptr);
    const int fds = openFds();
    EXPECT_EQ(ZipAddFile(z, "data.xml", src.toUtf8().constData()), kZipWriteError);
    EXPECT_EQ(ZipAddFile(z, "data.gz", src.toUtf8().constData()), kZipWriteError);
    EXPECT_EQ(openFds(), fds);
    EXPECT_EQ(ZipCloseArchive(z), kZipWriteError);
}

TEST(ZipArchive, NamesOf260BytesAreRefused)
{
    TestEnv env;
    QString src = writeSource(env, "s.txt", TestData::FromString("s"));
    QString path = env.file("long.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    std::string ok259(259, 'n');
    std::string bad260(260, 'n');
    EXPECT_EQ(ZipAddFile(z, ok259.c_str(), src.toUtf8().constData()), kZipOk);
    EXPECT_EQ(ZipAddFile(z, bad260.c_str(), src.toUtf8().constData()), kZipLimitError);
    ZipCloseArchive(z);
    EXPECT_EQ(zipCheck(path)["entries"].toArray().size(), 1);
}

TEST(ZipArchive, SizesPastTheLimitAreRefusedAndCutOff)
{
    TestEnv env;
    // A sparse source of 4 GiB + 1 byte is refused before anything is read.
    QString huge = env.file("huge.bin");
    int fd = ::open(huge.toUtf8().constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (1LL << 32) + 1), 0);
    ::close(fd);
    QString small = writeSource(env, "small.xml", TestData::MakeSheetXml(30, 11, 2));
    QString noise = writeSource(env, "noise.bin", TestData::MakeRandom(70000, 3));

    QString path = env.file("limit.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    const int fds = openFds();
    EXPECT_EQ(ZipAddFile(z, "huge.bin", huge.toUtf8().constData()), kZipLimitError);
    // With a lowered limit the same rule is reached with small files: the
    // entry that would cross it is cut off again, the earlier ones stay.
    ZipSetSizeLimitForTesting(z, 100000);
    EXPECT_EQ(ZipAddFile(z, "small.xml", small.toUtf8().constData()), kZipOk);
    EXPECT_EQ(ZipAddFile(z, "noise.bin", noise.toUtf8().constData()), kZipOk);
    EXPECT_EQ(ZipAddFile(z, "noise2.bin", noise.toUtf8().constData()), kZipLimitError);
    EXPECT_EQ(ZipAddFile(z, "noise.gz", noise.toUtf8().constData()), kZipLimitError);
    EXPECT_EQ(ZipAddFile(z, "small2.xml", small.toUtf8().constData()), kZipOk);
    EXPECT_EQ(openFds(), fds);
    EXPECT_EQ(ZipCloseArchive(z), kZipOk);
    EXPECT_TRUE(unzipTest(path));
    QJsonObject check = zipCheck(path);
    EXPECT_TRUE(check["ok"].toBool());
    ASSERT_EQ(check["entries"].toArray().size(), 3);
    EXPECT_EQ(check["entries"].toArray()[2].toObject()["name"].toString(), QString("small2.xml"));
    EXPECT_LT(QFileInfo(path).size(), 100000);
}

TEST(ZipArchive, AtMost65535Entries)
{
    TestEnv env;
    QString src = writeSource(env, "e.gz", {});
    QString path = env.file("many.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    const QByteArray s = src.toUtf8();
    char name[16];
    for (int i = 0; i < 65535; ++i) {
        std::snprintf(name, sizeof name, "%05d.gz", i);
        ASSERT_EQ(ZipAddFile(z, name, s.constData()), kZipOk) << i;
    }
    EXPECT_EQ(ZipAddFile(z, "one-more.gz", s.constData()), kZipLimitError);
    EXPECT_EQ(ZipCloseArchive(z), kZipOk);
    Bytes b = TestData::ReadFile(path);
    ASSERT_GE(b.size(), 22u);
    size_t end = b.size() - 22;
    EXPECT_EQ(le32(b, end), 0x06054B50u);
    EXPECT_EQ(le16(b, end + 8), 65535);
    EXPECT_EQ(le16(b, end + 10), 65535);
    EXPECT_EQ(le32(b, end + 16) + le32(b, end + 12), end);
    EXPECT_TRUE(unzipTest(path));
}

TEST(ZipArchive, UnsafeNamesAreRefused)
{
    TestEnv env;
    const QString source = writeSource(env, "src.txt", TestData::FromString("data"));
    const QString path = env.file("names.zip");
    ZipArchive* z = ZipOpenArchive(path.toUtf8().constData());
    ASSERT_NE(z, nullptr);
    for (const char* name : {"../evil.txt", "a/../../evil.txt", "..\\evil.txt", "/etc/evil", "\\abs", "folder/", "..", "a/..",
                             "C:\\x", "c:x", "Z:/evil.txt", "d:\\a\\b.xml", "C:", "z:"})
        EXPECT_EQ(ZipAddFile(z, name, source.toUtf8().constData()), kZipBadArgument) << name;
    for (const char* name : {"a..b/c..txt", "...", "xl/workbook.xml", "1:x", "ab:c", "x/C:y"})
        EXPECT_EQ(ZipAddFile(z, name, source.toUtf8().constData()), kZipOk) << name;
    EXPECT_EQ(ZipCloseArchive(z), kZipOk);
    QJsonObject o = zipCheck(path);
    QStringList names;
    for (const QJsonValue& e : o["entries"].toArray()) names << e.toObject()["name"].toString();
    EXPECT_EQ(names, QStringList({"a..b/c..txt", "...", "xl/workbook.xml", "1:x", "ab:c", "x/C:y"}));
}
