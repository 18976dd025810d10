#include "engine/linkengine.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTimer>

#include "common/prompts.h"
#include "common/uncaught.h"
#include "common/wholefile.h"
#include "frames/framelog.h"
#include "link/connectionsupervisor.h"
#include "link/receivepoller.h"
#include "outbound/manualsender.h"
#include "outbound/outboxsender.h"
#include "transport/tcpclient.h"

using namespace Qt::Literals::StringLiterals;

LinkEngine::LinkEngine(LinkEngineConfig config, Parameters parameters, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_parameters(std::move(parameters))
    , m_folders(DataFolders::beside(m_config.executableFolder))
    , m_logs(m_folders.logs, m_config.clock)
    , m_archive(m_folders.xml, m_config.clock) {
    const auto makeTimer = [this](const char16_t* name, std::chrono::milliseconds interval) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString::fromUtf16(name));
        timer->setInterval(interval);
        return timer;
    };
    m_General = makeTimer(u"General", m_config.generalInterval);
    m_Timer1 = makeTimer(u"Timer1", m_config.reconnectInterval);
    // Never early: an attempt must follow the end of the previous one by the whole interval.
    m_Timer1->setTimerType(Qt::PreciseTimer);
    m_FileChecker = makeTimer(u"FileChecker", m_config.fileCheckerInterval);
    connect(m_General, &QTimer::timeout, this, &LinkEngine::generalTick);
    connect(m_Timer1, &QTimer::timeout, this, &LinkEngine::reconnectTick);
    connect(m_FileChecker, &QTimer::timeout, this, uncaught::guarded([this] { fileCheckerTick(); }));

    m_client = new TcpClient(this, m_config.connectLimit, m_config.sendLimit, m_config.deadLink);
    m_client->setObjectName(u"TCPClient"_s);
    m_supervisor = new ConnectionSupervisor(
        *m_client, m_logs, [this](bool ready) { m_linkReady = ready; }, this);
    connect(m_supervisor, &ConnectionSupervisor::connectAttemptEnded, this, &LinkEngine::restartTimer1);
    connect(m_client, &TcpClient::OnConnected, m_supervisor, &ConnectionSupervisor::connected);
    connect(m_client, &TcpClient::OnDisconnected, m_supervisor, &ConnectionSupervisor::disconnected);
    connect(m_client, &TcpClient::OnStatus, m_supervisor, &ConnectionSupervisor::status);

    // The link's state, for a status bar. Connecting is published before the connect blocks; the
    // transport's wait hook lets it reach the screen while the connect waits.
    connect(m_supervisor, &ConnectionSupervisor::connectAttemptStarted, this,
            [this](const QString& host, std::uint16_t port) {
                m_status.host = host;
                m_status.port = port;
                ++m_status.attemptsSinceSuccess;
                setPhase(LinkStatus::Phase::Connecting);
            });
    connect(m_supervisor, &ConnectionSupervisor::connectAttemptFailed, this, [this](const QString& message) {
        m_status.lastError = message;
        m_status.lastErrorTime = m_config.clock();
        // Published with the next attempt's time, when connectAttemptEnded restarts Timer1.
        setPhase(LinkStatus::Phase::Down, false);
    });
    connect(m_client, &TcpClient::OnConnected, this, [this] {
        m_status.attemptsSinceSuccess = 0;
        setPhase(LinkStatus::Phase::Up);
    });
    connect(m_client, &TcpClient::OnStatus, this, [this](HostStatus kind, const QString&) {
        if (kind == HostStatus::hsDisconnected)
            setPhase(LinkStatus::Phase::Down);
    });
    m_frames = new FrameLog(this);
    m_frames->setObjectName(u"frameLog"_s);
    m_poller = new ReceivePoller(
        *m_client, m_logs, m_archive,
        {.options =
             [this] {
                 const LinkParameters p = m_parameters();
                 return ReceivePoller::Options{p.logbewaren, p.toonHex, p.xmlBestandenBewaren,
                                               p.ackDisconnect};
             },
         .setLed =
             [this](bool lit) {
                 // A close that no status report announced; a poll nested in
                 // a connect's wait must not end the attempt's phase.
                 if (!lit && m_status.phase == LinkStatus::Phase::Up)
                     setPhase(LinkStatus::Phase::Down);
                 emit lampLit(lit);
             },
         .setButton = [this](bool lit) { emit onOffLit(lit); },
         .setLinkReady = [this](bool ready) { m_linkReady = ready; },
         .received =
             [this](const QByteArray& block, const std::optional<Result<QString>>& archived) {
                 recordReceived(block, archived);
             },
         .transportFailed =
             [this](const QString& message) {
                 m_status.lastError = message;
                 m_status.lastErrorTime = m_config.clock();
                 publishStatus();
             }},
        this);
    m_manualSender = std::make_unique<ManualSender>(*m_client, m_logs);
    m_manualSender->setSentHook([this](FrameRecord::Source source, const QString& frame,
                                       const QString& payload, const QString& file, bool base64) {
        emit frameWritten(frame.size()); // one byte per code unit on the wire
        m_frames->setCapacity(m_parameters().frameLogCapacity());
        std::ignore = m_frames->addSent(m_config.clock(), source, frame, payload, base64, file);
    });
    m_outboxSender =
        new OutboxSender(*m_client, m_logs,
                         {[this] { return m_linkReady; }, [this](bool ready) { m_linkReady = ready; },
                          [this] { onOff(); }, [] { QCoreApplication::processEvents(); },
                          [this] {
                              return m_poller->takeWaiting();
                          }},
                         this, m_config.clock);
    // Beside the data folders, under a name no reader of XML takes.
    m_outboxSender->setLedgerFile(m_folders.root + u".niet-verwijderd"_s);
    m_outboxSender->setStableFor(m_config.outboxStableFor);
    connect(m_outboxSender, &OutboxSender::sent, this,
            [this](const OutboxSend& send) { recordOutbox(send, false); });
    connect(m_outboxSender, &OutboxSender::deliveryChanged, this,
            [this](const OutboxSend& send) { recordOutbox(send, true); });
}

