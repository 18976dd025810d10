#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "frames/framerecord.h"
#include "outbound/ackscanner.h"
#include "outbound/framing.h"
#include "outbound/outboxfolder.h"
#include "outbound/outboxhealth.h"
#include "outbound/outboxledger.h"

class QFileInfo;
class TcpClient;
class TrafficLogs;

/// What the outbox sender reads afresh on every tick.
struct OutboxSettings {
    bool enabled = false; ///< AutoBestanden
    QString folder;       ///< AutoLocatie, as typed; empty means no folder at all
    framing::Options frame;
    bool hex = false;                    ///< ToonHex
    qint64 sizeLimit = qint64(64) << 20; ///< MaxBestandsGrootte: a larger file stays in place
    /// How long the host's TCP may leave the frame unacknowledged without progress, with
    /// confirmation off, before the file is given up for this connection.
    std::chrono::milliseconds stalledSendLimit{21000};
    /// Characters of a file's text kept in its OutboxSend: what the inspector holds of it.
    qsizetype payloadHead = qsizetype(1) << 20;
};

/// Confirmed delivery: a sent file is deleted only once the host acknowledges it within wait: an
/// EOT that arrives on the same connection after the frame went out. What waited before the
/// write and the EOT ending a framed packet of the host's (unless packetsAcknowledge) do not
/// count, and a connection that ends confirms nothing. Otherwise the file stays and goes again
/// on a later pass; a program that ends in between sends the file again.
struct OutboxConfirmation {
    bool enabled = false; ///< BevestigdAfleveren
    std::chrono::milliseconds wait{30000};
    bool packetsAcknowledge = false; ///< PakketIsBevestiging
};

/// One outbox file's frame, as it went out and as its delivery stands.
struct OutboxSend {
    std::uint64_t id = 0; ///< unique per sender; a later deliveryChanged carries the same
    QString path;
    QByteArray frame; ///< the bytes written to the socket; empty when the delivery settles later
    QString payload;  ///< the file's text before framing, at most OutboxSettings::payloadHead of it
    bool base64 = false;
    FrameRecord::Delivery delivery = FrameRecord::Delivery::Deleted;
};

/// Sends the "*.xml" files that other programs drop into the outbox folder, one per pass of the
/// link-ready flag, and deletes each after its write succeeded. A waiting file with the link
/// down opens the link first; the files wait for a later tick.
class OutboxSender : public QObject {
    Q_OBJECT
public:
    /// The link's side of the bargain: the flag, the on/off operation and a way to let waiting
    /// window messages run.
    struct Link {
        std::function<bool()> ready;
        std::function<void(bool)> setReady;
        std::function<void()> onOff;
        std::function<void()> processEvents;
        /// Reads and handles what the host has sent so far, as the receive poll would (logged,
        /// archived, the acknowledgement disconnect), so that it is never taken for the answer
        /// to the frame about to go; false when the link is down afterwards. Optional.
        std::function<bool()> takeWaiting;
    };

    using Clock = std::function<QDateTime()>;

    OutboxSender(TcpClient& client, TrafficLogs& logs, Link link, QObject* parent = nullptr,
                 Clock clock = &QDateTime::currentDateTime);

    /// Read afresh by the caller before each tick; off by default.
    void setConfirmation(const OutboxConfirmation& confirmation) { m_confirmation = confirmation; }
    /// The file sent and not yet acknowledged, if any. While one waits no other file is sent, so
    /// an acknowledgement can only be for that file.
    std::optional<QString> awaitingConfirmation() const;
    /// The file waiting for confirmation is acknowledged: it is deleted. Without one, nothing.
    void acknowledged();
    /// A block the host sent, as the receive poll took it: an acknowledgement in it (after the
    /// frame went, on the frame's connection) confirms the waiting file.
    void received(QByteArrayView block);
    /// A file that was sent but could not be deleted; it is not sent again while unchanged.
    bool notDeletable(const QString& path) const { return m_ledger.contains(path); }
    /// Where the files sent but not deletable are remembered across restarts; read at once.
    void setLedgerFile(const QString& file);
    /// A file on which no lease can be had goes only once its size and time have stood still
    /// this long (by the sender's clock).
    void setStableFor(std::chrono::milliseconds stableFor) { m_stableFor = stableFor; }

    /// Files that are never sent however they are named: the program's own settings files live
    /// in its folder, which is also the outbox by default, and must not go to the host and be
    /// deleted.
    void setOwnFiles(QStringList paths) { m_ownFiles = std::move(paths); }

    /// How the outbox stands at now: the files this sender would send (regular "*.xml" files,
    /// not its own), the oldest by file time, and a warning when it has waited longer than
    /// warnAfter. Reads the folder only; nothing is sent or logged. linkUp tells the reason
    /// when no other is known.
    OutboxHealth health(const OutboxSettings& settings, const QDateTime& now,
                        std::chrono::milliseconds warnAfter, bool linkUp) const;

    /// One tick. Errors outside the guarded send (a file still being written, a failing
    /// connected test) are thrown for the application's error hook; the files stay.
    void tick(const OutboxSettings& settings);

signals:
    /// After each file's guarded send, whatever its outcome.
    void sent(const OutboxSend& send);
    /// A waiting file's delivery settled: Confirmed, NotDeletable or NotConfirmed.
    void deliveryChanged(const OutboxSend& send);

private:
    struct Pending {
        OutboxSend send;
        FileIdentity identity;
        QDateTime deadline;
        std::uint64_t generation = 0; ///< the connection it went over
        qsizetype stale = 0;          ///< received bytes still to come that were there before
    };
    struct Settling {
        FileIdentity identity;
        QDateTime since;
    };
    void send(const OutboxFolder& folder, const QString& name, const QString& path,
              const FileIdentity& listed, const OutboxSettings& settings);
    /// True once a file without a lease has stood still for m_stableFor.
    bool settled(const QString& path, const FileIdentity& identity);
    bool isOwnFile(const QFileInfo& file) const;
    /// Deletes a sent file when it is still the one sent (a read-only file stays); what became
    /// of it, deleted (as deleted says) or kept in the ledger.
    FrameRecord::Delivery removeSent(const QString& path, const FileIdentity& identity,
                                     FrameRecord::Delivery deleted);
    void expire();
    /// A waiting file whose connection has ended is free to go again.
    void settleBroken();
    void giveUp(const QString& line, FrameRecord::Delivery delivery);

    TcpClient& m_client;
    TrafficLogs& m_logs;
    Link m_link;
    QStringList m_ownFiles;
    Clock m_clock;
    OutboxConfirmation m_confirmation;
    std::optional<Pending> m_pending;
    OutboxLedger m_ledger;
    QHash<QString, Settling> m_settling;
    std::chrono::milliseconds m_stableFor{2000};
    AckScanner m_scanner;
    std::uint64_t m_generation = 0;
    std::uint64_t m_nextId = 1;
};
