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

bool ManualSender::sendTyped(const QString& text, const framing::Options& options, bool hex) {
    if (text.isEmpty() || !m_client.Connected())
        return false;
    return writeAndLog(framing::compact(text, options), hex);
}

void ManualSender::sendFile(const QString& path, const framing::Options& options, bool hex) {
    const QString text = readOutgoingFile(path);
    std::ignore = writeAndLog(framing::lines(text, options), hex);
}
