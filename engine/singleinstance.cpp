#include "engine/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "transport/transporterror.h"

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcApp, "app")

namespace {

// One line each way. A later desktop start asks for the window; the holder confirms once its
// window has been asked to show. Any other pair (a service on either side) only learns who holds
// the folder.
constexpr char kRequest[] = "activate\n";
constexpr char kIdentify[] = "identify\n";
constexpr char kAnswer[] = "ok\n";
constexpr char kDesktop[] = "desktop\n";
constexpr char kService[] = "service\n";

// Peers served at once; more are let go at once. A flood of idle connections then costs a few
// descriptors, never all of them.
constexpr int kMaxPeers = 16;
// A peer of ours says its line at once; one that does not is let go after this at the latest.
constexpr std::chrono::milliseconds kPeerLimit = std::chrono::seconds(2);
// Out of descriptors, a waiting connection keeps the listener readable: it rests this long.
constexpr std::chrono::milliseconds kListenerRest = std::chrono::milliseconds(500);

// Symlinks and "dir/../dir" name one folder, so they must give one key. A folder that does not
// exist (yet) has no canonical form; its cleaned absolute path still tells folders apart.
QString keyOf(const QString& installationFolder) {
    QString path = QFileInfo(installationFolder).canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(QFileInfo(installationFolder).absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex();
    // 64 bits keep the socket's path well inside the 108 bytes a local socket address allows.
    return u"rtcpipclient-"_s + QString::fromLatin1(hash.left(16));
}

std::chrono::milliseconds remaining(const QDeadlineTimer& deadline) {
    return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
}

// Longer than any request: a peer that sends more without a line end is not one of ours.
constexpr qsizetype kLongestRequest = 64;

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A file of another user at one of our names is not obeyed: false when it is there and not ours.
bool absentOrOurs(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) < 0)
        return errno == ENOENT;
    return status.st_uid == ::geteuid();
}

// The folder the lock and the socket live in: made for this user alone when missing, and used
// only when it is a real folder of this user that nobody else can write to. Else why not.
QString problemWithFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), S_IRWXU) < 0 && errno == ENOENT) {
        std::ignore = QDir().mkpath(QFileInfo(folder).path());
        ::mkdir(path.constData(), S_IRWXU);
    }
    struct stat status {};
    if (::lstat(path.constData(), &status) < 0)
        return systemErrorText(errno);
    if (!S_ISDIR(status.st_mode))
        return u"geen map"_s;
    if (status.st_uid != ::geteuid())
        return u"de map is van een andere gebruiker"_s;
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return u"anderen kunnen in de map schrijven"_s;
    return {};
}

} // namespace

/// One accepted connection: what it has said so far and the notifier that reports more.
class SingleInstance::Peer : public QObject {
public:
    Peer(sock::LocalStream stream, QObject* parent)
        : QObject(parent)
        , m_stream(std::move(stream))
        , m_notifier(m_stream.handle(), QSocketNotifier::Read) {}
    ~Peer() override { m_notifier.setEnabled(false); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    sock::LocalStream& stream() { return m_stream; }
    QSocketNotifier& notifier() { return m_notifier; }
    QByteArray& received() { return m_received; }

    /// Ends the connection once control is back in the event loop: the notifier that called may
    /// still be on the stack. Safe to call more than once.
    void drop() {
        m_notifier.setEnabled(false);
        deleteLater();
    }

private:
    sock::LocalStream m_stream;
    QSocketNotifier m_notifier;
    QByteArray m_received;
};

QString SingleInstance::defaultRuntimeFolder() {
    // Without XDG_RUNTIME_DIR Qt would make up a folder of its own and warn at every start.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!runtime.isEmpty())
            return runtime;
    }
    // Never a name anyone can compute in a shared folder such as /tmp: another user could be
    // there first. The user's own cache folder has no one else in it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/rtcpipclient"_s;
}

