#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <optional>

#include <sys/types.h>

/// Local (AF_UNIX) stream sockets beside the TCP socket, for programs on this machine. Every call
/// is checked the way the TCP socket's are: a failure is thrown as SocketError with its Windows
/// Sockets number (10024 when out of descriptors, 10061 when nobody listens, ...). Both kinds are
/// non-blocking; waits take a limit.
namespace sock {

/// A move-only connected local stream.
class LocalStream {
public:
    LocalStream() = default;
    ~LocalStream();
    LocalStream(LocalStream&& other) noexcept;
    LocalStream& operator=(LocalStream&& other) noexcept;
    LocalStream(const LocalStream&) = delete;
    LocalStream& operator=(const LocalStream&) = delete;

    /// Connects to the socket file at path, waiting at most limit for a busy listener; throws
    /// SocketError (10063 for a path too long for a local address).
    static LocalStream connectTo(const QString& path, std::chrono::milliseconds limit);

    bool valid() const noexcept { return m_handle >= 0; }
    int handle() const noexcept { return m_handle; }
    /// The user the other end runs as (the kernel's word for it, not the file's).
    uid_t peerUid() const;
    /// Waits until bytes or end of stream can be taken (or, with writable, until a send fits).
    bool wait(bool writable, std::chrono::milliseconds limit) const;
    /// One receive without waiting: 0 at end of stream, -1 for nothing yet.
    qsizetype receive(char* buffer, qsizetype max);
    /// One send without waiting: the bytes the platform took, -1 when it took none yet.
    qsizetype sendSome(QByteArrayView bytes);
    void close() noexcept;

private:
    friend class LocalListener;
    explicit LocalStream(int handle)
        : m_handle(handle) {}
    int m_handle = -1;
};

/// A move-only listening local socket; the file it binds is left for its owner to remove.
class LocalListener {
public:
    LocalListener() = default;
    ~LocalListener();
    LocalListener(LocalListener&& other) noexcept;
    LocalListener& operator=(LocalListener&& other) noexcept;
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;

    /// Binds path and listens with room for backlog waiting connects. The file is made for its
    /// owner alone before anyone can connect. Throws SocketError.
    static LocalListener listenAt(const QString& path, int backlog);

    bool valid() const noexcept { return m_handle >= 0; }
    int handle() const noexcept { return m_handle; }
    /// The next waiting connection, or none when none waits. Throws SocketError (10024 when out
    /// of descriptors: the connection stays waiting).
    std::optional<LocalStream> accept();
    void close() noexcept;

private:
    explicit LocalListener(int handle)
        : m_handle(handle) {}
    int m_handle = -1;
};

} // namespace sock
