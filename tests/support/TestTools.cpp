#include "tests/support/TestTools.h"

#include <QJsonDocument>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>

#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

void expectBars(const uint8_t* rgb, int width, int height, const QVector<QColor>& bars, int tolerance) {
    for (int i = 0; i < bars.size(); ++i) {
        for (int y : {height / 4, height / 2, 3 * height / 4}) {
            const int x = (2 * i + 1) * width / (2 * bars.size());
            const uint8_t* p = rgb + (size_t(y) * width + x) * 3;
            EXPECT_NEAR(p[0], bars[i].red(), tolerance) << "bar " << i << " y " << y;
            EXPECT_NEAR(p[1], bars[i].green(), tolerance) << "bar " << i << " y " << y;
            EXPECT_NEAR(p[2], bars[i].blue(), tolerance) << "bar " << i << " y " << y;
        }
    }
}

int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

OnOneCore::OnOneCore() {
    if (sched_getaffinity(0, sizeof m_all, &m_all) != 0)
        return;
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE && !CPU_COUNT(&one); ++c)
        if (CPU_ISSET(c, &m_all))
            CPU_SET(c, &one);
    m_ok = sched_setaffinity(0, sizeof one, &one) == 0;
}

OnOneCore::~OnOneCore() {
    if (m_ok)
        sched_setaffinity(0, sizeof m_all, &m_all);
}

QJsonObject readBack(const QString& kind, const QString& path) {
    QProcess p;
    p.start("/usr/bin/python3",
            {qEnvironmentVariable("SEVRIN_SOURCE_DIR", SEVRIN_SOURCE_DIR) + "/tests/support/read_back.py",
             kind, path});
    if (!p.waitForFinished(60000))
        return {{"error", "the reader did not finish"}};
    const QJsonDocument answer = QJsonDocument::fromJson(p.readAllStandardOutput());
    if (!answer.isObject())
        return {{"error", QString::fromLocal8Bit(p.readAllStandardError())}};
    return answer.object();
}

QImage noisePicture(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.setPixel(x, y, qRgb(seed >> 24, (seed >> 16) & 255, (seed >> 8) & 255));
        }
    return image;
}

bool limitAddressSpace(unsigned long long more) {
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGE_SIZE)) + rlim_t(more);
    const rlimit as{limit, limit};
    return pages > 0 && setrlimit(RLIMIT_AS, &as) == 0;
}

ProcessAtLimit::ProcessAtLimit(Limit limit) : m_resource(limit == Threads ? RLIMIT_NPROC : RLIMIT_NOFILE) {
    rlimit now{};
    if (getrlimit(m_resource, &now) != 0)
        return;
    m_soft = now.rlim_cur;
    m_hard = now.rlim_max;
    rlimit at{1, now.rlim_max};
    if (limit == Files) {
        const int lowestFree = dup(0);
        close(lowestFree);
        at.rlim_cur = rlim_t(lowestFree);
    }
    m_asNobody = limit == Threads && geteuid() == 0;
    m_on = setrlimit(m_resource, &at) == 0 && (!m_asNobody || setresuid(65534, 65534, 0) == 0);
}

void ProcessAtLimit::end() {
    if (m_asNobody)
        setresuid(0, 0, 0);
    const rlimit back{rlim_t(m_soft), rlim_t(m_hard)};
    if (m_soft || m_hard)
        setrlimit(m_resource, &back);
    m_asNobody = m_on = false;
    m_soft = m_hard = 0;
}

// GCC names the sanitizer in a macro of its own; Clang answers __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SEVRIN_TEST_SANITIZER "AddressSanitizer"
#elif __has_feature(thread_sanitizer)
#define SEVRIN_TEST_SANITIZER "ThreadSanitizer"
#endif
#endif
#if !defined(SEVRIN_TEST_SANITIZER) && defined(__SANITIZE_ADDRESS__)
#define SEVRIN_TEST_SANITIZER "AddressSanitizer"
#elif !defined(SEVRIN_TEST_SANITIZER) && defined(__SANITIZE_THREAD__)
#define SEVRIN_TEST_SANITIZER "ThreadSanitizer"
#endif

