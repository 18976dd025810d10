#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTextStream>
#include <chrono>

class QTcpServer;
class QTcpSocket;
class QTimer;

/// A stand-in for the dispatch host: accepts clients, prints every frame they send, answers each
/// complete frame with an acknowledgement holding EOT, and sends framed Base64 XML packets.
class DispatchHost : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool acknowledge = true;
        bool soh = true;
        bool lengthAndStx = true;
        bool eot = true;
        bool base64 = true;
        QList<QByteArray> packets; ///< the XML sent, in turn; empty: a generated message
        std::chrono::milliseconds period{0};
        bool quiet = false;
    };

    DispatchHost(Options options, QTextStream& out, QObject* parent = nullptr);

    bool listen(const QString& address, quint16 port);
    quint16 port() const;

    /// The frame a packet is sent in, with the options' markers.
    static QByteArray frameOf(const QByteArray& xml, const Options& options);
    /// Cuts the complete frames off the front of a client's stream: a frame ends at EOT, or
    /// after its declared length when it has SOH, length and STX but no EOT follows.
    static QList<QByteArray> takeFrames(QByteArray& stream);

    /// Changes the sending period; 0 stops the periodic packets.
    void setPeriod(std::chrono::milliseconds period);
    /// Bytes written to clients so far, acknowledgements included.
    qint64 bytesSent() const { return m_bytesSent; }
    /// Bytes read from clients so far.
    qint64 bytesReceived() const { return m_bytesReceived; }

signals:
    void frameReceived(const QByteArray& frame);

private:
    void accept();
    void receive(QTcpSocket* client);
    void sendToAll();
    void print(const QByteArray& frame);
    QByteArray nextPacket();

    Options m_options;
    QTextStream& m_out;
    QTcpServer* m_server;
    QTimer* m_timer;
    QHash<QTcpSocket*, QByteArray> m_streams;
    qint64 m_sent = 0;
    qint64 m_bytesSent = 0;
    qint64 m_bytesReceived = 0;
};
