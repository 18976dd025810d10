#include "engine/shutdownsignals.h"

#include <QSocketNotifier>

#if defined(Q_OS_UNIX)
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

// Only write() here: it is async-signal-safe.
void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

ShutdownSignals::ShutdownSignals(QObject* parent)
    : QObject(parent) {
    if (g_pipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
            return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::drain);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

ShutdownSignals::~ShutdownSignals() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

bool ShutdownSignals::pending() const {
    if (g_pipe[0] < 0)
        return false;
    pollfd p{g_pipe[0], POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void ShutdownSignals::drain() {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit requested(byte);
}

#else

ShutdownSignals::ShutdownSignals(QObject* parent)
    : QObject(parent) {}

ShutdownSignals::~ShutdownSignals() = default;

bool ShutdownSignals::pending() const {
    return false;
}

void ShutdownSignals::drain() {}

#endif
