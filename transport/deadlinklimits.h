#pragma once

#include <algorithm>
#include <chrono>

/// How soon a path that died without a word (a NAT or firewall that forgot the connection, a
/// host that lost power: no RST, no FIN) is given up. The kernel does it, so not one byte is
/// added to the host's stream:
/// - idle: TCP keepalive probes after `idle` without traffic, then every `interval`;
/// - bytes waiting unacknowledged: `userTimeout` (TCP_USER_TIMEOUT) bounds how long sent data may
///   stay unacknowledged; it also ends the keepalive probing once that long has passed with no
///   answer, so `probes` only counts where it is off (zero).
/// Either way the next receive, send or readiness test fails with 10060 "Connection timed out.".
///
/// The defaults give up within 30 s idle or busy, which with the 500 ms receive poll reports a
/// dead link well inside 45 s, and still ride out a shorter outage (a router's reboot, a Wi-Fi
/// hand-over) in which the path comes back with the connection intact.
struct DeadLinkLimits {
    std::chrono::seconds idle{10};                ///< TCP_KEEPIDLE, at least 1 s
    std::chrono::seconds interval{5};             ///< TCP_KEEPINTVL, at least 1 s
    int probes = 4;                               ///< TCP_KEEPCNT
    std::chrono::milliseconds userTimeout{30000}; ///< TCP_USER_TIMEOUT; 0 leaves the kernel's

    /// When an idle dead link is given up at the latest, counted from the last answer: the first
    /// probe goes after idle, and the kernel checks the limits once per interval after it.
    constexpr std::chrono::milliseconds idleGiveUp() const {
        const std::chrono::milliseconds i = interval;
        if (userTimeout.count() <= 0)
            return idle + i * probes;
        const auto afterIdle = std::max(userTimeout - std::chrono::milliseconds(idle), i);
        return idle + i * ((afterIdle.count() + i.count() - 1) / i.count());
    }
    /// When a dead link with bytes waiting is given up at the latest, counted from the first
    /// unanswered send; without userTimeout the kernel's retransmissions take about 15 minutes.
    constexpr std::chrono::milliseconds busyGiveUp() const {
        return userTimeout.count() > 0 ? userTimeout : std::chrono::minutes(15);
    }
    constexpr std::chrono::milliseconds giveUp() const { return std::max(idleGiveUp(), busyGiveUp()); }
};
