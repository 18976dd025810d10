#pragma once

#include <QDeadlineTimer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>

#include "transport/localsocket.h"

class QSocketNotifier;

/// One program per installation folder, so that two starts never both send the outbox.
///
/// The first start holds a lock file and listens on a local socket, both in a runtime folder and
/// named after a hash of the canonical installation folder: nothing of it lands beside the
/// executable, where the outbox and the settings files are. A later start of the desktop program
/// in the same folder asks the holder to bring its window forward and is told to end; where the
/// holder or the later start is the headless service, the later start is told who holds the
/// folder and ends without a hand-over. A lock left by a program that died
/// is taken over, however old it is or how young: what counts is that its process is gone.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        /// This program holds the lock and answers later starts.
        Primary,
        /// The program holding the lock has the request; this one ends.
        HandedOver,
        /// A live program holds the lock but took no request within the answer limit. This one
        /// ends all the same: a second sender on one outbox is the fault this class prevents.
        NoAnswer,
        /// No lock could be made at all (the runtime folder cannot be written); this program runs
        /// without the guard rather than not at all.
        Unguarded,
        /// A program of the other kind, or another service, holds the folder (holderRole() says
        /// which); there is nothing to hand over and this one ends.
        HeldByOther,
    };
    enum class Role { Desktop, Service };

    /// The user's runtime folder (XDG_RUNTIME_DIR), or where there is none a folder of the user's
    /// own in their cache folder. claim() uses a folder only when it is the user's and nobody
    /// else can write to it, and obeys no lock or socket of another user in it.
    static QString defaultRuntimeFolder();

    /// answerLimit bounds how long claim() looks for the holder; it also covers a holder that
    /// has its lock but does not listen yet, because it started at the same moment.
    explicit SingleInstance(const QString& installationFolder,
                            const QString& runtimeFolder = defaultRuntimeFolder(),
                            std::chrono::milliseconds answerLimit = std::chrono::seconds(10),
                            std::chrono::milliseconds retryInterval = std::chrono::milliseconds(50),
                            QObject* parent = nullptr);
    /// Stops answering, then releases the lock: a start in between finds no listener, tries
    /// again and gets the lock.
    ~SingleInstance() override;

    /// What this program is; set before claim(). Desktop unless said otherwise.
    void setRole(Role role) { m_role = role; }
    /// After HeldByOther: what holds the folder.
    Role holderRole() const { return m_holderRole; }

    QString lockFilePath() const { return m_lockFilePath; }
    QString serverName() const { return m_serverName; }

    /// Takes the lock or hands over to its holder; blocks for at most the answer limit. Outcomes
    /// other than Primary and a plain hand-over are explained on standard error.
    [[nodiscard]] Claim claim();

signals:
    /// A later start in this folder asks for the window. Emitted on the event loop.
    void activationRequested();

private:
    enum class Request { Answered, Refused, Pending, Unreachable };
    Request askHolder(const QDeadlineTimer& deadline);
    void listen();
    void stopListening();
    void acceptRequests();

    class Peer;
    void answer(Peer* peer);

    QString m_lockFilePath;
    QString m_serverName;
    std::chrono::milliseconds m_answerLimit;
    std::chrono::milliseconds m_retryInterval;
    QLockFile m_lock;
    /// Valid while this program is the holder.
    sock::LocalListener m_listener;
    int m_peers = 0; ///< connections being served
    QSocketNotifier* m_listenerNotifier = nullptr;
    Role m_role = Role::Desktop;
    Role m_holderRole = Role::Desktop;
};
