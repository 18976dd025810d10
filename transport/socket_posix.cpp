#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "transport/socket.h"
#include "transport/transporterror.h"
#include "transport/transportwait.h"

#include <linux/sockios.h>

namespace sock {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Every system call goes through here: a failure becomes the SocketError the operator reads.
int check(int result) {
    if (result < 0)
        throw SocketError(errorNumberOf(errno));
    return result;
}

// Sends what is left in blocking mode with a time-out of limit per wait (a negative limit
// waits for ever). False when a wait passed with no byte taken; the socket is non-blocking again
// on every way out.
bool sendBlocking(int handle, const char*& data, qsizetype& left, milliseconds limit) {
    const int flags = check(::fcntl(handle, F_GETFL));
    struct Restore {
        int handle, flags;
        ~Restore() { ::fcntl(handle, F_SETFL, flags); }
    } restore{handle, flags};
    check(::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK));
    timeval timeout{};
    if (limit.count() >= 0) {
        // A zero time-out would mean none at all; the shortest real one stands in for it.
        const auto us = std::max<long long>(std::chrono::microseconds(limit).count(), 1);
        timeout.tv_sec = static_cast<time_t>(us / 1000000);
        timeout.tv_usec = static_cast<suseconds_t>(us % 1000000);
    }
    check(::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout));
    while (left > 0) {
        const ssize_t n = ::send(handle, data, static_cast<size_t>(left), MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            left -= n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        } else if (n < 0 && errno != EINTR) {
            check(-1);
        }
    }
    return true;
}

// Waits for events on one socket, retrying interrupted waits with the time that is left, so a
// signal never shortens or lengthens a limit. A negative limit waits without end. With serve,
// the wait is cut into slices of TransportWait::kInterval with serve() between them.
bool waitFor(int handle, short events, milliseconds limit, const Serve& serve) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        long long timeout = -1;
        if (limit.count() >= 0)
            timeout = std::clamp<long long>(std::chrono::ceil<milliseconds>(deadline - Clock::now()).count(),
                                            0, 1 << 30);
        if (serve && (timeout < 0 || timeout > TransportWait::kInterval.count()))
            timeout = TransportWait::kInterval.count();
        pollfd p{handle, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(timeout));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            check(n);
        if (limit.count() >= 0 && Clock::now() >= deadline)
            return false;
        if (serve && !serve())
            throw SocketError(10004);
    }
}

// Sends what is left in blocking mode, one call at most kInterval long, serving in between. The
// limit counts from the last byte the platform took, so a slow but steady reader never trips
// it. False when the platform took nothing (peer gone); the socket is non-blocking again on every
// way out.
bool sendServed(int handle, const char*& data, qsizetype& left, milliseconds limit, const Serve& serve) {
    const int flags = check(::fcntl(handle, F_GETFL));
    struct Restore {
        int handle, flags;
        ~Restore() { ::fcntl(handle, F_SETFL, flags); }
    } restore{handle, flags};
    check(::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK));
    timeval slice{};
    slice.tv_usec = static_cast<suseconds_t>(std::chrono::microseconds(TransportWait::kInterval).count());
    check(::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice));
    auto progress = Clock::now();
    auto served = progress;
    while (left > 0) {
        const ssize_t n = ::send(handle, data, static_cast<size_t>(left), MSG_NOSIGNAL);
        const auto now = Clock::now();
        if (n > 0) {
            data += n;
            left -= n;
            progress = now;
        } else if (n == 0) {
            return false;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            check(-1);
        } else if (limit.count() >= 0 && now - progress >= limit) {
            throw SocketError(10060);
        }
        if (left > 0 && now - served >= TransportWait::kInterval) {
            served = now;
            if (!serve())
                throw SocketError(10004);
        }
    }
    return true;
}

} // namespace

int errorNumberOf(int e) {
    switch (e) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    // A send after our own shutdown, or after the peer's reset was already taken.
    case EPIPE:
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    default:
        return e; // no Windows Sockets counterpart: the number alone, with no text
    }
}

int lookupErrorNumberOf(int r) {
    switch (r) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        // Linux says "no such name" where Windows says "no data" for a name without an IPv4
        // address; the operator is best served by "Host not found." for both.
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_SYSTEM:
        return errorNumberOf(errno);
    case EAI_MEMORY:
        return 10055;
    default:
        return 11003;
    }
}

namespace {

struct Lookup {
    int result = 0;
    int error = 0; // errno of EAI_SYSTEM
    std::uint32_t address = 0;
    bool found = false;
};

Lookup lookUp(const QByteArray& hostName) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    Lookup out;
    do
        out.result = ::getaddrinfo(hostName.constData(), nullptr, &hints, &list);
    while (out.result == EAI_SYSTEM && errno == EINTR);
    out.error = errno;
    if (out.result != 0)
        return out;
    for (const addrinfo* a = list; a && !out.found; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in in{};
            std::copy_n(reinterpret_cast<const char*>(a->ai_addr), sizeof in, reinterpret_cast<char*>(&in));
            out.address = ntohl(in.sin_addr.s_addr);
            out.found = true;
        }
    }
    ::freeaddrinfo(list);
    return out;
}

