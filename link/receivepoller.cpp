#include "link/receivepoller.h"

#include <QCoreApplication>

#include "common/ansicodec.h"
#include "common/hexrender.h"
#include "link/inboundarchive.h"
#include "logs/trafficlogs.h"
#include "transport/tcpclient.h"

ReceivePoller::ReceivePoller(TcpClient& client, TrafficLogs& logs, InboundArchive& archive, Outputs outputs,
                             QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_logs(logs)
    , m_archive(archive)
    , m_outputs(std::move(outputs)) {}

void ReceivePoller::tick() {
    try {
        poll();
    } catch (const TransportError& error) {
        m_logs.incoming().add(error.message());
        if (m_outputs.transportFailed)
            m_outputs.transportFailed(error.message());
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
    }
}

bool ReceivePoller::takeWaiting() {
    try {
        if (!m_client.Connected())
            return false;
        handleBuffered();
        return m_client.Connected();
    } catch (const TransportError& error) {
        m_logs.incoming().add(error.message());
        if (m_outputs.transportFailed)
            m_outputs.transportFailed(error.message());
    } catch (const AppError& error) {
        m_logs.incoming().add(error.message());
    }
    return false;
}

void ReceivePoller::poll() {
    if (const auto rotated = m_logs.rotate(m_outputs.options().keepLogs); !rotated) {
        m_logs.incoming().add(rotated.message());
        return;
    }
    m_outputs.setLed(m_client.Connected());
    m_outputs.setButton(m_client.Connected());
    m_outputs.setLinkReady(m_client.Connected());
    // Another handler may run here and connect or disconnect, so the link is asked again.
    QCoreApplication::processEvents();
    if (!m_client.Connected())
        return;
    handleBuffered();
}

void ReceivePoller::handleBuffered() {
    struct ResetReadTimeout {
        TcpClient& client;
        ~ResetReadTimeout() { client.setReadTimeout(0); }
    } reset{m_client};
    try {
        const Options options = m_outputs.options();
        QByteArray block;
        if (const qsizetype n = m_client.InputBufferSize(); n > 0)
            block = m_client.ReadBytes(n);
        const QString text = ansi::toText(block);
        if (!block.isEmpty()) {
            m_logs.incoming().add(options.hex ? hexRender(text) : text);
            std::optional<Result<QString>> archived;
            if (options.archive)
                archived.emplace(m_archive.archive(block));
            if (m_outputs.received)
                m_outputs.received(block, archived);
        }
        if (options.ackDisconnect && text.contains(QChar(InboundArchive::kEot))) {
            m_outputs.setLinkReady(false);
            m_client.Disconnect();
        }
    } catch (const ReadTimeoutError&) {
        // Nothing waits on this path; a time-out here is not worth a line.
    }
}
