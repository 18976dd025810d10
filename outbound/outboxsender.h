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
#include "outbound/framing.h"
#include "outbound/outboxhealth.h"

class QFileInfo;
class TcpClient;
class TrafficLogs;

/// What the outbox sender reads afresh on every tick.
struct OutboxSettings {
    bool enabled = false; ///< AutoBestanden
    QString folder;       ///< AutoLocatie, as typed; empty means no folder at all
    framing::Options frame;
    bool hex = false; ///< ToonHex
};

/// Confirmed delivery: a sent file is deleted only once the host acknowledges it (a received
/// block holding EOT) within wait; otherwise it stays and goes again on a later pass. Nothing of
/// it is kept beyond the file itself, so a program that ends in between sends the file again.
struct OutboxConfirmation {
    bool enabled = false; ///< BevestigdAfleveren
    std::chrono::milliseconds wait{30000};
};

/// One outbox file's frame, as it went out and as its delivery stands.
struct OutboxSend {
    std::uint64_t id = 0; ///< unique per sender; a later deliveryChanged carries the same
    QString path;
    QString frame;   ///< as written to the socket
    QString payload; ///< the file's text before framing
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
    };

    using Clock = std::function<QDateTime()>;

    OutboxSender(TcpClient& client, TrafficLogs& logs, Link link, QObject* parent = nullptr,
                 Clock clock = &QDateTime::currentDateTime);

    /// Read afresh by the caller before each tick; off by default.
    void setConfirmation(const OutboxConfirmation& confirmation) { m_confirmation = confirmation; }
    /// The file sent and not yet acknowledged, if any. While one waits no other file is sent, so
    /// an acknowledgement can only be for that file.
    std::optional<QString> awaitingConfirmation() const;
    /// A received block held EOT: the file waiting for it is deleted. Without one, nothing.
    void acknowledged();
    /// A file that was sent but could not be deleted the last time it went.
    bool notDeletable(const QString& path) const { return m_notDeletable.contains(path); }

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
        QDateTime deadline;
    };
    void send(const QString& path, const OutboxSettings& settings);
    bool isOwnFile(const QFileInfo& file) const;
    /// Deletes a sent file as the sender always has (a read-only file stays); true when gone.
    bool removeSent(const QString& path);
    void expire();

    TcpClient& m_client;
    TrafficLogs& m_logs;
    Link m_link;
    QStringList m_ownFiles;
    Clock m_clock;
    OutboxConfirmation m_confirmation;
    std::optional<Pending> m_pending;
    QSet<QString> m_notDeletable;
    std::uint64_t m_nextId = 1;
};
