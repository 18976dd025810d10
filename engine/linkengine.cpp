#include "engine/linkengine.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTimer>

#include "common/prompts.h"
#include "common/uncaught.h"
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

    m_client = new TcpClient(this, m_config.connectLimit, m_config.sendLimit);
    m_client->setObjectName(u"TCPClient"_s);
    m_supervisor = new ConnectionSupervisor(
        *m_client, m_logs, [this](bool ready) { m_linkReady = ready; }, this);
    connect(m_supervisor, &ConnectionSupervisor::connectAttemptEnded, m_Timer1, qOverload<>(&QTimer::start));
    connect(m_client, &TcpClient::OnConnected, m_supervisor, &ConnectionSupervisor::connected);
    connect(m_client, &TcpClient::OnDisconnected, m_supervisor, &ConnectionSupervisor::disconnected);
    connect(m_client, &TcpClient::OnStatus, m_supervisor, &ConnectionSupervisor::status);
    m_poller =
        new ReceivePoller(*m_client, m_logs, m_archive,
                          {.options =
                               [this] {
                                   const LinkParameters p = m_parameters();
                                   return ReceivePoller::Options{p.logbewaren, p.toonHex,
                                                                 p.xmlBestandenBewaren, p.ackDisconnect};
                               },
                           .setLed = [this](bool lit) { emit lampLit(lit); },
                           .setButton = [this](bool lit) { emit onOffLit(lit); },
                           .setLinkReady =
                               [this](bool ready) {
                                   m_linkReady = ready;
                               }},
                          this);
    m_manualSender = std::make_unique<ManualSender>(*m_client, m_logs);
    m_outboxSender = new OutboxSender(*m_client, m_logs,
                                      {[this] { return m_linkReady; },
                                       [this](bool ready) { m_linkReady = ready; }, [this] { onOff(); },
                                       [] {
                                           QCoreApplication::processEvents();
                                       }},
                                      this);
}

LinkEngine::~LinkEngine() = default;

void LinkEngine::start() {
    m_General->start();
    m_Timer1->start();
    m_FileChecker->start();
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
    if (!m_General->isActive())
        m_General->start();
}

void LinkEngine::reconnectTick() {
    const LinkParameters p = m_parameters();
    m_supervisor->reconnectCheck(p.autoConnect, p.host, p.portText);
}

void LinkEngine::fileCheckerTick() {
    // Stopped while it runs, so that the waiting messages it lets run cannot start it again;
    // started again on every way out, errors included.
    m_FileChecker->stop();
    const auto restart = qScopeGuard([this] { m_FileChecker->start(); });
    const LinkParameters p = m_parameters();
    m_outboxSender->tick({p.autoBestanden, p.autoLocatie, p.frame(), p.toonHex});
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
