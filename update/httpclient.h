#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <chrono>

#include "common/result.h"
#include "update/fetchrecords.h"

class QEventLoop;
class QIODevice;

/// The update's HTTP client. Each request runs in the fetch helper (rtcpipclient-fetch, Qt
/// Network: HTTP and HTTPS, IPv6, proxies with a login, certificates checked against the
/// system's store), so the window itself never loads a network stack. get() and head() return
/// only when their request is over, but keep the event loop running meanwhile, so the window
/// stays live and abort() can be called from a handler; a quit of the application meanwhile
/// aborts the request at once.
///
/// A request fails when it ends with status 400 or more (401 and 407 excepted), when the
/// connection fails, times out or is aborted, when a redirection leaves the host, when the body
/// cannot be written to the receive stream, passes the body limit or is shorter than its
/// announced length. The failure's code is the HTTP status (404 when there is none) and its
/// message the reason text.
class HttpClient : public QObject {
    Q_OBJECT
public:
    static constexpr auto kConnectLimit = std::chrono::milliseconds(15000);
    static constexpr auto kStallLimit = std::chrono::milliseconds(30000);

    /// fetchProgram is the helper's path; connectLimit bounds the way to a sent request,
    /// stallLimit the time without a byte after it.
    explicit HttpClient(QString fetchProgram = {}, QObject* parent = nullptr);
    ~HttpClient() override;

    void setFetchProgram(const QString& path) { m_program = path; }
    QString fetchProgram() const { return m_program; }
    void setLimits(std::chrono::milliseconds connectLimit, std::chrono::milliseconds stallLimit) {
        m_connectLimit = connectLimit;
        m_stallLimit = stallLimit;
    }
    std::chrono::milliseconds connectLimit() const { return m_connectLimit; }
    std::chrono::milliseconds stallLimit() const { return m_stallLimit; }

    /// An empty host means the system's proxy settings (none when they name none).
    void setProxy(const QString& host, const QString& port);
    QString proxyHost() const { return m_proxyHost; }
    QString proxyPort() const { return m_proxyPort; }

    void setUrl(const QString& url) { m_url = url; }
    QString url() const { return m_url; }
    /// Where get() writes the body (not owned); nullptr drops it.
    void setReceiveStream(QIODevice* stream) { m_stream = stream; }
    QIODevice* receiveStream() const { return m_stream; }
    /// The most body bytes a request may bring; more fails it. Negative: no limit.
    void setBodyLimit(qint64 bytes) { m_bodyLimit = bytes; }
    qint64 bodyLimit() const { return m_bodyLimit; }

    Result<void> get();
    Result<void> head();

    bool busy() const { return m_running; }
    /// Header lines of the last response, "Name: value" each.
    const QList<QByteArray>& headerLines() const { return m_headerLines; }
    /// Body bytes received for the running (or last) request.
    qint64 receivedCount() const { return m_received; }
    /// Ends the running request; it then fails with "Operation aborted".
    void abort();
    /// The last request ended by abort() or by a quit of the application, not by its server.
    bool interrupted() const { return m_interrupted; }
    void close() { abort(); }

signals:
    /// Body data arrived; receivedCount() has grown.
    void documentData();

private:
    Result<void> run(const QByteArray& method);
    void onOutput();
    void finish(std::optional<Failure> failure);

    QString m_program;
    std::chrono::milliseconds m_connectLimit = kConnectLimit;
    std::chrono::milliseconds m_stallLimit = kStallLimit;
    QString m_url;
    QString m_proxyHost;
    QString m_proxyPort = QStringLiteral("80");
    QIODevice* m_stream = nullptr;
    qint64 m_bodyLimit = -1;

    QProcess* m_process = nullptr;
    QEventLoop* m_loop = nullptr;
    fetchrecord::Reader m_reader;
    bool m_running = false;
    bool m_over = false;
    bool m_interrupted = false;
    QByteArray m_method;
    std::optional<Failure> m_failure;
    std::optional<qint64> m_announced;
    QList<QByteArray> m_headerLines;
    qint64 m_received = 0;
};
