#include "service/enginejournal.h"

#include <QFileInfo>

#include "engine/linkengine.h"
#include "frames/framelog.h"
#include "service/consolelog.h"

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
            m_lastPrinted = compared;
            write(u"Verbinding"_s, status.text(m_clock()));
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
            write(u"Uitgaandemap"_s, health.warningText(m_clock()));
        else if (wasWarning)
            write(u"Uitgaandemap"_s, u"Waarschuwing opgeheven, %1 bestand(en) wachten"_s.arg(health.waiting));
    });
    connect(&engine, &LinkEngine::deliveryChanged, this, [this](const OutboxSend& send) {
        write(u"Aflevering"_s,
              QFileInfo(send.path).fileName() + u": "_s + FrameLog::deliveryText(send.delivery));
    });
}

void EngineJournal::frameAdded(quint64 serial) {
    const FrameLog& frames = m_engine.frames();
    if (const int row = frames.rowOf(serial); row >= 0)
        write(u"Frame"_s, frames.summary(row));
}

void EngineJournal::write(const QString& name, const QString& text) {
    const QByteArray bytes = ConsoleLog::format(m_clock(), name, text) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    std::fflush(m_stream);
}