// The platform's lookup cannot be interrupted, so it runs on a thread that owns its share of
// the answer; a caller that stops waiting leaves it to finish on its own.
Lookup lookUpServed(const QByteArray& hostName, const Serve& serve) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Lookup> answer;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, hostName] {
        Lookup answer = lookUp(hostName);
        const std::lock_guard lock(shared->mutex);
        shared->answer = answer;
        shared->done.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    while (
        !shared->done.wait_for(lock, TransportWait::kInterval, [&] { return shared->answer.has_value(); })) {
        lock.unlock();
        if (!serve())
            throw SocketError(10004);
        lock.lock();
    }
    return *shared->answer;
}

} // namespace

std::uint32_t resolveIpv4(const QByteArray& hostName, const Serve& serve) {
    const Lookup answer = serve ? lookUpServed(hostName, serve) : lookUp(hostName);
    if (answer.result == EAI_SYSTEM)
        errno = answer.error;
    if (answer.result != 0)
        throw SocketError(lookupErrorNumberOf(answer.result));
    if (!answer.found)
        throw SocketError(11001);
    return answer.address;
}

Socket::~Socket() {
    close();
}

Socket::Socket(Socket&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

Socket Socket::openStream() {
    // Non-blocking from the start: every wait is our own poll with our own limit.
    Socket s(check(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = 0;
    check(::bind(s.m_handle, reinterpret_cast<const sockaddr*>(&any), sizeof any));
    return s;
}

void Socket::connect(std::uint32_t ipv4, std::uint16_t port, milliseconds limit, const Serve& serve) {
    if (startConnect(ipv4, port))
        return;
    if (!waitFor(m_handle, POLLOUT, limit, serve))
        throw SocketError(10060);
    finishConnect();
}

bool Socket::startConnect(std::uint32_t ipv4, std::uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(ipv4);
    peer.sin_port = htons(port);
    if (::connect(m_handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return true;
    // An interrupted non-blocking connect goes on in the background, just like one in progress.
    if (errno != EINPROGRESS && errno != EINTR)
        check(-1);
    return false;
}

void Socket::finishConnect() {
    int error = 0;
    socklen_t size = sizeof error;
    check(::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &size));
    if (error != 0)
        throw SocketError(errorNumberOf(error));
}

bool Socket::waitReadable(milliseconds wait) {
    return waitFor(m_handle, POLLIN, wait, {});
}

qsizetype Socket::receive(char* buffer, qsizetype max) {
    for (;;) {
        const ssize_t n = ::recv(m_handle, buffer, static_cast<size_t>(max), MSG_DONTWAIT);
        if (n >= 0)
            return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        if (errno != EINTR)
            check(-1);
    }
}

bool Socket::sendAll(QByteArrayView bytes, milliseconds limit, const Serve& serve) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        // MSG_NOSIGNAL: a peer's close must come back as EPIPE, never as a signal that ends us.
        // Non-blocking first: a send that fits the buffer costs one call and no wait. When it
        // does not, one blocking send with the limit as its time-out lets the kernel feed the
        // socket as the reader drains it, as fast as a plain blocking writer. The time-out
        // counts from the last progress, so a slow but steady reader never trips it.
        const ssize_t n = ::send(m_handle, data, static_cast<size_t>(left), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            left -= n;
        } else if (n == 0) {
            return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (serve) {
                if (!sendServed(m_handle, data, left, limit, serve))
                    return false;
            } else if (!sendBlocking(m_handle, data, left, limit)) {
                throw SocketError(10060);
            }
        } else if (errno != EINTR) {
            check(-1);
        }
    }
    return true;
}

void Socket::setDeadLinkLimits(const DeadLinkLimits& limits) {
    const auto set = [this](int level, int name, int value) {
        check(::setsockopt(m_handle, level, name, &value, sizeof value));
    };
    // The kernel counts keepalive times in whole seconds, from 1 up.
    const auto seconds = [](std::chrono::seconds s) {
        return static_cast<int>(std::max<long long>(s.count(), 1));
    };
    set(SOL_SOCKET, SO_KEEPALIVE, 1);
    set(IPPROTO_TCP, TCP_KEEPIDLE, seconds(limits.idle));
    set(IPPROTO_TCP, TCP_KEEPINTVL, seconds(limits.interval));
    set(IPPROTO_TCP, TCP_KEEPCNT, std::max(limits.probes, 1));
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(std::max<long long>(limits.userTimeout.count(), 0)));
}

bool Socket::waitAcknowledged(milliseconds limit, const Serve& serve) {
    auto progress = Clock::now();
    int last = -1;
    for (;;) {
        int queued = 0;
        check(::ioctl(m_handle, SIOCOUTQ, &queued));
        if (queued == 0)
            return true;
        const auto now = Clock::now();
        if (last < 0 || queued < last)
            progress = now;
        last = queued;
        if (limit.count() >= 0 && now - progress >= limit)
            return false;
        // No events asked for: poll still returns at once on an error or a hang-up.
        pollfd p{m_handle, 0, 0};
        const int n = ::poll(&p, 1, static_cast<int>(TransportWait::kInterval.count()));
        if (n < 0 && errno != EINTR)
            check(n);
        if (n > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            int error = 0;
            socklen_t size = sizeof error;
            check(::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &size));
            throw SocketError(errorNumberOf(error != 0 ? error : ECONNRESET));
        }
        if (serve && !serve())
            throw SocketError(10004);
    }
}

void Socket::abort() noexcept {
    if (m_handle < 0)
        return;
    const linger off{1, 0};
    ::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    ::close(m_handle);
    m_handle = -1;
}

void Socket::close() noexcept {
    if (m_handle < 0)
        return;
    ::shutdown(m_handle, SHUT_WR);
    ::close(m_handle);
    m_handle = -1;
}

} // namespace sock
