#pragma once

#include <cstdint>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

/// A listener on 127.0.0.1 whose accept queue is full and never drained: the kernel drops every
/// further SYN, as a host behind a silent firewall does, so a connect to port() hangs until the
/// connecting side gives up. Needs no root. ready() is false when the queue could not be filled.
class SynDropper {
public:
    SynDropper() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_listener, 0) != 0)
            return;
        socklen_t len = sizeof a;
        if (::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        // One connection fills a queue of length 0.
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_filled = m_filler >= 0 && ::connect(m_filler, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~SynDropper() {
        if (m_filler >= 0)
            ::close(m_filler);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    SynDropper(const SynDropper&) = delete;
    SynDropper& operator=(const SynDropper&) = delete;

    bool ready() const { return m_filled; }
    std::uint16_t port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    bool m_filled = false;
    std::uint16_t m_port = 0;
};
