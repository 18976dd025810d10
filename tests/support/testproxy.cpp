#include "testproxy.h"

#include <QPointer>
#include <QTcpSocket>
#include <QUrl>

TestProxy::TestProxy(QByteArray user, QByteArray password)
    : m_expected("Basic " + QByteArray(user + ':' + password).toBase64()) {
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* client = m_server.nextPendingConnection())
            onConnection(client);
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

TestProxy::~TestProxy() {
    m_server.close();
}

void TestProxy::onConnection(QTcpSocket* client) {
    auto* buffer = new QByteArray;
    auto* upstream = new QTcpSocket(client);
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QObject::destroyed, client, [buffer] { delete buffer; });
    connect(upstream, &QTcpSocket::readyRead, client,
            [client, upstream] { client->write(upstream->readAll()); });
    connect(upstream, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
    connect(client, &QTcpSocket::readyRead, this, [this, client, upstream, buffer] {
        if (upstream->state() != QAbstractSocket::UnconnectedState) {
            *buffer += client->readAll();
            if (upstream->state() == QAbstractSocket::ConnectedState) {
                upstream->write(*buffer);
                buffer->clear();
            }
            return;
        }
        *buffer += client->readAll();
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer->left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        QByteArray login;
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 &&
                line.left(colon).trimmed().compare("Proxy-Authorization", Qt::CaseInsensitive) == 0)
                login = line.sliced(colon + 1).trimmed();
        }
        if (login != m_expected) {
            ++m_refused;
            buffer->remove(0, end + 4);
            client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                          "Proxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        const QByteArray method = first.value(0);
        const QByteArray target = first.value(1);
        m_passed.append(method + ' ' + target);
        QString host;
        quint16 port = 0;
        if (method == "CONNECT") {
            const qsizetype colon = target.lastIndexOf(':');
            host = QString::fromLatin1(target.left(colon));
            port = target.sliced(colon + 1).toUShort();
            buffer->remove(0, end + 4);
            connect(upstream, &QTcpSocket::connected, client,
                    [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
        } else {
            const QUrl url(QString::fromLatin1(target));
            host = url.host();
            port = static_cast<quint16>(url.port(80));
            // The request goes on as it came; the server takes the absolute form.
            connect(upstream, &QTcpSocket::connected, client, [upstream, buffer] {
                upstream->write(*buffer);
                buffer->clear();
            });
        }
        upstream->connectToHost(host, port);
    });
}
