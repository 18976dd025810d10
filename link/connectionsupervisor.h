#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>

#include "transport/tcpclient.h"

class TrafficLogs;

/// The link's life: on/off, the reconnect check and the log lines of the client's events. The
/// link-ready flag belongs to the window; the supervisor sets it through the given setter.
class ConnectionSupervisor : public QObject {
    Q_OBJECT
public:
    using FlagSetter = std::function<void(bool)>;

    ConnectionSupervisor(TcpClient& client, TrafficLogs& logs, FlagSetter setLinkReady,
                         QObject* parent = nullptr);

    /// The port as the port edit is read: its leading number, low 16 bits (70000 gives 4464,
    /// letters only give 0).
    static std::uint16_t portFromText(QStringView text);

    /// Closes an open link, else opens one to host and port. A failed connect replaces the
    /// incoming log with its message; errors of the connected test and of Disconnect are
    /// passed on, to whoever invoked on/off.
    void onOff(const QString& host, const QString& portText);

    /// With autoConnect on and the link down: on/off. Any error that escapes is added to the
    /// incoming log.
    void reconnectCheck(bool autoConnect, const QString& host, const QString& portText);

    void connected();
    void disconnected();
    void status(HostStatus kind, const QString& text);

signals:
    /// On/off is about to connect to host and port (emitted before the connect blocks).
    void connectAttemptStarted(const QString& host, std::uint16_t port);
    /// The connect of on/off failed with this message (also an empty one).
    void connectAttemptFailed(const QString& message);
    /// A connect attempt of on/off is over, whatever its outcome: the reconnect check counts its
    /// interval from here, so a long attempt is never followed at once by the next.
    void connectAttemptEnded();

private:
    TcpClient& m_client;
    TrafficLogs& m_logs;
    FlagSetter m_setLinkReady;
};
