#pragma once

#include <QDateTime>
#include <QObject>
#include <cstdio>
#include <functional>

#include "engine/linkstatus.h"
#include "outbound/outboxhealth.h"

class LinkEngine;

/// What a status bar and the frame inspector would show, as journal lines beside the logs, in
/// ConsoleLog's form (time in milliseconds, a name, the text): "Verbinding" for each change of
/// the link's state, "Frame" for each frame with its verdicts, "Uitgaandemap" when the outbox
/// warning comes, changes or clears, "Aflevering" for each outbox file's delivery. Frames are
/// written once the receive poll's tick is over, never inside it.
class EngineJournal : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    EngineJournal(LinkEngine& engine, std::FILE* stream, Clock clock = &QDateTime::currentDateTime,
                  QObject* parent = nullptr);

private:
    void write(const QString& name, const QString& text);
    void frameAdded(quint64 serial);

    LinkEngine& m_engine;
    std::FILE* m_stream;
    Clock m_clock;
    OutboxHealth m_lastHealth;
    LinkStatus m_lastPrinted; ///< without its next attempt's time
};
