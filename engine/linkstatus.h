#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

/// The link's state for a status bar: down, connecting or up, to where and since when, when the
/// reconnect check runs next, how many attempts failed or run since the last success, and the
/// last socket error. Times come from the engine's clock.
struct LinkStatus {
    enum class Phase { Down, Connecting, Up };

    Phase phase = Phase::Down;
    QString host;           ///< of the current or last attempt
    std::uint16_t port = 0; ///< of the current or last attempt
    QDateTime since;        ///< when the phase began; invalid before the first change
    /// When the reconnect check runs next, while AutoConnect is on and the link is down;
    /// invalid otherwise. The check runs a whole interval after the end of the last attempt.
    QDateTime nextAttempt;
    /// Attempts started since the last one that succeeded, the running one included.
    int attemptsSinceSuccess = 0;
    QString lastError; ///< message of the last socket error, as the incoming log has it
    QDateTime lastErrorTime;

    bool operator==(const LinkStatus&) const = default;

    static QString phaseText(Phase phase);
    /// The state on one line, with the countdown counted from now.
    QString text(const QDateTime& now) const;
};
