#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "common/result.h"

class InboundArchive;
class TcpClient;
class TrafficLogs;

/// One tick of the receive poll: rotate the logs, refresh the indicators and the link-ready
/// flag, let waiting events run, then take every buffered byte, log it, archive its frame and
/// drop the link on an acknowledgement (EOT) when asked to. Keeps nothing between ticks.
class ReceivePoller : public QObject {
    Q_OBJECT
public:
    /// The options as the window holds them at the moment they are read.
    struct Options {
        bool keepLogs = false;      ///< Logbewaren
        bool hex = false;           ///< ToonHex
        bool archive = true;        ///< XMLBestandenBewaren
        bool ackDisconnect = false; ///< ACKDisconnect
    };
    /// Where the tick's results show: the LED, the on/off button and the link-ready flag.
    struct Outputs {
        std::function<Options()> options;
        std::function<void(bool)> setLed;
        std::function<void(bool)> setButton;
        std::function<void(bool)> setLinkReady;
        /// Optional: each non-empty block, after it was logged and archived and before the
        /// acknowledgement test, with the archive's result (none when the archive is off). The
        /// block is the poll's own buffer, shared, not copied; keep the work here small.
        std::function<void(const QByteArray& block, const std::optional<Result<QString>>& archived)> received;
        /// Optional: a transport error that ended the tick, with its message.
        std::function<void(const QString& message)> transportFailed;
    };

    ReceivePoller(TcpClient& client, TrafficLogs& logs, InboundArchive& archive, Outputs outputs,
                  QObject* parent = nullptr);

    /// Errors are caught here: a read time-out is ignored, any other message is added to the
    /// incoming log and ends the tick.
    void tick();
    /// Takes and handles what the host has sent so far, as a tick's read does (the log, the
    /// archive, the acknowledgement disconnect), without the rest of a tick; for a sender that
    /// must not take an earlier block for the answer to what it is about to write. Errors are
    /// handled as in tick(). True when the link is still up afterwards.
    bool takeWaiting();

private:
    void poll();
    /// The read of a tick with the link up.
    void handleBuffered();

    TcpClient& m_client;
    TrafficLogs& m_logs;
    InboundArchive& m_archive;
    Outputs m_outputs;
};
