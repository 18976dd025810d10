#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "engine/singleinstance.h"
#include "tests/support/childprocess.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// Starts and claims of real programs on real lock files and local sockets. The other side is
// singleinstanceholder, a program that claims its folder the way RTCPIPCLIENT does.
class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        m_runtime.emplace();
        m_install.emplace();
    }
    void cleanup() {
        m_install.reset();
        m_runtime.reset();
    }

    void laterStartHandsOverToTheHolder_data() {
        QTest::addColumn<QString>("folder"); // how the later start names its folder
        QTest::addColumn<bool>("handsOver");
        QTest::newRow("same folder") << u"same"_s << true;
        QTest::newRow("same folder with a trailing slash") << u"slash"_s << true;
        QTest::newRow("same folder through a symlink") << u"symlink"_s << true;
        QTest::newRow("another folder") << u"other"_s << false;
    }
    void laterStartHandsOverToTheHolder() {
        QFETCH(QString, folder);
        QFETCH(bool, handsOver);
        QTemporaryDir other;
        QString laterFolder = m_install->path();
        if (folder == u"slash") {
            laterFolder += u'/';
        } else if (folder == u"symlink") {
            laterFolder = other.filePath(u"link"_s);
            QVERIFY(QFile::link(m_install->path(), laterFolder));
        } else if (folder == u"other") {
            laterFolder = other.path();
        }

        SingleInstance first(m_install->path(), m_runtime->path());
        QCOMPARE(first.claim(), SingleInstance::Claim::Primary);
        QSignalSpy activations(&first, &SingleInstance::activationRequested);
        ChildProcess later;
        start(later, laterFolder);
        if (handsOver) {
            QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 15000);
            QCOMPARE(later.output(), "handed over\n");
            QCOMPARE(later.exitCode(), 0);
            QCOMPARE(activations.count(), 1);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(later.output(), "primary\n", 15000);
            QCOMPARE(activations.count(), 0);
        }
        // The installation folder also holds the outbox and the settings: nothing of this is there.
        QCOMPARE(QDir(m_install->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    // The headless service and the desktop program keep each other out of a folder, and a service
    // keeps out a second service: the later start is told who holds it, and nothing is handed
    // over, since a service has no window to bring forward.
    void serviceAndDesktopKeepEachOtherOut_data() {
        QTest::addColumn<bool>("holderIsService");
        QTest::addColumn<bool>("laterIsService");
        QTest::newRow("desktop, then service") << false << true;
        QTest::newRow("service, then desktop") << true << false;
        QTest::newRow("service, then service") << true << true;
    }
    void serviceAndDesktopKeepEachOtherOut() {
        QFETCH(bool, holderIsService);
        QFETCH(bool, laterIsService);
        SingleInstance holder(m_install->path(), m_runtime->path());
        if (holderIsService)
            holder.setRole(SingleInstance::Role::Service);
        QCOMPARE(holder.claim(), SingleInstance::Claim::Primary);
        QSignalSpy activations(&holder, &SingleInstance::activationRequested);
        ChildProcess later;
        start(later, m_install->path(), laterIsService);
        QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 15000);
        QCOMPARE(later.output(),
                 holderIsService ? QByteArray("held by service\n") : QByteArray("held by desktop\n"));
        QCOMPARE(later.exitCode(), 1);
        QCOMPARE(activations.count(), 0);
    }

    // A holder killed outright leaves its lock file and its socket; the next start takes both over.
    void lockOfAKilledHolderDoesNotBlock() {
        ChildProcess holder;
        start(holder, m_install->path());
        QTRY_COMPARE_WITH_TIMEOUT(holder.output(), "primary\n", 15000);
        holder.kill();
        QVERIFY(holder.waitForFinished(15000));

        SingleInstance next(m_install->path(), m_runtime->path(), 5s);
        QVERIFY(QFile::exists(next.lockFilePath()));
        QVERIFY(QFile::exists(next.serverName()));
        QCOMPARE(next.claim(), SingleInstance::Claim::Primary);

        QSignalSpy activations(&next, &SingleInstance::activationRequested);
        ChildProcess later;
        start(later, m_install->path());
        QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 15000);
        QCOMPARE(later.output(), "handed over\n");
        QCOMPARE(activations.count(), 1);
    }

    // Only a dead holder makes a lock stale, never the age of its file.
    void lockOfALiveHolderHoldsHoweverOld() {
        ChildProcess holder;
        start(holder, m_install->path());
        QTRY_COMPARE_WITH_TIMEOUT(holder.output(), "primary\n", 15000);
        SingleInstance later(m_install->path(), m_runtime->path());
        QFile lock(later.lockFilePath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(
            lock.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        lock.close();

        QCOMPARE(later.claim(), SingleInstance::Claim::HandedOver);
        QTRY_COMPARE_WITH_TIMEOUT(holder.output(), "primary\nactivated\n", 15000);
        QCOMPARE(holder.state(), QProcess::Running);
    }

    // Neither can see the other listening when both start: one runs, the other hands over to it.
    void twoStartsAtOnceGiveOneProgram() {
        for (int run = 0; run < 5; ++run) {
            const QString folder = m_install->filePath(QString::number(run));
            QVERIFY(QDir().mkpath(folder));
            ChildProcess a;
            ChildProcess b;
            start(a, folder);
            start(b, folder);
            QTRY_VERIFY_WITH_TIMEOUT(a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning,
                                     15000);
            ChildProcess& ended = a.state() == QProcess::NotRunning ? a : b;
            ChildProcess& running = &ended == &a ? b : a;
            QCOMPARE(ended.output(), "handed over\n");
            QCOMPARE(ended.exitCode(), 0);
            QTRY_COMPARE_WITH_TIMEOUT(running.output(), "primary\nactivated\n", 15000);
            QCOMPARE(running.state(), QProcess::Running);
        }
    }

    // Its event loop is held up (here: by the later start itself, on the same thread). The later
    // start does not wait for ever, and the request is answered once the holder gets round to it.
    void busyHolderGetsTheRequestLater() {
        SingleInstance first(m_install->path(), m_runtime->path());
        QCOMPARE(first.claim(), SingleInstance::Claim::Primary);
        QSignalSpy activations(&first, &SingleInstance::activationRequested);
        SingleInstance later(m_install->path(), m_runtime->path(), 300ms, 20ms);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"reageert nu niet"_s));
        QCOMPARE(later.claim(), SingleInstance::Claim::HandedOver);
        QTRY_COMPARE(activations.count(), 1);
    }

    // A live program holds the lock but nothing listens: the later start gives up after its limit
    // and does not run, since a second sender on one outbox is the fault to prevent.
    void holderOutOfReachKeepsTheLaterStartOut() {
        SingleInstance later(m_install->path(), m_runtime->path(), 300ms, 20ms);
        QLockFile held(later.lockFilePath());
        QVERIFY(held.tryLock(0));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"niet te bereiken"_s));
        QCOMPARE(later.claim(), SingleInstance::Claim::NoAnswer);
    }

    // Ended the normal way, a holder leaves nothing behind and the next start runs at once.
    void endedHolderLeavesNothing() {
        auto first = std::make_unique<SingleInstance>(m_install->path(), m_runtime->path());
        QCOMPARE(first->claim(), SingleInstance::Claim::Primary);
        first.reset();
        QCOMPARE(QDir(m_runtime->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList());
        SingleInstance next(m_install->path(), m_runtime->path(), 0ms);
        QCOMPARE(next.claim(), SingleInstance::Claim::Primary);
    }

    // Another user on this machine has no business showing our window.
    void socketIsForTheUserOnly() {
        SingleInstance holder(m_install->path(), m_runtime->path());
        QCOMPARE(holder.claim(), SingleInstance::Claim::Primary);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(holder.serverName()).constData(), &status), 0);
        QVERIFY(S_ISSOCK(status.st_mode));
        QCOMPARE(status.st_mode & 0777, 0600u);
    }

    // A peer that connects and says nothing is let go after the answer limit, unanswered.
    void silentPeerIsDroppedAfterTheLimit() {
        SingleInstance holder(m_install->path(), m_runtime->path(), 200ms);
        QCOMPARE(holder.claim(), SingleInstance::Claim::Primary);
        const int peer = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        QVERIFY(peer >= 0);
        const auto closePeer = qScopeGuard([peer] { ::close(peer); });
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(holder.serverName());
        QVERIFY(path.size() < qsizetype(sizeof address.sun_path));
        std::copy(path.begin(), path.end(), address.sun_path);
        QCOMPARE(::connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        char byte = 0;
        // End of stream with no answer before it: recv gives 0 once the holder has closed.
        QTRY_COMPARE_WITH_TIMEOUT(::recv(peer, &byte, 1, 0), ssize_t(0), 10000);
    }

    // Another user's lock and socket at our names, left by a real holder that runs as that
    // user: neither keeps this program out nor answers for the folder; this one holds it.
    void lockAndSocketOfAnotherUserAreNotObeyed() {
        if (::geteuid() != 0)
            QSKIP("planting another user's files needs root");
        // The other user must reach the installation folder to name it as we do.
        QVERIFY(QFile::setPermissions(m_install->path(), QFile::Permissions(0x7755)));
        QTemporaryDir theirs;
        QVERIFY(::chown(QFile::encodeName(theirs.path()).constData(), 65534, 65534) == 0);
        ChildProcess holder;
        holder.start(u"setpriv"_s, {u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s,
                                    QStringLiteral(HOLDER_EXECUTABLE), m_install->path(), theirs.path()});
        QVERIFY(holder.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(holder.output(), QByteArray("primary\n"), 15000);

        SingleInstance ours(m_install->path(), m_runtime->path());
        const SingleInstance theirNames(m_install->path(), theirs.path());
        QCOMPARE(::rename(QFile::encodeName(theirNames.lockFilePath()).constData(),
                          QFile::encodeName(ours.lockFilePath()).constData()),
                 0);
        QCOMPARE(::rename(QFile::encodeName(theirNames.serverName()).constData(),
                          QFile::encodeName(ours.serverName()).constData()),
                 0);
        struct stat planted {};
        QCOMPARE(::lstat(QFile::encodeName(ours.serverName()).constData(), &planted), 0);
        QCOMPARE(planted.st_uid, 65534u);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"andere gebruiker is verwijderd"_s));
        QCOMPARE(ours.claim(), SingleInstance::Claim::Primary);
        struct stat bound {};
        QCOMPARE(::lstat(QFile::encodeName(ours.serverName()).constData(), &bound), 0);
        QCOMPARE(bound.st_uid, ::geteuid());
        // A later start of ours reaches this holder, not theirs.
        ChildProcess later;
        start(later, m_install->path());
        QVERIFY(later.waitForFinished(15000));
        QCOMPARE(later.output(), QByteArray("handed over\n"));
        QCOMPARE(holder.output(), QByteArray("primary\n"));
    }

    // Without XDG_RUNTIME_DIR the guard lives in a folder of the user's own, never under a name
    // anyone can compute in the shared temporary folder; a folder that is not the user's alone
    // is refused.
    void withoutARuntimeFolderOnlyAFolderOfTheUsersOwn() {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray cache = qgetenv("XDG_CACHE_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", runtime);
            qputenv("XDG_CACHE_HOME", cache);
        });
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_runtime->filePath(u"cache"_s)));
        const QString folder = SingleInstance::defaultRuntimeFolder();
        QCOMPARE(folder, m_runtime->filePath(u"cache/rtcpipclient"_s));
        {
            SingleInstance instance(m_install->path(), folder);
            QCOMPARE(instance.claim(), SingleInstance::Claim::Primary);
            QCOMPARE(QFileInfo(folder).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
        }
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
        SingleInstance shared(m_install->path(), folder);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"anderen kunnen in de map schrijven"_s));
        QCOMPARE(shared.claim(), SingleInstance::Claim::Unguarded);
        if (::geteuid() == 0) {
            QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7700)));
            QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
            SingleInstance foreign(m_install->path(), folder);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"van een andere gebruiker"_s));
            QCOMPARE(foreign.claim(), SingleInstance::Claim::Unguarded);
        }
    }

    void noLockAtAllRunsUnguarded() {
        QFile blocker(m_runtime->filePath(u"file"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SingleInstance instance(m_install->path(), blocker.fileName() + u"/runtime"_s);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"zonder die controle"_s));
        QCOMPARE(instance.claim(), SingleInstance::Claim::Unguarded);
    }

private:
    void start(ChildProcess& process, const QString& installationFolder, bool asService = false) {
        QStringList args{installationFolder, m_runtime->path()};
        if (asService)
            args.append(u"service"_s);
        process.start(QStringLiteral(HOLDER_EXECUTABLE), args);
        QVERIFY(process.waitForStarted());
    }

    std::optional<QTemporaryDir> m_runtime;
    std::optional<QTemporaryDir> m_install;
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
