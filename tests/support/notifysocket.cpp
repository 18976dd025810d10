#include "notifysocket.h"

#include <QFile>
#include <QSocketNotifier>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

NotifySocket::NotifySocket(const QString& path)
    : m_path(path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof address.sun_path))
        return;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    m_handle = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_handle < 0)
        return;
    if (::bind(m_handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        ::close(m_handle);
        m_handle = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_handle, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &NotifySocket::read);
}

NotifySocket::~NotifySocket() {
    delete m_notifier;
    if (m_handle >= 0) {
        ::close(m_handle);
        QFile::remove(m_path);
    }
}

void NotifySocket::read() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_handle, buffer, sizeof buffer, 0);
        if (n < 0)
            return;
        m_messages.append(QByteArray(buffer, n));
    }
}

int NotifySocket::count(const QByteArray& assignment) const {
    int n = 0;
    for (const QByteArray& message : m_messages)
        n += message.split('\n').contains(assignment) ? 1 : 0;
    return n;
}

QByteArray NotifySocket::last(const QByteArray& key) const {
    for (auto m = m_messages.crbegin(); m != m_messages.crend(); ++m) {
        for (const QByteArray& line : m->split('\n')) {
            if (line.startsWith(QByteArray(key + "=")))
                return line.mid(key.size() + 1);
        }
    }
    return {};
}
