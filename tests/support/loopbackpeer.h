#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <chrono>
#include <memory>

class QTcpServer;
class QTcpSocket;

/// A TCP server on 127.0.0.1, port 0, that runs in a thread of its own so that a client blocking
/// the test's thread (a connect, a long write) still has a live peer. It takes one connection at
/// a time (a new one replaces the old), records every byte received, and on request sends,
/// closes gracefully, resets (RST), stops reading, or reads slowly. Every method may be called
/// from the test's thread; waits go through QTRY_* on receivedSize(), connectionCount() etc.
class LoopbackPeer : public QObject {
    Q_OBJECT
public:
    LoopbackPeer();
    ~LoopbackPeer() override;

    quint16 port() const { return m_port; }

    /// Connections accepted so far.
    int connectionCount() const;
    /// True while the current connection is open from the client's side (not closed by it).
    bool clientOpen() const;
    QByteArray received() const;
    qsizetype receivedSize() const;

    void send(const QByteArray& bytes);
    /// Flushes what was sent, then closes gracefully (FIN).
    void close();
    /// Drops the connection with a reset (RST), discarding unsent bytes.
    void reset();
    /// Stops taking bytes from the socket, so the client's sends fill the buffers and stall.
    void setPaused(bool paused);
    /// Takes at most chunk bytes per interval; chunk 0 reads as fast as bytes arrive.
    void setSlowReading(qsizetype chunk, std::chrono::milliseconds interval);

private:
    class Worker;
    QThread m_thread;
    Worker* m_worker = nullptr;
    quint16 m_port = 0;
};
