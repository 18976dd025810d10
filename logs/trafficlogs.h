#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>

#include "common/result.h"
#include "logs/trafficlog.h"

/// The three logs of the communication tab and their files: "MM_IN_" + stamp + ".txt" for the
/// incoming log and "MM_UIT_" + stamp + ".txt" for the outgoing one, in the logs folder. The
/// status log is never saved.
class TrafficLogs : public QObject {
    Q_OBJECT
public:
    /// A log is rotated when it holds more than this many lines.
    static constexpr qsizetype kRotateAbove = 500;

    using Clock = std::function<QDateTime()>;

    explicit TrafficLogs(QString logsFolder, Clock clock = &QDateTime::currentDateTime,
                         QObject* parent = nullptr);

    TrafficLog& incoming() { return m_incoming; }
    TrafficLog& outgoing() { return m_outgoing; }
    TrafficLog& status() { return m_status; }

    /// Saves and empties each traffic log above kRotateAbove lines, incoming first, when
    /// keepOnDisk. A failed save leaves that log (and the ones after it) as they were. While
    /// keepOnDisk is on the traffic logs keep every line for the next save; off, only their tail.
    Result<void> rotate(bool keepOnDisk);

    /// At close: saves and empties each traffic log that holds any line, when keepOnDisk.
    Result<void> flush(bool keepOnDisk);

    /// What each log keeps of the lines no file takes; TrafficLog::kScreenTail at first. A
    /// program without a screen keeps none.
    void setTail(TrafficLog::Tail tail);

    /// With it on, every entry's first line in a saved file starts with its time; off, the files
    /// hold the lines alone.
    void setTimesInFiles(bool on) { m_timesInFiles = on; }

    /// Writes a log's lines to a new file; never overwrites. Returns the file's path.
    Result<QString> save(const TrafficLog& log, const QString& prefix);

private:
    void keepAll(bool keepOnDisk);
    Result<void> saveAndEmpty(TrafficLog& log, const QString& prefix, qsizetype above, bool keepOnDisk);

    QString m_logsFolder;
    Clock m_clock;
    TrafficLog m_incoming;
    TrafficLog m_outgoing;
    TrafficLog m_status;
    bool m_timesInFiles = false;
};
