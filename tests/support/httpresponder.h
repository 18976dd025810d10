#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <memory>

class QTcpSocket;

/// A small HTTP server on 127.0.0.1 (port 0), or on another address and over TLS, serving
/// canned responses per path. Responses are
/// raw bytes, so header lines can be written exactly as a test needs them. A body can be held
/// back after a number of bytes until release(), and a response can close the connection early.
class HttpResponder : public QObject {
    Q_OBJECT
public:
    struct Response {
        QByteArray head; ///< status line and header lines, each ending CR LF, without the empty line
        QByteArray body;
        qsizetype holdAfter = -1; ///< send this many body bytes, then wait for release()
        qsizetype cutAfter = -1;  ///< send this many body bytes, then close the connection
        bool silent = false;      ///< take the request and never answer
    };
    struct Request {
        QByteArray method;
        QByteArray target; ///< as on the request line (a proxy sees the whole URL)
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray header(const QByteArray& name) const;
    };

    /// "HTTP/1.1 <status> <reason>", Content-Length and the body.
    static Response ok(const QByteArray& body, const QByteArray& contentType = QByteArray("text/plain"));
    static Response status(int code, const QByteArray& reason, const QByteArray& body = {});
    static Response redirect(const QByteArray& location);

    HttpResponder();
    /// Listens on address; with a configuration that holds a certificate, speaks HTTPS.
    explicit HttpResponder(const QHostAddress& address, const QSslConfiguration& tls = {});
    ~HttpResponder() override;

    bool listening() const { return m_server->isListening(); }
    quint16 port() const { return m_server->serverPort(); }
    QString url(const QString& path) const;

    /// Serves response for path (any method); a HEAD gets the head only.
    void route(const QByteArray& path, const Response& response) { m_routes.insert(path, response); }
    /// Serves response for this method only; it takes precedence over route(path).
    void route(const QByteArray& method, const QByteArray& path, const Response& response) {
        m_routes.insert(method + ' ' + path, response);
    }
    /// Sends the rest of every held body.
    void release();

    const QList<Request>& requests() const { return m_requests; }

signals:
    void requestReceived();

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        QByteArray heldRest;
    };
    void onConnection();
    void onReadable(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    std::unique_ptr<QTcpServer> m_server;
    QString m_scheme = QStringLiteral("http");
    QHash<QByteArray, Response> m_routes;
    QList<Request> m_requests;
    QHash<QTcpSocket*, Connection> m_connections;
};
