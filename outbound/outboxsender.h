#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>

#include "outbound/framing.h"

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

    OutboxSender(TcpClient& client, TrafficLogs& logs, Link link, QObject* parent = nullptr);

    /// Files that are never sent however they are named: the program's own settings files live
    /// in its folder, which is also the outbox by default, and must not go to the host and be
    /// deleted.
    void setOwnFiles(QStringList paths) { m_ownFiles = std::move(paths); }

    /// One tick. Errors outside the guarded send (a file still being written, a failing
    /// connected test) are thrown for the application's error hook; the files stay.
    void tick(const OutboxSettings& settings);

private:
    void send(const QString& path, const OutboxSettings& settings);
    bool isOwnFile(const QFileInfo& file) const;

    TcpClient& m_client;
    TrafficLogs& m_logs;
    Link m_link;
    QStringList m_ownFiles;
};
