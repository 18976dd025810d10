#include "httpresponder.h"

#include <QSslServer>
#include <QTcpSocket>

using namespace Qt::Literals::StringLiterals;

QByteArray HttpResponder::Request::header(const QByteArray& name) const {
    for (const auto& [n, v] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

HttpResponder::Response HttpResponder::ok(const QByteArray& body, const QByteArray& contentType) {
    return {QByteArray("HTTP/1.1 200 OK\r\nContent-Type: ") + contentType +
                "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n",
            body};
}

HttpResponder::Response HttpResponder::status(int code, const QByteArray& reason, const QByteArray& body) {
    return {QByteArray("HTTP/1.1 ") + QByteArray::number(code) + ' ' + reason +
                "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n",
            body};
}

HttpResponder::Response HttpResponder::redirect(const QByteArray& location) {
    return {QByteArray("HTTP/1.1 302 Found\r\nLocation: ") + location + "\r\nContent-Length: 0\r\n", {}};
}

HttpResponder::HttpResponder()
    : HttpResponder(QHostAddress(QHostAddress::LocalHost)) {}

HttpResponder::HttpResponder(const QHostAddress& address, const QSslConfiguration& tls) {
    if (tls.localCertificate().isNull()) {
        m_server = std::make_unique<QTcpServer>();
    } else {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(tls);
        m_server = std::move(server);
        m_scheme = QStringLiteral("https");
    }
    // A TLS connection is pending only once its handshake is over.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &HttpResponder::onConnection);
    m_server->listen(address, 0);
}

HttpResponder::~HttpResponder() {
    // The sockets are the server's children: end them while the table they report to exists.
    m_server->close();
    const auto connections = m_connections;
    for (const Connection& c : connections) {
        if (c.socket) {
            c.socket->disconnect(this);
            delete c.socket.data();
        }
    }
    m_connections.clear();
}

QString HttpResponder::url(const QString& path) const {
    const QHostAddress address = m_server->serverAddress();
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return u"%1://%2:%3%4"_s.arg(m_scheme, host).arg(port()).arg(path);
}

void HttpResponder::onConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, {socket, {}, {}});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpResponder::onReadable(QTcpSocket* socket) {
    Connection& c = m_connections[socket];
    c.buffer += socket->readAll();
    for (;;) {
        const qsizetype end = c.buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = c.buffer.left(end).split('\n');
        c.buffer.remove(0, end + 4);
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon), line.sliced(colon + 1).trimmed()});
        }
        m_requests.append(request);
        emit requestReceived();
        answer(socket, request);
    }
}

void HttpResponder::answer(QTcpSocket* socket, const Request& request) {
    QByteArray path = request.target;
    if (path.startsWith("http://"))
        path = path.sliced(path.indexOf('/', 7));
    path = QByteArray::fromPercentEncoding(path);
    Response response;
    if (const auto it = m_routes.constFind(request.method + ' ' + path); it != m_routes.cend())
        response = *it;
    else if (const auto any = m_routes.constFind(path); any != m_routes.cend())
        response = *any;
    else
        response = status(404, QByteArray("Not Found"), QByteArray("not here"));

    if (response.silent)
        return;
    socket->write(response.head + "\r\n");
    if (request.method == "HEAD")
        return;
    QByteArray body = response.body;
    if (response.cutAfter >= 0) {
        socket->write(body.left(response.cutAfter));
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    if (response.holdAfter >= 0) {
        m_connections[socket].heldRest = body.sliced(qMin(response.holdAfter, body.size()));
        body = body.left(response.holdAfter);
    }
    socket->write(body);
}

void HttpResponder::release() {
    for (Connection& c : m_connections) {
        if (c.socket && !c.heldRest.isEmpty()) {
            c.socket->write(c.heldRest);
            c.heldRest.clear();
        }
    }
}
