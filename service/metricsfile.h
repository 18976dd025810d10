#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>

#include "common/result.h"
#include "engine/linkstatus.h"
#include "outbound/outboxhealth.h"

class LinkEngine;

/// The link's figures in the Prometheus text format, in a file a collector reads (node_exporter's
/// textfile collector reads a folder of such files): written every interval and at the close,
/// through a temporary file beside it that is synced and renamed over it, so a reader never
/// sees half a file. Counters count from the service's start and never go down; times are Unix
/// seconds, 0 for never. The file is readable by others (the collector runs as a user of its
/// own); it holds counts and times only.
class MetricsFile : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    MetricsFile(LinkEngine& engine, QString path,
                std::chrono::milliseconds interval = std::chrono::seconds(5),
                Clock clock = &QDateTime::currentDateTime, QObject* parent = nullptr);

    /// Starts writing every interval, the first time at once.
    void start();
    /// Writes the file now; fails with the reason when it cannot be written.
    Result<void> write();
    /// The file's text for the figures of now.
    QString text() const;

private:
    LinkEngine& m_engine;
    QString m_path;
    Clock m_clock;
    QTimer m_timer;
    LinkStatus::Phase m_phase = LinkStatus::Phase::Down;
    QDateTime m_since;
    std::uint64_t m_connects = 0;
    std::uint64_t m_attempts = 0;
    std::uint64_t m_framesIn = 0;
    std::uint64_t m_framesOut = 0;
    std::uint64_t m_bytesIn = 0;
    std::uint64_t m_bytesOut = 0;
    std::uint64_t m_delivered = 0;
    std::uint64_t m_archiveFailures = 0;
    std::uint64_t m_writeFailures = 0;
    QDateTime m_lastAcknowledgement;
    OutboxHealth m_health;
    bool m_lastWriteFailed = false;
};
