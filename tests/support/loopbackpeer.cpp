#include "loopbackpeer.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

class LoopbackPeer::Worker : public QObject {
public:
    QTcpServer* server = nullptr;
    QTcpSocket* socket = nullptr;
    QTimer* slowTimer = nullptr;
    qsizetype chunk = 0;
    bool paused = false;

    mutable QMutex mutex;
    QByteArray received;
    int connections = 0;
    bool clientOpen = false;

    void start() {
        server = new QTcpServer(this);
        slowTimer = new QTimer(this);
        connect(slowTimer, &QTimer::timeout, this, &Worker::take);
        connect(server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server->nextPendingConnection()) {
                if (socket)
                    socket->deleteLater();
                socket = s;
                applyReading();
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    if (s == socket && !paused && chunk == 0)
                        take();
                });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    if (s == socket) {
                        take();
                        QMutexLocker lock(&mutex);
                        clientOpen = false;
                    }
                });
                QMutexLocker lock(&mutex);
                ++connections;
                clientOpen = true;
            }
        });
        server->listen(QHostAddress::LocalHost, 0);
    }

    void applyReading() {
        if (!socket)
            return;
        // A small read buffer makes Qt stop reading from the platform, so the pause or the
        // slow pace reaches the client's send.
        socket->setReadBufferSize(paused ? 1 : chunk);
        if (!paused && chunk == 0)
            take();
    }

    void take() {
        if (!socket || paused || !socket->isOpen())
            return;
        const QByteArray bytes = chunk > 0 ? socket->read(chunk) : socket->readAll();
        QMutexLocker lock(&mutex);
        received += bytes;
    }
};

LoopbackPeer::LoopbackPeer() {
    m_worker = new Worker;
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            m_worker->start();
            m_port = m_worker->server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

LoopbackPeer::~LoopbackPeer() {
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { delete w; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

int LoopbackPeer::connectionCount() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->connections;
}

bool LoopbackPeer::clientOpen() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->clientOpen;
}

QByteArray LoopbackPeer::received() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->received;
}

qsizetype LoopbackPeer::receivedSize() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->received.size();
}

void LoopbackPeer::send(const QByteArray& bytes) {
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker, bytes] {
            if (w->socket) {
                w->socket->write(bytes);
                w->socket->flush();
            }
        },
        Qt::BlockingQueuedConnection);
}

void LoopbackPeer::close() {
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker] {
            if (w->socket) {
                w->socket->flush();
                w->socket->disconnectFromHost();
            }
        },
        Qt::BlockingQueuedConnection);
}

void LoopbackPeer::reset() {
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker] {
            if (!w->socket)
                return;
            // A zero linger time turns the close into a reset.
            const linger off{1, 0};
            ::setsockopt(static_cast<int>(w->socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &off,
                         sizeof off);
            w->socket->abort();
        },
        Qt::BlockingQueuedConnection);
}

void LoopbackPeer::setPaused(bool paused) {
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker, paused] {
            w->paused = paused;
            w->applyReading();
        },
        Qt::BlockingQueuedConnection);
}

void LoopbackPeer::setSlowReading(qsizetype chunk, std::chrono::milliseconds interval) {
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker, chunk, interval] {
            w->chunk = chunk;
            if (chunk > 0)
                w->slowTimer->start(interval);
            else
                w->slowTimer->stop();
            w->applyReading();
        },
        Qt::BlockingQueuedConnection);
}