LinkEngine::~LinkEngine() = default;

void LinkEngine::start() {
    // What a write killed half-way left under its temporary name, in every folder we write.
    for (const QString& folder : {m_folders.logs, m_folders.xml, m_parameters().autoLocatie}) {
        if (!folder.isEmpty())
            std::ignore = wholefile::removeLeftovers(folder);
    }
    m_General->start();
    restartTimer1();
    m_FileChecker->start();
}

void LinkEngine::restartTimer1() {
    // The time is read before the timer starts, so the announced moment is never later than
    // the check itself.
    m_timer1Due = m_config.clock().addMSecs(m_Timer1->interval());
    m_Timer1->start();
    publishStatus();
}

void LinkEngine::setPhase(LinkStatus::Phase phase, bool publish) {
    if (m_status.phase != phase) {
        m_status.phase = phase;
        m_status.since = m_config.clock();
    }
    if (publish)
        publishStatus();
}

void LinkEngine::publishStatus() {
    m_status.nextAttempt =
        m_parameters().autoConnect && m_status.phase != LinkStatus::Phase::Up && m_Timer1->isActive()
            ? m_timer1Due
            : QDateTime();
    if (m_status == m_published)
        return;
    m_published = m_status;
    emit linkStatusChanged(m_status);
}

void LinkEngine::refreshStatus() {
    publishStatus();
    refreshHealth();
}

std::optional<std::chrono::milliseconds> LinkEngine::untilNextAttempt() const {
    if (!m_status.nextAttempt.isValid())
        return std::nullopt;
    return std::chrono::milliseconds(std::max(0, m_Timer1->remainingTime()));
}

void LinkEngine::refreshHealth() {
    const LinkParameters p = m_parameters();
    const OutboxHealth health = m_outboxSender->health(
        outboxSettings(p), m_config.clock(), p.outboxWarnAfter(), m_status.phase == LinkStatus::Phase::Up);
    if (health == m_health)
        return;
    m_health = health;
    emit outboxHealthChanged(m_health);
}

OutboxSettings LinkEngine::outboxSettings(const LinkParameters& p) const {
    return {p.autoBestanden,    p.autoLocatie,        p.frame(), p.toonHex, p.outboxSizeLimit(),
            m_config.sendLimit, m_frames->headLimit()};
}

void LinkEngine::recordReceived(const QByteArray& block, const std::optional<Result<QString>>& archived) {
    // On the receive path: nothing here may look through the block. The record shares it and
    // the inspector analyses it when asked.
    emit blockReceived(block, archived);
    m_outboxSender->received(block);
    m_frames->setCapacity(m_parameters().frameLogCapacity());
    std::ignore = m_frames->addReceived(m_config.clock(), block, archived);
}

