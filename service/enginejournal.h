#pragma once

#include <QDateTime>
#include <QObject>
#include <cstdio>
#include <functional>

#include "engine/linkparameters.h"
#include "engine/linkstatus.h"
#include "frames/frameanalysis.h"
#include "frames/framerecord.h"
#include "outbound/outboxhealth.h"
#include "service/journalstream.h"

class LinkEngine;

/// What a status bar and the frame inspector would show, as journal lines beside the logs, in
/// ConsoleLog's form (time in milliseconds, a name, the text): "Verbinding" for each change of
/// the link's state, "Frame" for each frame with its verdicts, "Uitgaandemap" when the outbox
/// warning comes, changes or clears, "Aflevering" for each outbox file's delivery, and "Fout" for
/// each new socket error. Frames are written once the receive poll's tick is over, never inside it.
///
/// In the journal, faults are errors (a socket error, a failed write, an archive file not made)
/// or warnings (a frame with a bad verdict, an outbox file that stays, the outbox warning), the
/// link's state is a notice and traffic is information; journalctl -p warning shows the faults.
class EngineJournal : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    EngineJournal(LinkEngine& engine, std::FILE* stream, Clock clock = &QDateTime::currentDateTime,
                  QObject* parent = nullptr);

    /// What the service will do, for its first line: where, to which host, and whether it
    /// connects or sends by itself, or waits for the options that would make it.
    static QString startText(const LinkParameters& parameters, const QString& folder,
                             const QString& settingsFile);
    /// A line of the service's own, as a notice.
    void announce(const QString& text);

    static journal::Priority priorityOf(FrameRecord::Delivery delivery);
    static journal::Priority priorityOf(const FrameRecord& record, const FrameAnalysis& analysis);

private:
    void write(const QString& name, const QString& text,
               journal::Priority priority = journal::Priority::Info);
    void frameAdded(quint64 serial);

    LinkEngine& m_engine;
    std::FILE* m_stream;
    Clock m_clock;
    OutboxHealth m_lastHealth;
    LinkStatus m_lastPrinted; ///< without its next attempt's time
};
