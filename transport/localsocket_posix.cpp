#include <QFile>
#include <cerrno>
#include <cstring>
#include <utility>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "transport/localsocket.h"
#include "transport/socket.h"
#include "transport/transporterror.h"

namespace sock {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The same path for every failure as the TCP socket's: errno mapped onto its Windows number.
int check(int result) {
    if (result < 0)
        throw SocketError(errorNumberOf(errno));
    return result;
}

sockaddr_un addressOf(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= qsizetype(sizeof address.sun_path))
        throw SocketError(errorNumberOf(ENAMETOOLONG));
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return address;
}

int openLocal() {
    return check(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

// Interrupted waits go on with the time left, so a signal neither shortens nor lengthens one.
bool waitFor(int handle, short events, milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto left =
            std::max<long long>(std::chrono::ceil<milliseconds>(deadline - Clock::now()).count(), 0);
        pollfd p{handle, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
        if (n > 0)
            return true;
        if (n == 0)
            return false;
        if (errno != EINTR)
            check(n);
    }
}

} // namespace

LocalStream::~LocalStream() {
    close();
}

LocalStream::LocalStream(LocalStream&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)) {}

LocalStream& LocalStream::operator=(LocalStream&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

LocalStream LocalStream::connectTo(const QString& path, milliseconds limit) {
    const sockaddr_un address = addressOf(path);
    LocalStream stream(openLocal());
    int result = 0;
    do
        result = ::connect(stream.m_handle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (result < 0 && errno == EINTR);
    // A listener whose backlog is full answers EAGAIN on a local socket: as busy as a connect that
    // goes on in the background, and waited for the same way.
    if (result < 0 && errno != EINPROGRESS && errno != EAGAIN)
        check(result);
    if (result < 0) {
        if (!waitFor(stream.m_handle, POLLOUT, limit))
            throw SocketError(10060);
        int error = 0;
        socklen_t size = sizeof error;
        check(::getsockopt(stream.m_handle, SOL_SOCKET, SO_ERROR, &error, &size));
        if (error != 0)
            throw SocketError(errorNumberOf(error));
    }
    return stream;
}

uid_t LocalStream::peerUid() const {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    check(::getsockopt(m_handle, SOL_SOCKET, SO_PEERCRED, &credentials, &size));
    return credentials.uid;
}

bool LocalStream::wait(bool writable, milliseconds limit) const {
    return waitFor(m_handle, writable ? POLLOUT : POLLIN, limit);
}

qsizetype LocalStream::receive(char* buffer, qsizetype max) {
    for (;;) {
        const ssize_t n = ::recv(m_handle, buffer, static_cast<size_t>(max), 0);
        if (n >= 0)
            return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        if (errno != EINTR)
            check(-1);
    }
}

qsizetype LocalStream::sendSome(QByteArrayView bytes) {
    for (;;) {
        const ssize_t n = ::send(m_handle, bytes.data(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return -1;
        if (errno != EINTR)
            check(-1);
    }
}

void LocalStream::close() noexcept {
    if (m_handle >= 0)
        ::close(std::exchange(m_handle, -1));
}

LocalListener::~LocalListener() {
    close();
}

LocalListener::LocalListener(LocalListener&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)) {}

LocalListener& LocalListener::operator=(LocalListener&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

LocalListener LocalListener::listenAt(const QString& path, int backlog) {
    const sockaddr_un address = addressOf(path);
    LocalListener listener(openLocal());
    check(::bind(listener.m_handle, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    // Narrowed before listen, so that no one can connect while the file is still open to others.
    if (::chmod(address.sun_path, S_IRUSR | S_IWUSR) < 0 || ::listen(listener.m_handle, backlog) < 0) {
        const int error = errno;
        ::unlink(address.sun_path);
        throw SocketError(errorNumberOf(error));
    }
    return listener;
}

std::optional<LocalStream> LocalListener::accept() {
    for (;;) {
        const int handle = ::accept4(m_handle, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (handle >= 0)
            return LocalStream(handle);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return std::nullopt;
        if (errno != EINTR && errno != ECONNABORTED)
            check(-1);
    }
}

void LocalListener::close() noexcept {
    if (m_handle >= 0)
        ::close(std::exchange(m_handle, -1));
}

} // namespace sock
