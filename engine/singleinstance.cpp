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

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

int remainingMs(const QDeadlineTimer& deadline) {
    return int(std::max<qint64>(deadline.remainingTime(), 0));
}

// Longer than any request: a peer that sends more without a line end is not one of ours.
constexpr qsizetype kLongestRequest = 64;

// The socket's address; false where the path does not fit (the key keeps ours well inside).
bool addressOf(const QString& path, sockaddr_un& address) {
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

// Closes on every way out of the function that opened it.
class Descriptor {
public:
    explicit Descriptor(int handle)
        : m_handle(handle) {}
    ~Descriptor() {
        if (m_handle >= 0)
            ::close(m_handle);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_handle; }
    int release() { return std::exchange(m_handle, -1); }

private:
    int m_handle;
};

// Waits for events on one socket until the deadline; a signal neither shortens nor lengthens it.
bool waitFor(int handle, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{handle, events, 0};
        const int n = ::poll(&p, 1, remainingMs(deadline));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

/// One accepted connection: what it has said so far and the notifier that reports more.
class SingleInstance::Peer : public QObject {
public:
    Peer(int handle, QObject* parent)
        : QObject(parent)
        , m_handle(handle)
        , m_notifier(handle, QSocketNotifier::Read) {}
    ~Peer() override {
        m_notifier.setEnabled(false);
        ::close(m_handle);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int handle() const { return m_handle; }
    QSocketNotifier& notifier() { return m_notifier; }
    QByteArray& received() { return m_received; }

    /// Ends the connection once control is back in the event loop: the notifier that called may
    /// still be on the stack. Safe to call more than once.
    void drop() {
        m_notifier.setEnabled(false);
        deleteLater();
    }

private:
    int m_handle;
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
    return QDir::tempPath();
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
    std::ignore = QDir().mkpath(QFileInfo(m_lockFilePath).path());
    const QDeadlineTimer deadline(m_answerLimit);
    bool pending = false;
    for (;;) {
        if (m_lock.tryLock(0)) {
            listen();
            return Claim::Primary;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            qCWarning(lcApp).noquote() << u"Kan niet vastleggen dat het programma in deze map draait (%1); "
                                          u"het start zonder die controle."_s.arg(m_lockFilePath);
            return Claim::Unguarded;
        }
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
    sockaddr_un address;
    if (!addressOf(m_serverName, address))
        return Request::Unreachable;
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0)
        return Request::Unreachable;
    int connected = 0;
    do
        connected = ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (connected < 0 && errno == EINTR);
    // No file, nobody listening (ECONNREFUSED) or a full backlog (EAGAIN): the loop tries again.
    if (connected < 0 && errno != EINPROGRESS)
        return Request::Unreachable;
    if (connected < 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (!waitFor(socket.get(), POLLOUT, deadline) ||
            ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) < 0 || error != 0)
            return Request::Unreachable;
    }

    const QByteArrayView request(m_role == Role::Desktop ? kRequest : kIdentify);
    qsizetype sent = 0;
    while (sent < request.size()) {
        const ssize_t n =
            ::send(socket.get(), request.data() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The holder does not read; what is queued waits for it.
            if (!waitFor(socket.get(), POLLOUT, deadline))
                return Request::Pending;
        } else if (n < 0 && errno != EINTR) {
            return Request::Unreachable;
        }
    }

    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!waitFor(socket.get(), POLLIN, deadline)) {
            // Still connected: the holder has not come round to it; the request waits in its socket.
            return deadline.hasExpired() ? Request::Pending : Request::Unreachable;
        }
        char buffer[kLongestRequest];
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            answer.append(buffer, n);
            if (answer.size() > kLongestRequest)
                return Request::Unreachable;
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            // Closed: the holder ended, or is ending.
            return Request::Unreachable;
        }
    }
    answer.truncate(answer.indexOf('\n') + 1);
    if (answer == kAnswer)
        return Request::Answered;
    if (answer == kDesktop || answer == kService) {
        m_holderRole = answer == kDesktop ? Role::Desktop : Role::Service;
        return Request::Refused;
    }
    return Request::Unreachable;
}

void SingleInstance::listen() {
    const auto fail =
        [this](int error) {
            qCWarning(lcApp).noquote()
                << u"Een tweede start in deze map kan dit venster niet naar voren halen: "_s
                << systemErrorText(error);
        };
    sockaddr_un address;
    if (!addressOf(m_serverName, address))
        return fail(ENAMETOOLONG);
    Descriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (listener.get() < 0)
        return fail(errno);
    // A socket file left by a holder that died would make bind fail; holding the lock, we know
    // that no one else is behind it.
    ::unlink(address.sun_path);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0)
        return fail(errno);
    // Another user on this machine has no business showing our window. Narrowed before listen,
    // so that no one can connect while the file is still open to others.
    if (::chmod(address.sun_path, S_IRUSR | S_IWUSR) < 0 || ::listen(listener.get(), SOMAXCONN) < 0) {
        const int error = errno;
        ::unlink(address.sun_path);
        return fail(error);
    }
    m_listener = listener.release();
    m_listenerNotifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_listenerNotifier, &QSocketNotifier::activated, this, &SingleInstance::acceptRequests);
}

void SingleInstance::stopListening() {
    if (m_listener < 0)
        return;
    delete m_listenerNotifier;
    m_listenerNotifier = nullptr;
    // Still holding the lock, we know the file at that path is the one we bound.
    QFile::remove(m_serverName);
    ::close(m_listener);
    m_listener = -1;
}

void SingleInstance::acceptRequests() {
    for (;;) {
        const int handle = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (handle < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // EAGAIN: none left. Anything else (out of descriptors) is tried again at the next
            // notification rather than spinning here.
            return;
        }
        auto* peer = new Peer(handle, this);
        connect(&peer->notifier(), &QSocketNotifier::activated, peer, [this, peer] { answer(peer); });
        // A peer that connects and says nothing is not kept for ever.
        QTimer::singleShot(m_answerLimit, peer, &Peer::drop);
        answer(peer);
    }
}

void SingleInstance::answer(Peer* peer) {
    char buffer[kLongestRequest];
    for (;;) {
        const ssize_t n = ::recv(peer->handle(), buffer, sizeof buffer, 0);
        if (n > 0) {
            peer->received().append(buffer, n);
            if (peer->received().contains('\n') || peer->received().size() > kLongestRequest)
                break;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return; // the rest of the line comes with the next notification
        } else {
            return peer->drop(); // gone before its request was whole
        }
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
    if (reply)
        std::ignore = ::send(peer->handle(), reply, std::strlen(reply), MSG_NOSIGNAL);
    peer->drop();
}
