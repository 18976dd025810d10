#include "service/metricsfile.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

#include "engine/linkengine.h"
#include "link/inboundarchive.h"

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcService, "service")

MetricsFile::MetricsFile(LinkEngine& engine, QString path, std::chrono::milliseconds interval, Clock clock,
                         QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_path(std::move(path))
    , m_clock(std::move(clock)) {
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, [this] { std::ignore = write(); });
    connect(&engine, &LinkEngine::linkStatusChanged, this, [this](const LinkStatus& status) {
        if (status.phase == m_phase)
            return;
        if (status.phase == LinkStatus::Phase::Connecting)
            ++m_attempts;
        if (status.phase == LinkStatus::Phase::Up)
            ++m_connects;
        m_phase = status.phase;
        m_since = status.since;
    });
    connect(&engine, &LinkEngine::blockReceived, this,
            [this](const QByteArray& block, const std::optional<Result<QString>>& archived) {
                ++m_framesIn;
                m_bytesIn += std::uint64_t(block.size());
                if (block.contains(char(InboundArchive::kEot)))
                    m_lastAcknowledgement = m_clock();
                // Blocks that hold no frame are the host's business; a frame not stored is ours.
                if (archived && !archived->ok() && archived->failure().code == InboundArchive::NotWritten)
                    ++m_archiveFailures;
            });
    connect(&engine, &LinkEngine::frameWritten, this, [this](qsizetype bytes) {
        ++m_framesOut;
        m_bytesOut += std::uint64_t(bytes);
    });
    connect(&engine, &LinkEngine::outboxHealthChanged, this,
            [this](const OutboxHealth& health) { m_health = health; });
    connect(&engine, &LinkEngine::deliveryChanged, this, [this](const OutboxSend& send) {
        switch (send.delivery) {
        case FrameRecord::Delivery::Deleted:
        case FrameRecord::Delivery::Confirmed:
            ++m_delivered;
            break;
        case FrameRecord::Delivery::WriteFailed:
            ++m_writeFailures;
            break;
        default:
            break;
        }
    });
}

void MetricsFile::start() {
    std::ignore = write();
    m_timer.start();
}

namespace {

QString seconds(const QDateTime& time) {
    return time.isValid() ? QString::number(double(time.toMSecsSinceEpoch()) / 1000.0, 'f', 3) : u"0"_s;
}

void metric(QString& out, const char16_t* name, const char16_t* type, const char16_t* help,
            const QString& value) {
    const QString n = QString::fromUtf16(name);
    out += u"# HELP "_s + n + u' ' + QString::fromUtf16(help) + u"\n# TYPE "_s + n + u' ' +
           QString::fromUtf16(type) + u'\n' + n + u' ' + value + u'\n';
}

void counter(QString& out, const char16_t* name, const char16_t* help, std::uint64_t value) {
    metric(out, name, u"counter", help, QString::number(value));
}

void gauge(QString& out, const char16_t* name, const char16_t* help, const QString& value) {
    metric(out, name, u"gauge", help, value);
}

} // namespace

QString MetricsFile::text() const {
    const QDateTime now = m_clock();
    QString out;
    gauge(out, u"rtcpipclient_link_up", u"1 while the link to the dispatch host is up, else 0.",
          m_phase == LinkStatus::Phase::Up ? u"1"_s : u"0"_s);
    gauge(out, u"rtcpipclient_link_state_since_timestamp_seconds",
          u"When the link's state (down, connecting, up) last changed, in Unix seconds; 0 before the first "
          u"change.",
          seconds(m_since));
    counter(out, u"rtcpipclient_connects_total", u"Connects to the dispatch host that succeeded.",
            m_connects);
    counter(out, u"rtcpipclient_connect_attempts_total",
            u"Connects to the dispatch host begun, the first and every reconnect.", m_attempts);
    counter(out, u"rtcpipclient_received_frames_total", u"Blocks taken from the dispatch host.", m_framesIn);
    counter(out, u"rtcpipclient_received_bytes_total", u"Bytes taken from the dispatch host.", m_bytesIn);
    counter(out, u"rtcpipclient_sent_frames_total", u"Frames written to the dispatch host.", m_framesOut);
    counter(out, u"rtcpipclient_sent_bytes_total", u"Bytes of frames written to the dispatch host.",
            m_bytesOut);
    gauge(out, u"rtcpipclient_outbox_files", u"Files waiting in the outbox folder.",
          QString::number(m_health.waiting));
    gauge(out, u"rtcpipclient_outbox_oldest_file_age_seconds",
          u"How long the oldest waiting outbox file has waited; 0 when none waits.",
          QString::number(double(std::max<qint64>(m_health.oldestAgeMs(now), 0)) / 1000.0, 'f', 3));
    counter(out, u"rtcpipclient_outbox_delivered_files_total",
            u"Outbox files sent and deleted (after the host's acknowledgement where asked).", m_delivered);
    gauge(out, u"rtcpipclient_last_acknowledgement_timestamp_seconds",
          u"When the host last sent an acknowledgement (a block with EOT), in Unix seconds; 0 for never.",
          seconds(m_lastAcknowledgement));
    counter(out, u"rtcpipclient_archive_failures_total",
            u"Received frames whose archive file could not be written.", m_archiveFailures);
    counter(out, u"rtcpipclient_write_failures_total",
            u"Outbox files whose frame could not be written to the host.", m_writeFailures);
    return out;
}

Result<void> MetricsFile::write() {
    QSaveFile file(m_path);
    // Commit syncs the temporary file before it renames it over the old one.
    if (!file.open(QIODevice::WriteOnly))
        return Failure{1, file.errorString()};
    std::ignore = file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const QByteArray bytes = text().toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        // Once per run of failures: the next interval tries again without filling the journal.
        if (!m_lastWriteFailed)
            qCWarning(lcService).noquote() << u"Metriekbestand %1 niet geschreven: %2"_s.arg(m_path, reason);
        m_lastWriteFailed = true;
        return Failure{2, reason};
    }
    m_lastWriteFailed = false;
    return {};
}