void LinkEngine::recordOutbox(const OutboxSend& send, bool settled) {
    if (!settled && send.delivery != FrameRecord::Delivery::WriteFailed)
        emit frameWritten(send.frame.size());
    if (settled) {
        if (const auto serial = m_outboxRows.take(send.id))
            m_frames->setDelivery(serial, send.delivery);
    } else {
        m_frames->setCapacity(m_parameters().frameLogCapacity());
        const std::uint64_t serial =
            m_frames->addSent(m_config.clock(), FrameRecord::Source::Outbox, send.frame, send.payload,
                              send.base64, send.path, send.delivery);
        if (serial != 0 && send.delivery == FrameRecord::Delivery::AwaitingConfirmation)
            m_outboxRows.insert(send.id, serial);
    }
    emit deliveryChanged(send);
}

Result<void> LinkEngine::resend(std::uint64_t serial) {
    const FrameRecord* record = m_frames->find(serial);
    if (!record)
        return Failure{ResendGone, u"Dit frame staat niet meer in de frame-inspecteur: het is intussen door "
                                   u"nieuwere frames verdrongen. Er is niets verzonden."_s};
    if (record->cut())
        return Failure{ResendCut, u"Van dit frame is alleen het begin bewaard (%1); het kan niet opnieuw "
                                  u"worden verzonden."_s.arg(FrameLog::cutText(*record))};
    const QString payload = m_frames->decodedPayload(serial).value_or(QString());
    if (payload.isEmpty())
        return Failure{ResendEmpty, u"Dit frame heeft geen inhoud om te verzenden."_s};
    if (!m_client->Connected())
        return Failure{ResendNoLink, u"Open eerste de TCP/IP verbinding met de host"_s};
    const LinkParameters p = m_parameters();
    if (!m_manualSender->resend(payload, p.frame(), p.toonHex))
        return Failure{ResendFailed, u"Opnieuw verzenden is mislukt."_s};
    return {};
}

void LinkEngine::setOwnFiles(const QStringList& paths) {
    m_outboxSender->setOwnFiles(paths);
}

void LinkEngine::setWaitHook(TransportWait* hook) {
    m_client->setWaitHook(hook);
}

void LinkEngine::reportUncaught(const QString& message) {
    m_logs.incoming().replace(message);
}

void LinkEngine::generalTick() {
    m_logs.setTimesInFiles(m_parameters().tijdInLogbestanden);
    m_poller->tick();
    publishStatus();
    if (!m_General->isActive())
        m_General->start();
}

void LinkEngine::reconnectTick() {
    // The repeating timer has just started its next interval; an attempt below restarts it.
    m_timer1Due = m_config.clock().addMSecs(m_Timer1->remainingTime());
    publishStatus();
    const LinkParameters p = m_parameters();
    m_supervisor->reconnectCheck(p.autoConnect, p.host, p.portText);
}

void LinkEngine::fileCheckerTick() {
    // Stopped while it runs, so that the waiting messages it lets run cannot start it again;
    // started again on every way out, errors included.
    m_FileChecker->stop();
    const auto restart = qScopeGuard([this] {
        refreshHealth();
        m_FileChecker->start();
    });
    const LinkParameters p = m_parameters();
    m_outboxSender->setConfirmation({p.bevestigdAfleveren, p.confirmationWait(), p.pakketIsBevestiging});
    m_outboxSender->tick(outboxSettings(p));
}

void LinkEngine::onOff() {
    const LinkParameters p = m_parameters();
    m_supervisor->onOff(p.host, p.portText);
}

bool LinkEngine::sendTyped(const QString& text) {
    const LinkParameters p = m_parameters();
    return m_manualSender->sendTyped(text, p.frame(), p.toonHex);
}

void LinkEngine::sendChosenFile() {
    if (!m_client->Connected()) {
        prompts::warning(u"Open eerste de TCP/IP verbinding met de host"_s);
        return;
    }
    if (const auto file = prompts::openFile(u"Selecteer bestand"_s)) {
        const LinkParameters p = m_parameters();
        m_manualSender->sendFile(*file, p.frame(), p.toonHex);
    }
}

Result<void> LinkEngine::flushLogs() {
    const LinkParameters p = m_parameters();
    m_logs.setTimesInFiles(p.tijdInLogbestanden);
    return m_logs.flush(p.logbewaren);
}
