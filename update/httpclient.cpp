#include "update/httpclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcUpdate, "update")

using namespace Qt::Literals::StringLiterals;

namespace {
// What the update server has always been sent; Qt itself speaks HTTP/1.1.
const QByteArray kUserAgent("Mozilla/4.0 (compatible; ICS)");
const QByteArray kAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
constexpr int kNoStatus = 404;
} // namespace

HttpClient::HttpClient(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this)) {
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
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
    if (m_reply) {
        m_aborted = true;
        m_reply->abort();
    }
}

void HttpClient::takeData() {
    if (!m_reply || !m_reply->isOpen())
        return;
    const QByteArray data = m_reply->readAll();
    if (data.isEmpty())
        return;
    m_received += data.size();
    if (m_stream && m_writeError.isEmpty()) {
        if (m_stream->write(data) != data.size()) {
            m_writeError = m_stream->errorString();
            if (m_writeError.isEmpty())
                m_writeError = u"Write error"_s;
            m_reply->abort();
            return;
        }
    }
    emit documentData();
}

Result<void> HttpClient::run(const QByteArray& verb) {
    if (m_reply)
        return Failure{kNoStatus, u"A request is already running"_s};
    m_headerLines.clear();
    m_received = 0;
    m_writeError.clear();
    m_aborted = false;

    if (m_proxyHost.isEmpty()) {
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    } else {
        bool ok = false;
        const quint16 port = m_proxyPort.trimmed().toUShort(&ok);
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, m_proxyHost, ok ? port : 80));
    }

    QNetworkRequest request{QUrl(m_url)};
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setRawHeader(QByteArray("User-Agent"), kUserAgent);
    request.setRawHeader(QByteArray("Accept"), kAccept);
    request.setRawHeader(QByteArray("Pragma"), QByteArray("no-cache"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);

    QEventLoop loop;
    // head() and get(), not a custom verb: only then does Qt know a HEAD answer has no body.
    QNetworkReply* reply = verb == "HEAD" ? m_manager->head(request) : m_manager->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &HttpClient::takeData);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    takeData();

    for (const auto& [name, value] : reply->rawHeaderPairs())
        m_headerLines.append(name + QByteArray(": ") + value);
    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttr.isValid() ? statusAttr.toInt() : 0;
    const QString reason =
        QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    bool announcedOk = false;
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&announcedOk);
    m_reply = nullptr;
    reply->deleteLater();

    if (!m_writeError.isEmpty())
        return Failure{kNoStatus, m_writeError};
    if (m_aborted)
        return Failure{kNoStatus, u"Operation aborted"_s};
    if (status >= 400 && status != 401 && status != 407)
        return Failure{status, reason.isEmpty() ? errorText : reason};
    // 401 and 407 are answers, not failures: their body is kept like any other.
    const bool authAnswer = (status == 401 && error == QNetworkReply::AuthenticationRequiredError) ||
                            (status == 407 && error == QNetworkReply::ProxyAuthenticationRequiredError);
    if (status == 0 || (error != QNetworkReply::NoError && !authAnswer))
        return Failure{status > 0 ? status : kNoStatus, errorText};
    if (verb == "GET" && announcedOk && status < 300 && m_received < announced)
        return Failure{kNoStatus, u"Connection closed before the whole body arrived"_s};
    return Result<void>::success();
}
