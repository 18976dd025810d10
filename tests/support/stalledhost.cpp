#include "stalledhost.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

StalledHost::StalledHost() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Set before listen: accepted sockets inherit it, and the window they announce follows it.
    const int tiny = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(m_listener, 4);
    socklen_t size = sizeof a;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &size);
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

StalledHost::~StalledHost() {
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

QByteArray StalledHost::received() const {
    const std::lock_guard lock(m_mutex);
    return m_received;
}

void StalledHost::run() {
    int current = -1;
    while (!m_stop) {
        pollfd p[2] = {{m_listener, POLLIN, 0}, {current, short(m_paused ? 0 : POLLIN), 0}};
        ::poll(p, current >= 0 ? 2 : 1, 20);
        if (p[0].revents & POLLIN) {
            const int s = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (s >= 0) {
                if (current >= 0)
                    ::close(current);
                current = s;
                ++m_connections;
            }
        }
        if (current >= 0 && !m_paused && (p[1].revents & (POLLIN | POLLHUP))) {
            char buffer[65536];
            const ssize_t n = ::recv(current, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                const std::lock_guard lock(m_mutex);
                m_received.append(buffer, n);
            } else if (n == 0) {
                ::close(current);
                current = -1;
            }
        }
    }
    if (current >= 0)
        ::close(current);
}
