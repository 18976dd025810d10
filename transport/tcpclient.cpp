#include "transport/tcpclient.h"

#include <QLoggingCategory>
#include <algorithm>
#include <optional>
#include <vector>

#include "transport/asciitext.h"
#include "transport/socket.h"
#include "transport/transportwait.h"

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcTransport, "transport")

namespace {

// One receive call's worth; the input buffer itself has no limit.
constexpr qsizetype kRecvBufferSize = 32768;
constexpr qsizetype kSendSlice = 256 * 1024;

// Exactly four dot-separated decimal fields of 0 to 255 and nothing else; anything else is a
// name to resolve.
std::optional<std::uint32_t> dottedIpv4(const QString& host) {
    const QStringList fields = host.split(u'.');
    if (fields.size() != 4)
        return std::nullopt;
    std::uint32_t address = 0;
    for (const QString& f : fields) {
        if (f.isEmpty() || f.size() > 3)
            return std::nullopt;
        unsigned value = 0;
        for (const QChar c : f) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c.unicode() - u'0');
        }
        if (value > 255)
            return std::nullopt;
        address = address << 8 | value;
    }
    return address;
}

QString dotted(std::uint32_t a) {
    return u"%1.%2.%3.%4"_s.arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
}

// The per-connection state, kept from the first Connect until a failed one. Outside Impl:
// clang decides whether a nested class is default-constructible before it has read the
// member initializers, and then refuses optional<Handler>::emplace().
struct Handler {
    sock::Socket socket;
    bool opened = false;
    bool closedGracefully = false;
    QByteArray input;
};

// Hands the hook to the socket calls of one operation and tells it when that operation is over,
// if it waited at all.
class ServedOperation {
public:
    explicit ServedOperation(TransportWait* hook)
        : m_hook(hook) {}
    ~ServedOperation() {
        if (m_waited)
            m_hook->waitEnded();
    }
    ServedOperation(const ServedOperation&) = delete;
    ServedOperation& operator=(const ServedOperation&) = delete;

    sock::Serve serve() {
        if (!m_hook)
            return {};
        return [this] {
            m_waited = true;
            return m_hook->serve();
        };
    }

private:
    TransportWait* m_hook;
    bool m_waited = false;
};

} // namespace

struct TcpClient::Impl {
    QString host;
    std::uint16_t port = 0;
    int readTimeout = -1;
    std::chrono::milliseconds connectLimit;
    std::chrono::milliseconds sendLimit;
    DeadLinkLimits deadLink;
    TransportWait* waitHook = nullptr;
    std::optional<Handler> handler;
    std::vector<char> sendBuffer; ///< Write's narrowed slice, reused
};

TcpClient::TcpClient(QObject* parent, std::chrono::milliseconds connectLimit,
                     std::chrono::milliseconds sendLimit, DeadLinkLimits deadLink)
    : QObject(parent)
    , d(new Impl{}) {
    d->connectLimit = connectLimit;
    d->sendLimit = sendLimit;
    d->deadLink = deadLink;
}

TcpClient::~TcpClient() {
    delete d;
}

QString TcpClient::Host() const {
    return d->host;
}
void TcpClient::setHost(const QString& host) {
    d->host = host;
}
std::uint16_t TcpClient::Port() const {
    return d->port;
}
void TcpClient::setPort(std::int32_t port) {
    d->port = static_cast<std::uint16_t>(port & 0xFFFF);
}
int TcpClient::ReadTimeout() const {
    return d->readTimeout;
}
void TcpClient::setReadTimeout(int milliseconds) {
    d->readTimeout = milliseconds;
}
void TcpClient::setWaitHook(TransportWait* hook) {
    d->waitHook = hook;
}
qintptr TcpClient::socketDescriptor() const {
    return d->handler ? d->handler->socket.handle() : -1;
}
qsizetype TcpClient::InputBufferSize() const {
    return d->handler ? d->handler->input.size() : 0;
}

void TcpClient::Connect() {
    if (Connected())
        throw AlreadyConnectedError();
    if (d->host.isEmpty())
        throw HostRequiredError();
    if (d->port == 0)
        throw PortRequiredError();
    if (!d->handler)
        d->handler.emplace();
    Handler& h = *d->handler;
    ServedOperation operation(d->waitHook);
    const sock::Serve serve = operation.serve();
    try {
        h.opened = false;
        h.closedGracefully = false;
        h.input.clear();
        h.opened = true;
        h.socket = sock::Socket::openStream();

        std::uint32_t address;
        if (const auto a = dottedIpv4(d->host)) {
            address = *a;
        } else {
            emit OnStatus(HostStatus::hsResolving, u"Resolving hostname %1."_s.arg(d->host));
            address = d->host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0
                          ? 0x7F000001u
                          : sock::resolveIpv4(d->host.toUtf8(), serve);
        }
        emit OnStatus(HostStatus::hsConnecting, u"Connecting to %1."_s.arg(dotted(address)));
        qCDebug(lcTransport) << "connecting to" << dotted(address) << d->port;
        h.socket.connect(address, d->port, d->connectLimit, serve);
        h.socket.setDeadLinkLimits(d->deadLink);
        emit OnStatus(HostStatus::hsConnected, u"Connected."_s);
        emit OnConnected();
    } catch (const TransportError& e) {
        qCDebug(lcTransport) << "connect failed:" << e.message();
        d->handler.reset();
        throw;
    }
}

