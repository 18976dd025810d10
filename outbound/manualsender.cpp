#include "outbound/manualsender.h"

#include "common/apperror.h"
#include "common/hexrender.h"
#include "logs/trafficlogs.h"
#include "outbound/outgoingfile.h"
#include "transport/tcpclient.h"

ManualSender::ManualSender(TcpClient& client, TrafficLogs& logs)
    : m_client(client)
    , m_logs(logs) {}

bool ManualSender::writeAndLog(const QString& frame, bool hex) {
    try {
        m_client.Write(frame);
        m_logs.outgoing().add(hex ? hexRender(frame) : frame);
        return true;
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
        return false;
    }
}

bool ManualSender::sendCompact(const QString& payload, const framing::Options& options, bool hex,
                               FrameRecord::Source source) {
    if (payload.isEmpty() || !m_client.Connected())
        return false;
    const QString frame = framing::compact(payload, options);
    if (!writeAndLog(frame, hex))
        return false;
    if (m_sentHook)
        m_sentHook(source, frame, payload, {}, options.base64);
    return true;
}

bool ManualSender::sendTyped(const QString& text, const framing::Options& options, bool hex) {
    return sendCompact(text, options, hex, FrameRecord::Source::Typed);
}

bool ManualSender::resend(const QString& payload, const framing::Options& options, bool hex) {
    return sendCompact(payload, options, hex, FrameRecord::Source::Resend);
}

void ManualSender::sendFile(const QString& path, const framing::Options& options, bool hex) {
    const QString text = readOutgoingFile(path);
    const QString frame = framing::lines(text, options);
    if (writeAndLog(frame, hex) && m_sentHook)
        m_sentHook(FrameRecord::Source::ChosenFile, frame, text, path, options.base64);
}
