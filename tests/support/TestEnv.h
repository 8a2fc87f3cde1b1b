#pragma once

#include <QString>
#include <QTemporaryDir>

// Per-test surroundings: a fresh temporary folder that is both the working
// directory and the application directory ($SEVRIN_APP_DIR), restored on
// destruction. Create one at the start of each test case (or initTestCase).
class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    QString path() const { return m_dir.path(); }
    QString file(const QString& rel) const { return m_dir.path() + "/" + rel; }

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldAppDir;
};

// Installs a message handler that makes the test fail on any
// "QObject::connect: No such signal/slot" (or similar connect) warning:
// connections by signature text fail only at run time. Call once in main or
// initTestCase; QtTest and Google Test binaries both get it through
// sevrin_testsupport's static initialiser.
void installConnectWarningTrap();
