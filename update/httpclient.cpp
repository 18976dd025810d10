#include "update/httpclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSocketNotifier>

#include "transport/socket.h"
#include "transport/transporterror.h"
#include "update/httpresponsehead.h"

Q_LOGGING_CATEGORY(lcUpdate, "update")

using namespace Qt::Literals::StringLiterals;

namespace {
// What the update server has always been sent.
const QByteArray kUserAgent("Mozilla/4.0 (compatible; ICS)");
const QByteArray kAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
constexpr int kNoStatus = 404;
constexpr quint16 kHttpPort = 80;
// The request is a few hundred bytes; a send that cannot place them in this time has no peer.
constexpr std::chrono::milliseconds kSendLimit{30000};
// Largest head we wait for; beyond it the peer is not speaking HTTP.
constexpr qsizetype kMaxHead = 64 * 1024;

QByteArray requestFor(const QByteArray& verb, const QUrl& url, bool viaProxy) {
    QByteArray target;
    if (viaProxy) {
        target = url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    } else {
        target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
        if (!target.startsWith('/'))
            target.prepend('/');
    }
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (url.port() >= 0 && url.port() != kHttpPort)
        host += ':' + QByteArray::number(url.port());
    return verb + ' ' + target + " HTTP/1.0\r\n" + "Host: " + host + "\r\n" + "Accept: " + kAccept + "\r\n" +
           "User-Agent: " + kUserAgent + "\r\n" + "Pragma: no-cache\r\n\r\n";
}
} // namespace

HttpClient::HttpClient(QObject* parent)
    : QObject(parent) {
    // A request still waiting when the program is asked to end must not keep it alive.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &HttpClient::abort);
}

HttpClient::~HttpClient() {
    abort();
}

void HttpClient::setProxy(const QString& host, const QString& port) {
    m_proxyHost = host;
    m_proxyPort = port;
}

Result<void> HttpClient::get() {
    return run(QByteArray("GET"));
}

Result<void> HttpClient::head() {
    return run(QByteArray("HEAD"));
}

void HttpClient::abort() {
    if (!m_running)
        return;
    m_aborted = true;
    if (m_loop)
        m_loop->quit();
}

bool HttpClient::serve() {
    QCoreApplication::processEvents();
    return !m_aborted;
}

bool HttpClient::waitFor(const sock::Socket& socket, bool writable) {
    if (m_aborted)
        return false;
    QEventLoop loop;
    QSocketNotifier notifier(socket.handle(), writable ? QSocketNotifier::Write : QSocketNotifier::Read);
    connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    return !m_aborted;
}

void HttpClient::takeBody(QByteArrayView data) {
    if (data.isEmpty())
        return;
    m_received += data.size();
    if (m_stream && m_stream->write(data.data(), data.size()) != data.size()) {
        m_writeError = m_stream->errorString();
        if (m_writeError.isEmpty())
            m_writeError = u"Write error"_s;
        return;
    }
    emit documentData();
}

Result<void> HttpClient::run(const QByteArray& verb) {
    if (m_running)
        return Failure{kNoStatus, u"A request is already running"_s};
    m_headerLines.clear();
    m_received = 0;
    m_writeError.clear();
    m_aborted = false;
    m_running = true;
    const auto idle = qScopeGuard([this] { m_running = false; });

    QUrl url(m_url);
    for (int redirects = 0;; ++redirects) {
        QUrl next;
        const Result<void> done = exchange(verb, url, next);
        if (!done.ok() || next.isEmpty())
            return done;
        if (redirects == kMaxRedirects)
            return Failure{kNoStatus, u"Too many redirections"_s};
        qCDebug(lcUpdate) << "redirected to" << next;
        url = next;
    }
}

