#pragma once

#include <QString>
#include <functional>

#include "frames/framerecord.h"
#include "outbound/framing.h"

class TcpClient;
class TrafficLogs;

/// The operator's two ways to send one frame at once: a typed packet and a chosen file.
class ManualSender {
public:
    /// Told of every frame that went out: its source, the frame, the payload before framing and
    /// the chosen file (empty for a typed packet).
    using SentHook = std::function<void(FrameRecord::Source source, const QString& frame,
                                        const QString& payload, const QString& file, bool base64)>;

    ManualSender(TcpClient& client, TrafficLogs& logs);

    void setSentHook(SentHook hook) { m_sentHook = std::move(hook); }

    /// Sends text in compact form when it is not empty and the link is up. True when the frame
    /// went out (the edit is then cleared); a failed write is logged to the incoming log.
    bool sendTyped(const QString& text, const framing::Options& options, bool hex);

    /// Sends a file's text in line form. A file that cannot be read throws AppError before
    /// anything is sent; a failed write is logged to the incoming log.
    void sendFile(const QString& path, const framing::Options& options, bool hex);

    /// Sends a payload again in compact form with the options given, as a typed packet goes:
    /// nothing for an empty payload or a link that is down. True when it went out.
    bool resend(const QString& payload, const framing::Options& options, bool hex);

private:
    bool writeAndLog(const QString& frame, bool hex);
    bool sendCompact(const QString& payload, const framing::Options& options, bool hex,
                     FrameRecord::Source source);

    TcpClient& m_client;
    TrafficLogs& m_logs;
    SentHook m_sentHook;
};
