#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>

#include "common/result.h"

class QEventLoop;
class QIODevice;
namespace sock {
class Socket;
}

/// The update's HTTP client. get() and head() return only when their request is over, but keep
/// the event loop running meanwhile, so the window stays live and abort() can be called from a
/// handler. A request fails when it ends with status 400 or more (401 and 407 excepted), when the
/// connection fails or is aborted, when the body cannot be written to the receive stream, or
/// when the body is shorter than its announced length. The failure's code is the HTTP status
/// (404 when there is none) and its message the reason text. It speaks HTTP/1.0 over a plain
/// socket, "http" URLs only, directly or through an HTTP proxy.
class HttpClient : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRedirects = 5;

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    /// An empty host means a direct connection.
    void setProxy(const QString& host, const QString& port);
    QString proxyHost() const { return m_proxyHost; }
    QString proxyPort() const { return m_proxyPort; }

    void setUrl(const QString& url) { m_url = url; }
    QString url() const { return m_url; }
    /// Where get() writes the body (not owned); nullptr drops it.
    void setReceiveStream(QIODevice* stream) { m_stream = stream; }
    QIODevice* receiveStream() const { return m_stream; }

    Result<void> get();
    Result<void> head();

    bool busy() const { return m_running; }
    /// Header lines of the last response, "Name: value" each.
    const QList<QByteArray>& headerLines() const { return m_headerLines; }
    /// Body bytes received for the running (or last) request.
    qint64 receivedCount() const { return m_received; }
    /// Ends the running request; it then fails.
    void abort();
    void close() { abort(); }

signals:
    /// Body data arrived; receivedCount() has grown.
    void documentData();

private:
    Result<void> run(const QByteArray& verb);
    /// One request on one connection. Fills next instead of reading a body when it is redirected.
    Result<void> exchange(const QByteArray& verb, const QUrl& url, QUrl& next);
    /// Runs the event loop until the socket is ready; false when aborted meanwhile.
    bool waitFor(const sock::Socket& socket, bool writable);
    bool serve();
    void takeBody(QByteArrayView data);

    QEventLoop* m_loop = nullptr;
    bool m_running = false;
    QString m_url;
    QString m_proxyHost;
    QString m_proxyPort = QStringLiteral("80");
    QIODevice* m_stream = nullptr;
    QList<QByteArray> m_headerLines;
    qint64 m_received = 0;
    QString m_writeError;
    bool m_aborted = false;
};
