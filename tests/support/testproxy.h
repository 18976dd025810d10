#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

/// An HTTP proxy on 127.0.0.1 that asks for a login: requests in absolute form ("GET http://...")
/// and tunnels ("CONNECT host:port") go through only with Proxy-Authorization: Basic for user
/// and password; anything else gets 407 with a Basic challenge.
class TestProxy : public QObject {
    Q_OBJECT
public:
    TestProxy(QByteArray user, QByteArray password);
    ~TestProxy() override;

    quint16 port() const { return m_server.serverPort(); }
    /// "METHOD target" of every request that went through.
    const QList<QByteArray>& passed() const { return m_passed; }
    int refused() const { return m_refused; }

private:
    void onConnection(QTcpSocket* client);

    QTcpServer m_server;
    QByteArray m_expected;
    QList<QByteArray> m_passed;
    int m_refused = 0;
};
