#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "common/datafolders.h"
#include "common/result.h"
#include "engine/linkparameters.h"
#include "engine/linkstatus.h"
#include "link/inboundarchive.h"
#include "logs/trafficlogs.h"
#include "outbound/outboxhealth.h"
#include "outbound/outboxsender.h"
#include "transport/tcpclient.h"

class ConnectionSupervisor;
class FrameLog;
class ManualSender;
class QTimer;
class ReceivePoller;
class TransportWait;

/// What the engine is given from outside: where it lives and how fast its timers run.
struct LinkEngineConfig {
    QString executableFolder; ///< with a trailing "/"
    std::chrono::milliseconds generalInterval{500};
    std::chrono::milliseconds reconnectInterval{15000};
    std::chrono::milliseconds fileCheckerInterval{1000};
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
    std::chrono::milliseconds connectLimit = std::chrono::seconds(21); ///< the TCP client's
    std::chrono::milliseconds sendLimit = std::chrono::seconds(21);    ///< the TCP client's
    DeadLinkLimits deadLink{};                                         ///< the TCP client's
    /// How long an outbox file on which no lease can be had must stand still before it goes.
    std::chrono::milliseconds outboxStableFor = std::chrono::seconds(2);
};

/// The link without a face: the TCP client, the three timers and what their handlers do (the
/// receive poll, the reconnect check, the outbox sender), the archive, the traffic logs and the
/// link-ready flag. The window and the service both drive it: they give it the options, read
/// afresh at every use, show its logs and indicator, and forward the operator's actions. Its
/// timers are its children, named General, Timer1 and FileChecker.
///
/// For a status bar and an inspector it also keeps, without widgets: the link's state
/// (linkStatus(), linkStatusChanged), every frame received and sent (frames(), a table model),
/// the outbox's health (outboxHealth(), outboxHealthChanged) and the delivery of outbox files
/// (deliveryChanged); with BevestigdAfleveren on, an outbox file is deleted only on the host's
/// acknowledgement.
class LinkEngine : public QObject {
    Q_OBJECT
public:
    using Parameters = std::function<LinkParameters()>;

    LinkEngine(LinkEngineConfig config, Parameters parameters, QObject* parent = nullptr);
    ~LinkEngine() override;

    /// Removes the temporary files of writes killed half-way from the logs, archive and outbox
    /// folders, then starts the three timers; nothing connects by itself before the first tick.
    void start();

    TrafficLogs& logs() { return m_logs; }
    const DataFolders& dataFolders() const { return m_folders; }
    TcpClient& client() { return *m_client; }
    bool linkReady() const { return m_linkReady; }
    void setLinkReady(bool ready) { m_linkReady = ready; }
    /// Files the outbox never sends, however they are named (the program's own settings).
    void setOwnFiles(const QStringList& paths);
    void setWaitHook(TransportWait* hook);

    /// An error no handler caught replaces the incoming log with its message.
    void reportUncaught(const QString& message);

    // The handlers, for the timers and for the operator's actions.
    void generalTick();
    void reconnectTick();
    /// The outbox sender: its timer is stopped while it runs and started on every way out.
    void fileCheckerTick();
    /// Closes an open link, else opens one; errors of the connected test are passed on.
    void onOff();
    /// A typed packet in compact form; true when it went out.
    bool sendTyped(const QString& text);
    /// Asks for a file through the dialog seam and sends it in line form; with the link down it
    /// warns instead.
    void sendChosenFile();
    /// The close: the traffic logs to their files when the options keep them.
    Result<void> flushLogs();

    /// The frames received and sent, newest last, bounded by InspecteurAantal.
    FrameLog& frames() { return *m_frames; }
    const LinkStatus& linkStatus() const { return m_status; }
    /// Time left until the reconnect check runs, while LinkStatus::nextAttempt is set.
    std::optional<std::chrono::milliseconds> untilNextAttempt() const;
    const OutboxHealth& outboxHealth() const { return m_health; }
    /// Why resend() sent nothing.
    enum ResendFailure { ResendGone = 1, ResendEmpty, ResendNoLink, ResendFailed, ResendCut };
    /// Sends the payload of the frame with this serial in frames() again, in compact form with
    /// the framing options of now, as a typed packet goes (it shows in the outgoing log and as a
    /// new row). A sent frame's payload is the text before framing; a received frame's is what
    /// the archive writes for it (FrameLog::decodedPayload). Asks nothing: the caller takes the
    /// serial, then confirms (prompts::confirm), then calls this, so frames that arrive while
    /// the question is open change nothing. Fails with a text for the operator: the frame has
    /// left the bounded log meanwhile, only its head was kept, nothing to send, no link, or the
    /// write failed (its message is in the incoming log).
    Result<void> resend(std::uint64_t serial);
    /// Reads the options again for the link state and the outbox health, for a caller that has
    /// just changed them; the poll and the outbox ticks do so on their own.
    void refreshStatus();

signals:
    void linkStatusChanged(const LinkStatus& status);
    void outboxHealthChanged(const OutboxHealth& health);
    /// An outbox file was sent or its delivery settled (a confirmation, or none in time).
    void deliveryChanged(const OutboxSend& send);
    /// Every block the receive poll took, with what the archive made of it (nothing with the
    /// archive off), and the size on the wire of every frame written; whatever the inspector keeps.
    void blockReceived(const QByteArray& block, const std::optional<Result<QString>>& archived);
    void frameWritten(qsizetype bytes);

    /// The lit states of the connection lamp and of the on/off button, each set from its own
    /// connected test on every poll tick.
    void lampLit(bool lit);
    void onOffLit(bool lit);

private:
    void recordReceived(const QByteArray& block, const std::optional<Result<QString>>& archived);
    void recordOutbox(const OutboxSend& send, bool settled);
    void setPhase(LinkStatus::Phase phase, bool publish = true);
    void publishStatus();
    void refreshHealth();
    OutboxSettings outboxSettings(const LinkParameters& p) const;
    void restartTimer1();

    LinkEngineConfig m_config;
    Parameters m_parameters;
    DataFolders m_folders;
    TrafficLogs m_logs;
    InboundArchive m_archive;
    bool m_linkReady = false;
    TcpClient* m_client = nullptr;
    ConnectionSupervisor* m_supervisor = nullptr;
    ReceivePoller* m_poller = nullptr;
    std::unique_ptr<ManualSender> m_manualSender;
    OutboxSender* m_outboxSender = nullptr;
    QTimer* m_General = nullptr;
    QTimer* m_Timer1 = nullptr;
    QTimer* m_FileChecker = nullptr;
    FrameLog* m_frames = nullptr;
    LinkStatus m_status;
    LinkStatus m_published; ///< as last signalled
    QDateTime m_timer1Due;
    OutboxHealth m_health;
    QHash<std::uint64_t, std::uint64_t> m_outboxRows; ///< outbox send id to frame serial
};
