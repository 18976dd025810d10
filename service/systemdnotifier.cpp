#include "service/systemdnotifier.h"

#include <systemd/sd-daemon.h>

#include "engine/linkengine.h"

using namespace Qt::Literals::StringLiterals;

SystemdNotifier::SystemdNotifier(LinkEngine& engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_interval(watchdogInterval()) {
    connect(&engine, &LinkEngine::linkStatusChanged, this, &SystemdNotifier::publish);
    connect(&engine, &LinkEngine::outboxHealthChanged, this, &SystemdNotifier::publish);
    if (m_interval) {
        m_watchdog.setInterval(*m_interval);
        m_watchdog.setTimerType(Qt::PreciseTimer);
        connect(&m_watchdog, &QTimer::timeout, this, &SystemdNotifier::ping);
    }
}

QString SystemdNotifier::statusText(const LinkStatus& status, int waitingFiles) {
    QString text = LinkStatus::phaseText(status.phase);
    if (!status.host.isEmpty())
        text += u" %1:%2"_s.arg(status.host).arg(status.port);
    return text + u", %1 bestand(en) in de uitgaande map"_s.arg(waitingFiles);
}

std::optional<std::chrono::milliseconds> SystemdNotifier::watchdogInterval() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return std::nullopt;
    return std::chrono::milliseconds(std::max<uint64_t>(usec / 2000, 1));
}

void SystemdNotifier::ready() {
    m_ready = true;
    m_status = statusText(m_engine.linkStatus(), m_engine.outboxHealth().waiting);
    std::ignore = sd_notify(0, QByteArray("READY=1\nSTATUS=" + m_status.toUtf8()).constData());
    if (m_interval) {
        ping();
        m_watchdog.start();
    }
}

void SystemdNotifier::stopping() {
    m_watchdog.stop();
    std::ignore = sd_notify(0, "STOPPING=1\nSTATUS=stopt");
}

void SystemdNotifier::keepAlive() {
    if (m_interval && m_ready && m_sincePing.isValid() && m_sincePing.elapsed() >= m_interval->count())
        ping();
}

void SystemdNotifier::ping() {
    std::ignore = sd_notify(0, "WATCHDOG=1");
    m_sincePing.start();
}

void SystemdNotifier::publish() {
    if (!m_ready)
        return;
    const QString text = statusText(m_engine.linkStatus(), m_engine.outboxHealth().waiting);
    if (text == m_status)
        return;
    m_status = text;
    std::ignore = sd_notify(0, QByteArray("STATUS=" + m_status.toUtf8()).constData());
}