Result<void> HttpClient::exchange(const QByteArray& verb, const QUrl& url, QUrl& next) {
    if (!url.isValid() || url.host().isEmpty())
        return Failure{kNoStatus, u"Invalid URL \"%1\""_s.arg(url.toString())};
    if (url.scheme().compare(u"http"_s, Qt::CaseInsensitive) != 0)
        return Failure{kNoStatus, u"Protocol \"%1\" is not supported, only \"http\""_s.arg(url.scheme())};
    const bool viaProxy = !m_proxyHost.isEmpty();
    QString host = url.host(QUrl::FullyEncoded);
    quint16 port = static_cast<quint16>(url.port(kHttpPort));
    if (viaProxy) {
        bool ok = false;
        host = m_proxyHost.trimmed();
        port = m_proxyPort.trimmed().toUShort(&ok);
        if (!ok)
            port = kHttpPort;
    }

    const auto aborted = [] {
        return Failure{kNoStatus, u"Operation aborted"_s};
    };
    QByteArray data;
    std::optional<HttpResponseHead> head;
    bool closed = false;
    try {
        const std::uint32_t address = sock::resolveIpv4(host.toUtf8(), [this] { return serve(); });
        sock::Socket socket = sock::Socket::openStream();
        if (!socket.startConnect(address, port)) {
            if (!waitFor(socket, true))
                return aborted();
            socket.finishConnect();
        }
        if (!socket.sendAll(requestFor(verb, url, viaProxy), kSendLimit, [this] { return serve(); }))
            return Failure{kNoStatus, u"Connection closed before the request was sent"_s};

        QByteArray buffer(64 * 1024, Qt::Uninitialized);
        std::optional<qint64> expected;
        while (!closed) {
            if (!waitFor(socket, false))
                return aborted();
            // Level-triggered: take all there is, then wait again.
            for (;;) {
                const qsizetype n = socket.receive(buffer.data(), buffer.size());
                if (n < 0)
                    break;
                if (n == 0) {
                    closed = true;
                    break;
                }
                const QByteArrayView got(buffer.constData(), n);
                if (head) {
                    const qint64 room = expected ? *expected - m_received : n;
                    takeBody(got.first(qMin<qint64>(room, n)));
                } else {
                    data += got;
                    const qsizetype end = httpHeadEnd(data);
                    if (end < 0) {
                        if (data.size() > kMaxHead)
                            return Failure{kNoStatus, u"The response head is too long"_s};
                        continue;
                    }
                    head = parseHttpResponseHead(QByteArrayView(data).first(end));
                    if (!head)
                        return Failure{kNoStatus, u"The server's answer is not HTTP"_s};
                    m_headerLines = head->lines;
                    const QByteArray location = head->header("Location");
                    if (head->isRedirect() && !location.isEmpty()) {
                        next = url.resolved(QUrl::fromEncoded(location));
                        return Result<void>::success();
                    }
                    if (verb == "HEAD" || !head->mayHaveBody())
                        expected = 0;
                    else
                        expected = head->contentLength();
                    const QByteArrayView first = QByteArrayView(data).sliced(end);
                    takeBody(first.first(qMin<qint64>(expected.value_or(first.size()), first.size())));
                }
                if (!m_writeError.isEmpty())
                    return Failure{kNoStatus, m_writeError};
                if (m_aborted)
                    return aborted();
                if (head && expected && m_received >= *expected) {
                    closed = true;
                    break;
                }
            }
        }
    } catch (const TransportError& e) {
        if (m_aborted)
            return aborted();
        return Failure{kNoStatus, e.message()};
    }

    if (!head)
        return Failure{kNoStatus, u"Connection closed without a response"_s};
    if (head->status >= 400 && head->status != 401 && head->status != 407)
        return Failure{head->status, QString::fromLatin1(head->reason)};
    if (verb != "HEAD" && head->mayHaveBody()) {
        if (const auto announced = head->contentLength(); announced && m_received < *announced)
            return Failure{kNoStatus, u"Connection closed before the whole body arrived"_s};
    }
    return Result<void>::success();
}
