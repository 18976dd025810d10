#include "logs/trafficlogs.h"

#include "common/filestamp.h"
#include "common/newfile.h"
#include "common/textlines.h"

using namespace Qt::Literals::StringLiterals;

TrafficLogs::TrafficLogs(QString logsFolder, Clock clock, QObject* parent)
    : QObject(parent)
    , m_logsFolder(std::move(logsFolder))
    , m_clock(std::move(clock))
    , m_incoming(u"Inkomend"_s)
    , m_outgoing(u"Uitgaand"_s)
    , m_status(u"Status"_s) {
    for (TrafficLog* log : {&m_incoming, &m_outgoing, &m_status})
        log->setClock(m_clock);
    // Never saved, so never more than its tail.
    m_status.setKeepAll(false);
}

void TrafficLogs::setTail(TrafficLog::Tail tail) {
    for (TrafficLog* log : {&m_incoming, &m_outgoing, &m_status})
        log->setTail(tail);
}

void TrafficLogs::keepAll(bool keepOnDisk) {
    m_incoming.setKeepAll(keepOnDisk);
    m_outgoing.setKeepAll(keepOnDisk);
}

Result<QString> TrafficLogs::save(const TrafficLog& log, const QString& prefix) {
    return newfile::write(m_logsFolder, prefix + fileStamp(m_clock(), StampOrder::DayFirst), u".txt"_s,
                          textlines::encodeCrLf(m_timesInFiles ? log.stampedLines() : log.lines()));
}

Result<void> TrafficLogs::saveAndEmpty(TrafficLog& log, const QString& prefix, qsizetype above,
                                       bool keepOnDisk) {
    if (!keepOnDisk || log.lineCount() <= above)
        return {};
    if (const auto saved = save(log, prefix); !saved)
        return saved.failure();
    log.clear();
    return {};
}

Result<void> TrafficLogs::rotate(bool keepOnDisk) {
    keepAll(keepOnDisk);
    if (auto r = saveAndEmpty(m_incoming, u"MM_IN_"_s, kRotateAbove, keepOnDisk); !r)
        return r;
    return saveAndEmpty(m_outgoing, u"MM_UIT_"_s, kRotateAbove, keepOnDisk);
}

Result<void> TrafficLogs::flush(bool keepOnDisk) {
    keepAll(keepOnDisk);
    if (auto r = saveAndEmpty(m_incoming, u"MM_IN_"_s, 0, keepOnDisk); !r)
        return r;
    return saveAndEmpty(m_outgoing, u"MM_UIT_"_s, 0, keepOnDisk);
}
