#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>

#include "engine/linkstatus.h"

class LinkEngine;

/// Tells the service manager what the service is doing (a unit of Type=notify): READY=1 once it
/// runs, STATUS= with the link's state, host and port and the files waiting in the outbox, sent
/// again whenever one of them changes, WATCHDOG=1 from the event loop at half the interval the
/// manager asks for (WATCHDOG_USEC), so a loop that hangs stops the pings and is restarted, and
/// STOPPING=1 at the close. Without NOTIFY_SOCKET (started by hand, or by a unit of another type)
/// it sends nothing and has no timer.
class SystemdNotifier : public QObject {
    Q_OBJECT
public:
    explicit SystemdNotifier(LinkEngine& engine, QObject* parent = nullptr);

    /// The status line for a link state and a number of waiting files.
    static QString statusText(const LinkStatus& status, int waitingFiles);
    /// Half of what the manager asks for, or none when it asks for no pings (or asks another
    /// process: WATCHDOG_PID).
    static std::optional<std::chrono::milliseconds> watchdogInterval();

    /// The service runs: READY=1 with its status, and the pings start.
    void ready();
    void stopping();
    /// A ping when half the interval has passed since the last one; also called from waits that
    /// keep the loop from running but are alive themselves (a connect, a write).
    void keepAlive();

private:
    void publish();
    void ping();

    LinkEngine& m_engine;
    std::optional<std::chrono::milliseconds> m_interval;
    QTimer m_watchdog;
    QElapsedTimer m_sincePing;
    QString m_status;
    bool m_ready = false;
};
