#include "service/enginejournal.h"

#include <QFileInfo>

#include "engine/linkengine.h"
#include "frames/framelog.h"
#include "service/consolelog.h"
#include "service/journalstream.h"

using namespace Qt::Literals::StringLiterals;

EngineJournal::EngineJournal(LinkEngine& engine, std::FILE* stream, Clock clock, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_stream(stream)
    , m_clock(std::move(clock)) {
    connect(&engine, &LinkEngine::linkStatusChanged, this, [this](const LinkStatus& status) {
        // The next attempt's time alone moves on every reconnect check: not worth a line.
        LinkStatus compared = status;
        compared.nextAttempt = QDateTime();
        if (compared != m_lastPrinted) {
            // A new socket error is a fault of its own, whatever the state it leaves.
            const bool newError =
                status.lastErrorTime.isValid() && status.lastErrorTime != m_lastPrinted.lastErrorTime;
            m_lastPrinted = compared;
            if (newError)
                write(u"Fout"_s, status.lastError, journal::Priority::Err);
            write(u"Verbinding"_s, status.text(m_clock()), journal::Priority::Notice);
        }
    });
    FrameLog& frames = engine.frames();
    // The serial is taken at once (the row may move as old rows go); the analysis waits for the
    // event loop, so a large block costs the poll nothing here.
    connect(&frames, &FrameLog::rowsInserted, this, [this, &frames](const QModelIndex&, int first, int last) {
        for (int row = first; row <= last; ++row) {
            const quint64 serial = frames.record(row).serial;
            QMetaObject::invokeMethod(
                this, [this, serial] { frameAdded(serial); }, Qt::QueuedConnection);
        }
    });
    connect(&engine, &LinkEngine::outboxHealthChanged, this, [this](const OutboxHealth& health) {
        if (health.warning == m_lastHealth.warning && health.reason == m_lastHealth.reason &&
            health.oldestFile == m_lastHealth.oldestFile) {
            m_lastHealth = health;
            return;
        }
        const bool wasWarning = m_lastHealth.warning;
        m_lastHealth = health;
        if (health.warning)
            write(u"Uitgaandemap"_s, health.warningText(m_clock()), journal::Priority::Warning);
        else if (wasWarning)
            write(u"Uitgaandemap"_s, u"Waarschuwing opgeheven, %1 bestand(en) wachten"_s.arg(health.waiting),
                  journal::Priority::Notice);
    });
    connect(&engine, &LinkEngine::deliveryChanged, this, [this](const OutboxSend& send) {
        write(u"Aflevering"_s,
              QFileInfo(send.path).fileName() + u": "_s + FrameLog::deliveryText(send.delivery),
              priorityOf(send.delivery));
    });
}

journal::Priority EngineJournal::priorityOf(FrameRecord::Delivery delivery) {
    switch (delivery) {
    case FrameRecord::Delivery::WriteFailed:
        return journal::Priority::Err;
    case FrameRecord::Delivery::NotConfirmed:
    case FrameRecord::Delivery::NotDeletable:
        return journal::Priority::Warning;
    default:
        return journal::Priority::Info;
    }
}

journal::Priority EngineJournal::priorityOf(const FrameRecord& record, const FrameAnalysis& analysis) {
    if (record.direction == FrameRecord::Direction::Sent)
        return priorityOf(record.delivery);
    switch (record.archive) {
    case FrameRecord::Archive::NotWritable:
        return journal::Priority::Err;
    case FrameRecord::Archive::NoFrame:
    case FrameRecord::Archive::Undecodable:
        return journal::Priority::Warning;
    default:
        break;
    }
    // A frame the archive took may still be bad: its length or its Base64 is not as declared.
    const bool badLength = analysis.declaredLength && !analysis.lengthMatches();
    const bool badBase64 = record.archive != FrameRecord::Archive::Off && !analysis.base64Valid();
    return badLength || badBase64 ? journal::Priority::Warning : journal::Priority::Info;
}

QString EngineJournal::startText(const LinkParameters& p, const QString& folder,
                                 const QString& settingsFile) {
    QString text = u"Start in %1 met host %2, poort %3: "_s.arg(folder, p.host).arg(p.portText);
    QStringList does;
    if (p.autoConnect)
        does << u"verbindt vanzelf en opnieuw na elke verbreking"_s;
    if (p.autoBestanden)
        does << u"verzendt de bestanden in de uitgaande map %1"_s.arg(
            p.autoLocatie.isEmpty() ? folder : p.autoLocatie);
    if (does.isEmpty())
        return text + u"doet niets uit zichzelf, want AutoConnect en AutoBestanden staan uit; zet ze aan "
                      u"in het venster RTCPIPCLIENT of in %1"_s.arg(settingsFile);
    return text + does.join(u"; "_s);
}

void EngineJournal::announce(const QString& text) {
    write(u"Service"_s, text, journal::Priority::Notice);
}

void EngineJournal::frameAdded(quint64 serial) {
    const FrameLog& frames = m_engine.frames();
    if (const int row = frames.rowOf(serial); row >= 0)
        write(u"Frame"_s, frames.summary(row), priorityOf(frames.record(row), frames.analysis(row)));
}

void EngineJournal::write(const QString& name, const QString& text, journal::Priority priority) {
    journal::writeLine(m_stream, priority, ConsoleLog::format(m_clock(), name, text));
}
