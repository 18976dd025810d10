#pragma once

#include <QString>

#include "outbound/framing.h"

class TcpClient;
class TrafficLogs;

/// The operator's two ways to send one frame at once: a typed packet and a chosen file.
class ManualSender {
public:
    ManualSender(TcpClient& client, TrafficLogs& logs);

    /// Sends text in compact form when it is not empty and the link is up. True when the frame
    /// went out (the edit is then cleared); a failed write is logged to the incoming log.
    bool sendTyped(const QString& text, const framing::Options& options, bool hex);

    /// Sends a file's text in line form. A file that cannot be read throws AppError before
    /// anything is sent; a failed write is logged to the incoming log.
    void sendFile(const QString& path, const framing::Options& options, bool hex);

private:
    bool writeAndLog(const QString& frame, bool hex);

    TcpClient& m_client;
    TrafficLogs& m_logs;
};
