#pragma once

#include <QByteArray>
#include <atomic>
#include <mutex>
#include <thread>

/// A host on 127.0.0.1 whose receive window is as small as the platform allows, so that while it
/// does not read, a frame of a few tens of KiB stays unacknowledged in the client's send queue:
/// the write returns, the host's TCP never takes the rest. A thread of its own accepts and, unless
/// paused, reads everything of the newest connection.
class StalledHost {
public:
    StalledHost();
    ~StalledHost();
    StalledHost(const StalledHost&) = delete;
    StalledHost& operator=(const StalledHost&) = delete;

    quint16 port() const { return m_port; }
    void setPaused(bool paused) { m_paused = paused; }
    int connections() const { return m_connections; }
    QByteArray received() const;

private:
    void run();

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_paused{true};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    QByteArray m_received;
    std::thread m_thread;
};
