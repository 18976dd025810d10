#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <cstdint>
#include <functional>

#include "transport/deadlinklimits.h"

/// The one place that knows the platform's sockets. Every call is checked; a failure is thrown
/// as SocketError with its Windows Sockets number, so callers and operators read the same
/// numbers and texts on every platform.
namespace sock {

/// Windows Sockets number for a platform error code (errno on POSIX).
int errorNumberOf(int platformError);
/// Windows Sockets number for a name-lookup result (11001 not found ... 11004 no data).
int lookupErrorNumberOf(int lookupResult);

/// Called about every TransportWait::kInterval while a call below waits; false ends the wait with
/// 10004. An empty one lets the call wait undisturbed.
using Serve = std::function<bool()>;

/// First IPv4 address of a host name, in host byte order; throws SocketError. With serve, the
/// lookup runs on a thread of its own, so a resolver that does not answer cannot hold the caller.
std::uint32_t resolveIpv4(const QByteArray& hostName, const Serve& serve = {});

/// A move-only TCP stream socket. Closing happens in the destructor at the latest.
class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    /// A new IPv4 stream socket bound to any local address and port.
    static Socket openStream();

    bool valid() const noexcept { return m_handle >= 0; }
    /// The platform's handle, for an event notifier that waits in an event loop; -1 when closed.
    qintptr handle() const noexcept { return m_handle; }
    /// Connects, giving up after limit with 10060.
    void connect(std::uint32_t ipv4, std::uint16_t port, std::chrono::milliseconds limit,
                 const Serve& serve = {});
    /// Starts a connect without waiting: true when it is made at once, false when it goes on in
    /// the background (the socket turns writable when it is over; then call finishConnect()).
    bool startConnect(std::uint32_t ipv4, std::uint16_t port);
    /// The outcome of a connect that went on in the background; throws SocketError.
    void finishConnect();
    /// Waits until bytes or end of stream can be taken; a negative wait means no limit.
    bool waitReadable(std::chrono::milliseconds wait);
    /// One receive of at most max bytes without waiting; 0 at end of stream, -1 for nothing yet.
    qsizetype receive(char* buffer, qsizetype max);
    /// Hands every byte to the platform; a send that makes no progress for limit fails with
    /// 10060. Throws SocketError; returns false when the platform accepted nothing (peer gone).
    bool sendAll(QByteArrayView bytes, std::chrono::milliseconds limit, const Serve& serve = {});
    /// Lets the kernel give up a connection whose path died silently (keepalive probes while
    /// idle, a limit on unacknowledged data while busy): the next receive, send or readiness
    /// test then fails with 10060. Throws SocketError.
    void setDeadLinkLimits(const DeadLinkLimits& limits);
    /// Waits until the peer's TCP has acknowledged every byte handed to the platform. A queue that
    /// has not shrunk for limit gives false (a negative limit waits without end); a broken
    /// connection throws SocketError.
    bool waitAcknowledged(std::chrono::milliseconds limit, const Serve& serve = {});
    /// Shuts down the sending direction, then releases the socket.
    void close() noexcept;
    /// Releases the socket with a reset: bytes still queued are discarded, never delivered late.
    void abort() noexcept;

private:
    explicit Socket(int handle)
        : m_handle(handle) {}
    int m_handle = -1;
};

} // namespace sock