SingleInstance::SingleInstance(const QString& installationFolder, const QString& runtimeFolder,
                               std::chrono::milliseconds answerLimit, std::chrono::milliseconds retryInterval,
                               QObject* parent)
    : QObject(parent)
    , m_lockFilePath(QDir(runtimeFolder).filePath(keyOf(installationFolder) + u".lock"_s))
    , m_serverName(QDir(runtimeFolder).filePath(keyOf(installationFolder) + u".socket"_s))
    , m_answerLimit(answerLimit)
    , m_retryInterval(retryInterval)
    , m_lock(m_lockFilePath) {
    // Only a dead holder makes a lock stale. By age (30 s by default) Qt would give the lock of a
    // running program away wherever the file system does not keep the advisory lock beneath it.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    stopListening();
    m_lock.unlock();
}

SingleInstance::Claim SingleInstance::claim() {
    if (m_lock.isLocked())
        return Claim::Primary;
    const auto unguarded = [this](const QString& why) {
        qCWarning(lcApp).noquote() << u"Kan niet vastleggen dat het programma in deze map draait (%1: %2); "
                                      u"het start zonder die controle."_s.arg(m_lockFilePath, why);
        return Claim::Unguarded;
    };
    if (const QString problem = problemWithFolder(QFileInfo(m_lockFilePath).path()); !problem.isEmpty())
        return unguarded(problem);
    // Only root could have put it in a folder of ours; whatever it says, it is not ours to obey.
    if (!absentOrOurs(m_lockFilePath)) {
        if (!QFile::remove(m_lockFilePath))
            return unguarded(u"de vergrendeling is van een andere gebruiker"_s);
        qCWarning(lcApp).noquote() << u"Een vergrendeling van een andere gebruiker is verwijderd: "_s
                                   << m_lockFilePath;
    }
    const QDeadlineTimer deadline(m_answerLimit);
    bool pending = false;
    for (;;) {
        if (m_lock.tryLock(0)) {
            listen();
            return Claim::Primary;
        }
        if (m_lock.error() != QLockFile::LockFailedError)
            return unguarded(u"de vergrendeling is niet te maken"_s);
        // The holder may have taken the lock a moment ago and not listen yet, or be ending and
        // about to let go of it: both settle by trying again.
        const Request request = askHolder(deadline);
        if (request == Request::Answered)
            return Claim::HandedOver;
        if (request == Request::Refused)
            return Claim::HeldByOther;
        pending = pending || request == Request::Pending;
        if (deadline.hasExpired())
            break;
        QThread::msleep(ulong(std::min<qint64>(m_retryInterval.count(), deadline.remainingTime())));
    }
    if (pending && m_role == Role::Desktop) {
        // Its event loop is held up, say by a connect to the host; the request waits in its socket.
        qCWarning(lcApp).noquote() << u"Het programma in deze map reageert nu niet; het venster komt "
                                      u"naar voren zodra het weer reageert."_s;
        return Claim::HandedOver;
    }
    qCWarning(lcApp).noquote() << u"Het programma draait al in deze map maar is niet te bereiken (%1); "
                                  u"er start geen tweede, want dan gaan berichten twee keer weg."_s.arg(
                                      m_serverName);
    return Claim::NoAnswer;
}

SingleInstance::Request SingleInstance::askHolder(const QDeadlineTimer& deadline) {
    // A socket another user made does not speak for the holder of our lock.
    if (!absentOrOurs(m_serverName))
        return Request::Unreachable;
    try {
        // No file, nobody listening or a full backlog: the caller tries again.
        sock::LocalStream socket = sock::LocalStream::connectTo(m_serverName, remaining(deadline));
        if (socket.peerUid() != ::geteuid())
            return Request::Unreachable;

        const QByteArrayView request(m_role == Role::Desktop ? kRequest : kIdentify);
        qsizetype sent = 0;
        while (sent < request.size()) {
            const qsizetype n = socket.sendSome(request.sliced(sent));
            // The holder does not read; what is queued waits for it.
            if (n < 0 && !socket.wait(true, remaining(deadline)))
                return Request::Pending;
            sent += std::max<qsizetype>(n, 0);
        }

        QByteArray answer;
        while (!answer.contains('\n')) {
            if (!socket.wait(false, remaining(deadline))) {
                // Still connected: the holder has not come round to it; the request waits in its
                // socket.
                return deadline.hasExpired() ? Request::Pending : Request::Unreachable;
            }
            char buffer[kLongestRequest];
            const qsizetype n = socket.receive(buffer, sizeof buffer);
            if (n == 0)
                return Request::Unreachable; // closed: the holder ended, or is ending
            if (n > 0)
                answer.append(buffer, n);
            if (answer.size() > kLongestRequest)
                return Request::Unreachable;
        }
        answer.truncate(answer.indexOf('\n') + 1);
        if (answer == kAnswer)
            return Request::Answered;
        if (answer == kDesktop || answer == kService) {
            m_holderRole = answer == kDesktop ? Role::Desktop : Role::Service;
            return Request::Refused;
        }
    } catch (const SocketError&) {
    }
    return Request::Unreachable;
}

