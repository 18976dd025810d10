#include "link/connectionsupervisor.h"

#include <QCoreApplication>
#include <QScopeGuard>

#include "common/leadingnumber.h"
#include "logs/trafficlogs.h"

using namespace Qt::Literals::StringLiterals;

ConnectionSupervisor::ConnectionSupervisor(TcpClient& client, TrafficLogs& logs, FlagSetter setLinkReady,
                                           QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_logs(logs)
    , m_setLinkReady(std::move(setLinkReady)) {}

std::uint16_t ConnectionSupervisor::portFromText(QStringView text) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(leadingNumber(text)) & 0xFFFFu);
}

void ConnectionSupervisor::onOff(const QString& host, const QString& portText) {
    QCoreApplication::processEvents();
    if (m_client.Connected()) {
        m_client.Disconnect();
        return;
    }
    m_client.setHost(host);
    m_client.setPort(portFromText(portText));
    const auto ended = qScopeGuard([this] { emit connectAttemptEnded(); });
    emit connectAttemptStarted(m_client.Host(), m_client.Port());
    try {
        m_client.Connect();
    } catch (const TransportError& error) {
        m_logs.incoming().replace(error.message());
        emit connectAttemptFailed(error.message());
    }
}

void ConnectionSupervisor::reconnectCheck(bool autoConnect, const QString& host, const QString& portText) {
    try {
        if (!autoConnect || m_client.Connected())
            return;
        onOff(host, portText);
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
    }
}

void ConnectionSupervisor::connected() {
    m_setLinkReady(true);
    m_logs.incoming().add(u"Verbinding opgebouwd"_s);
}

void ConnectionSupervisor::disconnected() {
    m_logs.incoming().add(u"Verbinding verbroken"_s);
}

void ConnectionSupervisor::status(HostStatus, const QString& text) {
    m_logs.status().add(text);
}
