#include "update/httpclient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>

#include "common/result.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kNoStatus = 404;

std::optional<qint64> contentLength(const QList<QByteArray>& lines) {
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 value = line.sliced(colon + 1).trimmed().toLongLong(&ok);
            return ok && value >= 0 ? std::optional(value) : std::nullopt;
        }
    }
    return std::nullopt;
}

QString tooLarge(qint64 limit) {
    return u"The file is larger than %1 bytes"_s.arg(limit);
}

} // namespace

HttpClient::HttpClient(QString fetchProgram, QObject* parent)
    : QObject(parent)
    , m_program(std::move(fetchProgram)) {}

HttpClient::~HttpClient() {
    abort();
}

void HttpClient::setProxy(const QString& host, const QString& port) {
    m_proxyHost = host;
    m_proxyPort = port;
}

Result<void> HttpClient::get() {
    return run("GET");
}

Result<void> HttpClient::head() {
    return run("HEAD");
}

void HttpClient::abort() {
    if (m_running && !m_over)
        m_interrupted = true;
    if (m_running && !m_over)
        finish(Failure{kNoStatus, u"Operation aborted"_s});
}

void HttpClient::finish(std::optional<Failure> failure) {
    if (m_over)
        return;
    m_over = true;
    m_failure = std::move(failure);
    if (m_process && m_process->state() != QProcess::NotRunning && m_failure) {
        // Nothing of the helper's is worth waiting for: a cancel or a quit ends it at once.
        m_process->kill();
    }
    if (m_loop)
        m_loop->quit();
}

Result<void> HttpClient::run(const QByteArray& method) {
    if (m_running)
        return Failure{kNoStatus, u"A request is already running"_s};
    m_running = true;
    m_method = method;
    m_over = false;
    m_interrupted = false;
    m_failure.reset();
    m_announced.reset();
    m_headerLines.clear();
    m_received = 0;
    m_reader = {};

    QProcess process;
    QEventLoop loop;
    m_process = &process;
    m_loop = &loop;
    struct Reset {
        HttpClient* client;
        ~Reset() {
            client->m_process = nullptr;
            client->m_loop = nullptr;
            client->m_running = false;
        }
    } reset{this};

    FetchRequest request;
    request.method = method;
    request.url = m_url;
    request.proxyHost = m_proxyHost;
    request.proxyPort = m_proxyPort;
    request.connectLimitMs = m_connectLimit.count();
    request.stallLimitMs = m_stallLimit.count();

    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&process, &QProcess::readyReadStandardOutput, this, &HttpClient::onOutput);
    connect(&process, &QProcess::finished, this, [this] {
        onOutput();
        finish(Failure{kNoStatus, u"The fetch helper ended without an answer"_s});
    });
    connect(&process, &QProcess::errorOccurred, this, [this, &process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(Failure{kNoStatus, u"Cannot start \"%1\": %2"_s.arg(m_program, process.errorString())});
    });
    process.start(m_program, {}, QIODevice::ReadWrite | QIODevice::Unbuffered);
    if (!m_over) {
        process.write(request.toLine());
        process.closeWriteChannel();
    }
    while (!m_over) {
        // exec() also returns when the application is asked to quit (at once, when it was asked
        // before): the request ends then, and the helper with it.
        std::ignore = loop.exec();
        if (!m_over) {
            m_interrupted = true;
            finish(Failure{kNoStatus, u"Operation aborted"_s});
        }
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (m_failure)
        return *m_failure;
    return {};
}

void HttpClient::onOutput() {
    if (!m_process || m_over)
        return;
    m_reader.feed(m_process->readAllStandardOutput());
    while (!m_over) {
        auto record = m_reader.next();
        if (!record) {
            if (m_reader.broken())
                finish(Failure{kNoStatus, u"The fetch helper's answer is damaged"_s});
            return;
        }
        if (auto* head = std::get_if<fetchrecord::Head>(&*record)) {
            m_headerLines = head->lines;
            m_announced = contentLength(head->lines);
            if (m_bodyLimit >= 0 && m_announced && *m_announced > m_bodyLimit && m_stream)
                finish(Failure{kNoStatus, tooLarge(m_bodyLimit)});
        } else if (auto* data = std::get_if<fetchrecord::Data>(&*record)) {
            m_received += data->bytes.size();
            if (m_bodyLimit >= 0 && m_received > m_bodyLimit) {
                finish(Failure{kNoStatus, tooLarge(m_bodyLimit)});
                return;
            }
            if (m_stream && m_stream->write(data->bytes) != data->bytes.size()) {
                finish(Failure{kNoStatus, u"Write error"_s});
                return;
            }
            emit documentData();
        } else if (std::holds_alternative<fetchrecord::Done>(*record)) {
            // HEAD answers announce a length they do not send.
            if (m_announced && m_received < *m_announced && m_method != "HEAD")
                finish(Failure{kNoStatus, u"Connection closed before the whole body arrived"_s});
            else
                finish(std::nullopt);
        } else if (auto* failed = std::get_if<fetchrecord::Failed>(&*record)) {
            finish(Failure{failed->code, failed->reason});
        }
    }
}
