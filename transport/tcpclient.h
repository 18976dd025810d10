#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>

#include "common/result.h"
#include "transport/deadlinklimits.h"
#include "transport/transporterror.h"

class TransportWait;

/// The steps of a connection's life, as reported through OnStatus.
enum class HostStatus {
    hsResolving = 0,
    hsConnecting = 1,
    hsConnected = 2,
    hsDisconnecting = 3,
    hsDisconnected = 4,
    hsStatusText = 5,
};

/// The one TCP client connection to the dispatch host: blocking connect and write on the calling
/// (user-interface) thread, a zero-wait connected test that moves arrived bytes into an input
/// buffer, and raw bytes out of that buffer. Errors are thrown as TransportError kinds.
///
/// Connect and Write never block longer than their limits (21 s by default, what Windows gives):
/// a connect that takes longer, or a send that makes no progress for that long, fails with
/// SocketError 10060 "Connection timed out.". With a wait hook, the thread goes on serving it
/// while a lookup, a connect or a stalled send waits, and the hook can end the wait: the
/// operation then fails with SocketError 10004 "Interrupted system call.".
///
/// A path that dies without a word is given up by the kernel within the dead-link limits (30 s
/// by default), idle or with bytes waiting: the next Connected(), Write or ReadBytes raises
/// SocketError 10060 "Connection timed out.", and the link then reads as closed, as after a
/// reset by the peer.
class TcpClient : public QObject {
    Q_OBJECT
public:
    explicit TcpClient(QObject* parent = nullptr,
                       std::chrono::milliseconds connectLimit = std::chrono::seconds(21),
                       std::chrono::milliseconds sendLimit = std::chrono::seconds(21),
                       DeadLinkLimits deadLink = {});
    ~TcpClient() override;

    QString Host() const;
    void setHost(const QString& host);
    /// Only the low 16 bits count: 70000 becomes 4464; 0 means not set.
    std::uint16_t Port() const;
    void setPort(std::int32_t port);
    /// Milliseconds ReadBytes waits for missing bytes; -1 and 0 mean no limit.
    int ReadTimeout() const;
    void setReadTimeout(int milliseconds);
    /// Served while Connect or Write waits on the network; not owned, may be null.
    void setWaitHook(TransportWait* hook);
    /// The open connection's socket descriptor, -1 when there is none.
    qintptr socketDescriptor() const;

    /// Opens the connection; throws AlreadyConnectedError, HostRequiredError, PortRequiredError
    /// or SocketError.
    void Connect();
    /// Not a pure query: takes at most 32768 arrived bytes into the input buffer and notices a
    /// close by the peer. True while unread bytes remain. Can throw SocketError.
    bool Connected();
    /// Closes the connection if open; passes on an error of its own Connected() call.
    void Disconnect();
    /// One byte per UTF-16 code unit in 7-bit ASCII; sends all or throws.
    void Write(const QString& text);
    /// Bytes as they are, already what the wire takes; sends all or throws, as Write(QString).
    void Write(QByteArrayView bytes);
    /// Waits, like a send and with the same wait hook, until the host's TCP has acknowledged
    /// every byte written so far. Fails with the socket error's number and message: 10060 when
    /// the queue has not shrunk for limit, or the break the wait ran into. A failed wait drops
    /// the link with a reset, so bytes still queued never arrive after the caller gave them up.
    Result<void> waitUntilAcknowledged(std::chrono::milliseconds limit);
    qsizetype InputBufferSize() const;
    /// Removes and returns exactly count bytes, waiting up to ReadTimeout for missing ones.
    QByteArray ReadBytes(qsizetype count);

signals:
    void OnStatus(HostStatus status, const QString& text);
    void OnConnected();
    void OnDisconnected();

private:
    /// Sends size bytes, slice(at, count) giving each piece of at most one send slice.
    void send(qsizetype size, const std::function<QByteArrayView(qsizetype, qsizetype)>& slice);

    struct Impl;
    Impl* d;
};
