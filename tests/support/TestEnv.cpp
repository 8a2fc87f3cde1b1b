#include "TestEnv.h"

#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

TestEnv::TestEnv() {
    m_oldCwd = QDir::currentPath();
    m_oldAppDir = qgetenv("SEVRIN_APP_DIR");
    // Without its folder (a full disk) a test would write where it was
    // started, into the build tree: it stops instead.
    if (!m_dir.isValid() || !QDir::setCurrent(m_dir.path()))
        qFatal("The test's temporary folder cannot be made in %s: %s", qPrintable(QDir::tempPath()),
               qPrintable(m_dir.errorString()));
    qputenv("SEVRIN_APP_DIR", m_dir.path().toUtf8());
}

TestEnv::~TestEnv() {
    QDir::setCurrent(m_oldCwd);
    if (m_oldAppDir.isEmpty())
        qunsetenv("SEVRIN_APP_DIR");
    else
        qputenv("SEVRIN_APP_DIR", m_oldAppDir);
}

namespace {
QtMessageHandler g_previous = nullptr;

void trapHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
    if (msg.startsWith("QObject::connect") &&
        (msg.contains("No such") || msg.contains("invalid null parameter") || msg.contains("Cannot connect"))) {
        std::fprintf(stderr, "FAIL: connection by signature failed: %s\n", qPrintable(msg));
        std::fflush(stderr);
        std::abort();
    }
    if (g_previous)
        g_previous(type, ctx, msg);
}

struct AutoInstall {
    AutoInstall() { installConnectWarningTrap(); }
} g_autoInstall;
} // namespace

void installConnectWarningTrap() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    g_previous = qInstallMessageHandler(trapHandler);
}
