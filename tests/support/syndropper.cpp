#include "syndropper.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SynDropper::SynDropper() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(m_listener, 0);
    socklen_t len = sizeof a;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
    // One connection fills a queue of length 0.
    m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    m_filled = ::connect(m_filler, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

SynDropper::~SynDropper() {
    ::close(m_filler);
    ::close(m_listener);
}
