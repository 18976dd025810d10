#include "deadpath.h"

#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <net/if.h>
#include <sched.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool loopbackUp() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(s, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(s, SIOCSIFFLAGS, &request) == 0;
    ::close(s);
    return up;
}

} // namespace

DeadPath::DeadPath() {
    if (::geteuid() != 0) {
        m_unavailable = u"needs root for a network namespace and a firewall rule"_s;
        return;
    }
    m_nft = QStandardPaths::findExecutable(u"nft"_s);
    if (m_nft.isEmpty())
        m_nft = QStandardPaths::findExecutable(u"nft"_s, {u"/usr/sbin"_s, u"/sbin"_s});
    if (m_nft.isEmpty()) {
        m_unavailable = u"nft not found (Debian package nftables)"_s;
        return;
    }
    m_former = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_former < 0) {
        m_unavailable = u"cannot open this thread's network namespace: "_s + lastError();
        return;
    }
    // Only the calling thread moves; the rest of the process keeps the machine's network.
    if (::unshare(CLONE_NEWNET) != 0) {
        m_unavailable = u"unshare(CLONE_NEWNET): "_s + lastError();
        ::close(m_former);
        m_former = -1;
        return;
    }
    if (!loopbackUp())
        m_unavailable = u"cannot bring up lo in the new network: "_s + lastError();
}

DeadPath::~DeadPath() {
    if (m_former < 0)
        return;
    // The namespace, its rules and whatever still lives in it go with the last socket in it.
    if (::setns(m_former, CLONE_NEWNET) != 0)
        qFatal("cannot return to the former network namespace: %s", std::strerror(errno));
    ::close(m_former);
}

bool DeadPath::cut(quint16 port) {
    const QByteArray p = QByteArray::number(port);
    return nft("table inet deadpath {\n"
               "  chain out { type filter hook output priority 0; tcp dport " +
               p + " drop; tcp sport " + p +
               " drop; }\n"
               "  chain in { type filter hook input priority 0; tcp dport " +
               p + " drop; tcp sport " + p +
               " drop; }\n"
               "}\n");
}

bool DeadPath::mend() {
    return nft("delete table inet deadpath\n");
}

bool DeadPath::nft(const QByteArray& script) {
    if (!m_unavailable.isEmpty())
        return false;
    // Started from this thread, so it works on this thread's network.
    QProcess process;
    process.start(m_nft, {u"-f"_s, u"-"_s});
    if (!process.waitForStarted())
        return false;
    process.write(script);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000))
        return false;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("nft: %s", process.readAllStandardError().constData());
        return false;
    }
    return true;
}