void SingleInstance::listen() {
    // A socket file left by a holder that died (or put there by anyone) would make bind fail;
    // holding the lock in a folder of our own, we know that no one else is behind it.
    QFile::remove(m_serverName);
    try {
        m_listener = sock::LocalListener::listenAt(m_serverName, SOMAXCONN);
    } catch (const SocketError& error) {
        qCWarning(lcApp).noquote()
            << u"Een tweede start in deze map kan dit venster niet naar voren halen: "_s
            << QString(error.message()).replace(u"\r\n"_s, u" "_s);
        return;
    }
    m_listenerNotifier = new QSocketNotifier(m_listener.handle(), QSocketNotifier::Read, this);
    connect(m_listenerNotifier, &QSocketNotifier::activated, this, &SingleInstance::acceptRequests);
}

void SingleInstance::stopListening() {
    if (!m_listener.valid())
        return;
    delete m_listenerNotifier;
    m_listenerNotifier = nullptr;
    // Still holding the lock, we know the file at that path is the one we bound.
    QFile::remove(m_serverName);
    m_listener.close();
}

void SingleInstance::acceptRequests() {
    for (;;) {
        std::optional<sock::LocalStream> stream;
        try {
            stream = m_listener.accept();
        } catch (const SocketError&) {
            // Out of descriptors (10024): the connection stays in the backlog and the listener
            // readable, so the notifier would call again at once and spin the loop. It rests.
            m_listenerNotifier->setEnabled(false);
            QTimer::singleShot(kListenerRest, m_listenerNotifier,
                               [notifier = m_listenerNotifier] { notifier->setEnabled(true); });
            return;
        }
        if (!stream)
            return;
        // Beyond the cap, or another user's: let go at once, unanswered.
        if (m_peers >= kMaxPeers || stream->peerUid() != ::geteuid())
            continue;
        auto* peer = new Peer(std::move(*stream), this);
        ++m_peers;
        connect(peer, &QObject::destroyed, this, [this] { --m_peers; });
        connect(&peer->notifier(), &QSocketNotifier::activated, peer, [this, peer] { answer(peer); });
        // A peer that connects and says nothing is not kept for ever.
        QTimer::singleShot(std::min(m_answerLimit, kPeerLimit), peer, &Peer::drop);
        answer(peer);
    }
}

void SingleInstance::answer(Peer* peer) {
    char buffer[kLongestRequest];
    try {
        for (;;) {
            const qsizetype n = peer->stream().receive(buffer, sizeof buffer);
            if (n < 0)
                return; // the rest of the line comes with the next notification
            if (n == 0)
                return peer->drop(); // gone before its request was whole
            peer->received().append(buffer, n);
            if (peer->received().contains('\n') || peer->received().size() > kLongestRequest)
                break;
        }
    } catch (const SocketError&) {
        return peer->drop();
    }
    QByteArray request = peer->received();
    request.truncate(request.indexOf('\n') + 1);
    const char* reply = nullptr;
    if (request == kRequest && m_role == Role::Desktop) {
        qCInfo(lcApp) << "a second start in this folder handed over; showing the window";
        emit activationRequested();
        reply = kAnswer;
    } else if (request == kRequest || request == kIdentify) {
        reply = m_role == Role::Desktop ? kDesktop : kService;
    }
    // One short line on a fresh connection fits its buffer; a peer that went away misses it.
    if (reply) {
        try {
            std::ignore = peer->stream().sendSome(QByteArrayView(reply));
        } catch (const SocketError&) {
        }
    }
    peer->drop();
}
