#include "engine/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <tuple>

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

} // namespace

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
    if (m_server)
        m_server->close();
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
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(remainingMs(deadline)))
        return Request::Unreachable;
    socket.write(m_role == Role::Desktop ? kRequest : kIdentify);
    if (!socket.waitForBytesWritten(remainingMs(deadline)))
        return socket.state() == QLocalSocket::ConnectedState ? Request::Pending : Request::Unreachable;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(remainingMs(deadline))) {
            // Still connected: the holder has not come round to it. Closed: the holder ended.
            return socket.state() == QLocalSocket::ConnectedState && deadline.hasExpired()
                       ? Request::Pending
                       : Request::Unreachable;
        }
    }
    const QByteArray answer = socket.readLine();
    if (answer == kAnswer)
        return Request::Answered;
    if (answer == kDesktop || answer == kService) {
        m_holderRole = answer == kDesktop ? Role::Desktop : Role::Service;
        return Request::Refused;
    }
    return Request::Unreachable;
}

void SingleInstance::listen() {
    m_server = new QLocalServer(this);
    // Another user on this machine has no business showing our window.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a holder that died would make listen fail; holding the lock, we know
    // that no one else is behind it.
    QLocalServer::removeServer(m_serverName);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptRequests);
    if (!m_server->listen(m_serverName)) {
        qCWarning(lcApp).noquote()
            << u"Een tweede start in deze map kan dit venster niet naar voren halen: "_s
            << m_server->errorString();
    }
}

void SingleInstance::acceptRequests() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        // A peer that connects and says nothing is not kept for ever.
        QTimer::singleShot(m_answerLimit, socket, &QLocalSocket::abort);
        answer(socket);
    }
}

void SingleInstance::answer(QLocalSocket* socket) {
    if (!socket->canReadLine())
        return;
    const QByteArray request = socket->readLine();
    if (request == kRequest && m_role == Role::Desktop) {
        qCInfo(lcApp) << "a second start in this folder handed over; showing the window";
        emit activationRequested();
        socket->write(kAnswer);
    } else if (request == kRequest || request == kIdentify) {
        socket->write(m_role == Role::Desktop ? kDesktop : kService);
    }
    socket->disconnectFromServer();
}