const char* addressLimitUntestable() {
#if defined(SEVRIN_TEST_SANITIZER)
    return "built with " SEVRIN_TEST_SANITIZER ", whose allocator ends the process on memory the system refuses: "
           "an address-space limit tests the sanitizer, not this code";
#else
    return nullptr;
#endif
}

unsigned long long threadStackBytes() {
    rlimit stack{};
    if (getrlimit(RLIMIT_STACK, &stack) != 0 || stack.rlim_cur == RLIM_INFINITY)
        return 8ull << 20;
    return stack.rlim_cur;
}

namespace {

QString runRowInChildWith(const char* marker, const QByteArray& says, QProcessEnvironment env) {
    // The row's bound is this program's watchdog: the child's own watchdog
    // ends a hung child a little before this one gives up on it, so that the
    // child's stacks come back in its output.
    const int bound = qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT") > 120000
                          ? qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT")
                          : 300000;
    QProcess child;
    env.insert(QString::fromLatin1(marker), "1");
    env.insert("QTEST_FUNCTION_TIMEOUT", QString::number(bound - 60000));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QString("%1:%2").arg(QTest::currentTestFunction(), QTest::currentDataTag())});
    const bool ended = child.waitForFinished(bound - 30000);
    const QByteArray out = child.readAll();
    if (ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && out.contains(says))
        return QString();
    return QString::fromLocal8Bit(out.isEmpty() ? QByteArray("no output") : out);
}

} // namespace

QString runRowInChild(const char* marker, const QByteArray& says) {
    return runRowInChildWith(marker, says, QProcessEnvironment::systemEnvironment());
}

QString runRowInChildUnderLimit(const char* marker, const QByteArray& says) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MALLOC_ARENA_MAX", "1");
    env.insert("MALLOC_MMAP_THRESHOLD_", "1048576");
    return runRowInChildWith(marker, says, env);
}

QString runProgram(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000))
        return program + ": " + p.errorString();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + ": " + QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return QString();
}

QString aclOf(const QString& path) {
    QProcess getfacl;
    getfacl.start("getfacl", {"-p", path});
    if (!getfacl.waitForFinished(60000) || getfacl.exitStatus() != QProcess::NormalExit || getfacl.exitCode() != 0)
        return "getfacl failed: " + getfacl.errorString() + " " +
               QString::fromLocal8Bit(getfacl.readAllStandardError());
    QStringList lines = QString::fromLocal8Bit(getfacl.readAllStandardOutput()).split('\n');
    lines = lines.filter(QRegularExpression("^(?!# file:)"));
    return lines.join('\n');
}

QString setDefaultAcl(const QString& folder, const QString& acl) {
    if (QStandardPaths::findExecutable("setfacl").isEmpty())
        return "unsupported: setfacl is not installed (Debian package acl)";
    const QString error = runProgram("setfacl", {"-d", "-m", acl, folder});
    return error.contains("Operation not supported") ? QString("unsupported: the file system of %1 keeps no ACLs").arg(folder)
                                                     : error;
}

QString plantOthersLink(const QString& folder, const QString& name, const QString& to) {
    const QString link = folder + "/shared/" + name, locked = folder + "/locked";
    QFile secret(locked + "/secret");
    const bool made = QDir().mkpath(folder + "/shared") && QDir().mkpath(locked) &&
                      ::chmod(QFile::encodeName(folder + "/shared").constData(), 01777) == 0 &&
                      ::chmod(QFile::encodeName(locked).constData(), 0700) == 0 && secret.open(QIODevice::WriteOnly) &&
                      secret.write("root's") == 6 && QFile::link(locked + "/" + to, link) &&
                      ::lchown(QFile::encodeName(link).constData(), 65534, 65534) == 0;
    return made ? link : QString();
}

void newFileAclRows() {
    QTest::addColumn<QString>("defaultAcl");
    QTest::addColumn<int>("mask");
    QTest::newRow("default ACL: one user in, others out") << "u:nobody:rw,g::r,o::-" << 022;
    QTest::newRow("no default ACL, umask 027") << "" << 027;
}