bool TcpClient::Connected() {
    if (!d->handler)
        return false;
    Handler& h = *d->handler;
    const auto peerCloseCheck = [&] {
        if (h.closedGracefully && h.socket.valid()) {
            h.socket.close();
            h.opened = false;
            emit OnStatus(HostStatus::hsDisconnected, u"Disconnected."_s);
        }
    };
    peerCloseCheck();
    if (h.socket.valid() && h.opened && h.socket.waitReadable(std::chrono::milliseconds(0))) {
        char buffer[kRecvBufferSize];
        qsizetype n;
        try {
            n = h.socket.receive(buffer, kRecvBufferSize);
        } catch (const SocketError& e) {
            if (e.number() == 10058 || e.number() == 10053) {
                h.closedGracefully = true;
                h.socket.close();
                h.opened = false;
                if (h.input.isEmpty())
                    throw;
                n = -1;
            } else {
                throw;
            }
        }
        if (n > 0)
            h.input.append(buffer, n);
        else if (n == 0)
            h.closedGracefully = true;
        peerCloseCheck();
    }
    return (h.socket.valid() && h.opened && !h.closedGracefully) || !h.input.isEmpty();
}

void TcpClient::Disconnect() {
    std::exception_ptr remembered;
    try {
        std::ignore = Connected();
    } catch (const TransportError&) {
        remembered = std::current_exception();
    }
    if (d->handler && d->handler->opened) {
        emit OnStatus(HostStatus::hsDisconnecting, u"Disconnecting."_s);
        d->handler->socket.close();
        d->handler->opened = false;
        emit OnDisconnected();
        emit OnStatus(HostStatus::hsDisconnected, u"Disconnected."_s);
    }
    if (remembered)
        std::rethrow_exception(remembered);
}

void TcpClient::Write(const QString& text) {
    // Converted a slice at a time into one buffer kept for the next Write: a long text needs no
    // second copy of itself in memory, and the slice stays in the cache on its way to the socket.
    send(text.size(), [this, &text](qsizetype at, qsizetype count) {
        std::vector<char>& buffer = d->sendBuffer;
        buffer.resize(std::max(buffer.size(), static_cast<std::size_t>(count)));
        ascii::narrow(QStringView(text).mid(at, count), buffer.data());
        return QByteArrayView(buffer.data(), count);
    });
}

void TcpClient::Write(QByteArrayView bytes) {
    send(bytes.size(), [bytes](qsizetype at, qsizetype count) { return bytes.sliced(at, count); });
}

void TcpClient::send(qsizetype size, const std::function<QByteArrayView(qsizetype, qsizetype)>& slice) {
    if (size == 0)
        return;
    if (!d->handler || !d->handler->socket.valid())
        throw ConnClosedGracefullyError();
    Handler& h = *d->handler;
    if (h.closedGracefully) {
        h.socket.close();
        h.opened = false;
        emit OnStatus(HostStatus::hsDisconnected, u"Disconnected."_s);
        throw ConnClosedGracefullyError();
    }
    bool accepted = true;
    ServedOperation operation(d->waitHook);
    const sock::Serve serve = operation.serve();
    try {
        for (qsizetype at = 0; at < size && accepted; at += kSendSlice)
            accepted = h.socket.sendAll(slice(at, std::min(kSendSlice, size - at)), d->sendLimit, serve);
    } catch (const SocketError& e) {
        // A send that timed out or was stopped has left part of a frame on the wire: the link
        // cannot carry another frame, so it is dropped like a broken one and the supervisor
        // reconnects.
        const int n = e.number();
        if (n == 10058 || n == 10053 || n == 10054 || n == 10060 || n == 10004) {
            h.closedGracefully = true;
            h.socket.close();
            h.opened = false;
        }
        qCDebug(lcTransport) << "write failed:" << e.message();
        throw;
    }
    if (!accepted) {
        h.closedGracefully = true;
        h.socket.close();
        h.opened = false;
        emit OnStatus(HostStatus::hsDisconnected, u"Disconnected."_s);
        throw ConnClosedGracefullyError();
    }
}

Result<void> TcpClient::waitUntilAcknowledged(std::chrono::milliseconds limit) {
    if (!d->handler || !d->handler->socket.valid() || !d->handler->opened || d->handler->closedGracefully)
        return Failure{10057, SocketError(10057).message()};
    Handler& h = *d->handler;
    ServedOperation operation(d->waitHook);
    const sock::Serve serve = operation.serve();
    int number = 10060;
    try {
        if (h.socket.waitAcknowledged(limit, serve))
            return {};
    } catch (const SocketError& e) {
        number = e.number();
    }
    qCDebug(lcTransport) << "send queue not acknowledged:" << number;
    h.closedGracefully = true;
    h.socket.abort();
    h.opened = false;
    emit OnStatus(HostStatus::hsDisconnected, u"Disconnected."_s);
    return Failure{number, SocketError(number).message()};
}

QByteArray TcpClient::ReadBytes(qsizetype count) {
    if (count <= 0)
        return QByteArray();
    if (!d->handler)
        throw ConnClosedGracefullyError();
    Handler& h = *d->handler;
    while (h.input.size() < count) {
        if (!h.socket.valid() || h.closedGracefully)
            throw ConnClosedGracefullyError();
        const auto wait =
            d->readTimeout > 0 ? std::chrono::milliseconds(d->readTimeout) : std::chrono::milliseconds(-1);
        if (!h.socket.waitReadable(wait))
            throw ReadTimeoutError();
        char buffer[kRecvBufferSize];
        const qsizetype n = h.socket.receive(buffer, kRecvBufferSize);
        if (n > 0)
            h.input.append(buffer, n);
        else if (n == 0)
            h.closedGracefully = true;
        if (h.input.size() < count && (!h.socket.valid() || h.closedGracefully))
            throw ConnClosedGracefullyError();
    }
    QByteArray out = h.input.left(count);
    h.input.remove(0, count);
    return out;
}
