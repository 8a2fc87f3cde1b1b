#include "platform/TerminationWatcher.h"

#include "platform/ProcessEnd.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    // Only async-signal-safe work here: wake the notifier.
    ssize_t r = ::write(g_fds[0], &c, 1);
    (void)r;
}
} // namespace

void TerminationWatcher::installHandlers() {
    if (g_fds[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0) {
        g_fds[0] = g_fds[1] = -1;
        return;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    installHandlers();
    if (g_fds[0] < 0)
        return;
    // A request that came before this point waits in the socket: the
    // notifier reports it at the first event pass.
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char c;
        ssize_t r = ::read(g_fds[1], &c, 1);
        (void)r;
        ProcessEnd::mark("terminate request seen");
        emit terminateRequested();
    });
}

TerminationWatcher::~TerminationWatcher() {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    delete m_notifier;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}
