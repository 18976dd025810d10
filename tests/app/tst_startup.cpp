#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "childprocess.h"
#include "loopbackpeer.h"
#include "settingsfiles.h"
#include "syndropper.h"
#include "testfiles.h"

#include <stdio.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// True while a socket of this machine waits for the answer to its SYN to the given local port.
bool synSentTo(quint16 port) {
    const QByteArray remote = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QList<QByteArray> lines = readFile(u"/proc/net/tcp"_s).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[2].endsWith(remote) && fields[3] == "02")
            return true;
    }
    return false;
}

// A copy of the program in a folder of its own, set to send its outbox to a host on loopback.
struct Installation {
    QTemporaryDir folder;
    QTemporaryDir outbox;

    QString program() const { return folder.filePath(u"RTCPIPCLIENT"_s); }
    QString settings() const { return folder.filePath(u"RTCPIPCLIENT.xml"_s); }

    bool create(quint16 hostPort) const {
        const QByteArray xml = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                               "<Configuration>\r\n"
                               "  <Hoofdscherm>\r\n"
                               "    <edtPoort_Text>" +
                               QByteArray::number(hostPort) +
                               "</edtPoort_Text>\r\n"
                               "    <AutoBestanden_Checked>TRUE</AutoBestanden_Checked>\r\n"
                               "    <AutoLocatie_Text>" +
                               QFile::encodeName(outbox.path()) +
                               "/</AutoLocatie_Text>\r\n"
                               "  </Hoofdscherm>\r\n"
                               "</Configuration>\r\n";
        return QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), program()) && writeFile(settings(), xml);
    }
    bool drop(const QByteArray& order) const {
        return writeFile(outbox.filePath(QString::fromLatin1(order) + u".xml"_s),
                         "<order>" + order + "</order>");
    }
};

} // namespace

// The real program, started the way an operator or a service manager starts it.
class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void init() { m_runtime.emplace(); }
    void cleanup() { m_runtime.reset(); }

    void foldersAppearBesideTheExecutableAndSigtermEndsIt() {
        QTemporaryDir install;
        QTemporaryDir elsewhere;
        const QString exe = install.filePath(u"RTCPIPCLIENT"_s);
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), exe));

        QProcess client;
        client.setProgram(exe);
        client.setWorkingDirectory(elsewhere.path());
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start();
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(install.filePath(u"RVxMMCLIENT/XML"_s)).isDir(), 15000);
        QVERIFY(QFileInfo(install.filePath(u"RVxMMCLIENT/LOGS"_s)).isDir());
        QVERIFY(!QFileInfo::exists(elsewhere.filePath(u"RVxMMCLIENT"_s)));

        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        // A first start ended by SIGTERM leaves the settings file of a first start, to the byte.
        QCOMPARE(readFile(install.filePath(u"RTCPIPCLIENT.xml"_s)),
                 settingsfiles::firstStart(QFile::encodeName(install.path()) + '/'));
        QVERIFY(readFile(install.filePath(u"RTCPIPCLIENT.extra"_s))
                    .contains("<InspecteurAantal_Text>1000</InspecteurAantal_Text>"));
    }

    // A settings file nested 30,000 levels deep: the program starts, keeps the file aside and
    // ends with the defaults written.
    void tooDeepASettingsFileIsKeptAside() {
        QTemporaryDir install;
        const QString exe = install.filePath(u"RTCPIPCLIENT"_s);
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), exe));
        const QByteArray deep = settingsfiles::nested(30000);
        QVERIFY(writeFile(install.filePath(u"RTCPIPCLIENT.xml"_s), deep));
        QProcess client;
        client.setProgram(exe);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start();
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(install.filePath(u"RVxMMCLIENT/XML"_s)).isDir(), 15000);
        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        QCOMPARE(readFile(install.filePath(u"RTCPIPCLIENT.xml.bad"_s)), deep);
        QCOMPARE(readFile(install.filePath(u"RTCPIPCLIENT.xml"_s)),
                 settingsfiles::firstStart(QFile::encodeName(install.path()) + '/'));
    }

    // An outbox file waits and the host swallows every SYN: the program sits in a connect that
    // would last 21 s. SIGTERM ends it within a second, as a close does: settings written, the
    // incoming log flushed.
    void sigtermDuringAConnectEndsAtOnce() {
        SynDropper host;
        if (!host.ready())
            QSKIP("no listener with a full queue on this machine");
        QTemporaryDir install;
        const QString exe = install.filePath(u"RTCPIPCLIENT"_s);
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), exe));
        const QString outbox = install.filePath(u"outbox"_s);
        QVERIFY(QDir().mkpath(outbox));
        QVERIFY(writeFile(outbox + u"/rit.xml"_s, "<rit/>"));
        const QString settings = install.filePath(u"RTCPIPCLIENT.xml"_s);
        QVERIFY(writeFile(settings, "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                                    "<Configuration>\r\n  <Hoofdscherm>\r\n"
                                    "    <edtPoort_Text>" +
                                        QByteArray::number(host.port()) +
                                        "</edtPoort_Text>\r\n"
                                        "    <AutoBestanden_Checked>TRUE</AutoBestanden_Checked>\r\n"
                                        "    <AutoLocatie_Text>" +
                                        outbox.toUtf8() +
                                        "</AutoLocatie_Text>\r\n"
                                        "    <Logbewaren_Checked>TRUE</Logbewaren_Checked>\r\n"
                                        "  </Hoofdscherm>\r\n</Configuration>\r\n"));

        QProcess client;
        client.setProgram(exe);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start();
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(synSentTo(host.port()), 15000);

        QElapsedTimer ending;
        ending.start();
        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        // Written at the end: the keys the prepared file lacked are there now.
        QVERIFY(
            readFile(settings).contains("<XMLBestandenBewaren_Checked>TRUE</XMLBestandenBewaren_Checked>"));
        const QDir logs(install.filePath(u"RVxMMCLIENT/LOGS"_s));
        const QStringList flushed = logs.entryList({u"MM_IN_*"_s}, QDir::Files);
        QCOMPARE(flushed.size(), 1);
        const QByteArray incoming = readFile(logs.filePath(flushed[0]));
        QVERIFY2(incoming.contains("Socket Error # 10004\r\nInterrupted system call.\r\n"),
                 incoming.constData());
        QVERIFY(QFile::exists(outbox + u"/rit.xml"_s));
    }
    // The operator starts it again (a double click on the menu entry is enough): the second start
    // hands over and ends, and the first keeps its one link, so each order reaches the host once.
    void secondStartHandsOverAndTheFirstKeepsItsLink_data() {
        QTest::addColumn<bool>("upgradedMeanwhile");
        QTest::newRow("same program") << false;
        // The launcher renames a new copy over the running one after a package upgrade.
        QTest::newRow("program replaced while running") << true;
    }
    void secondStartHandsOverAndTheFirstKeepsItsLink() {
        QFETCH(bool, upgradedMeanwhile);
        LoopbackPeer host;
        Installation installation;
        QVERIFY(installation.create(host.port()));
        QVERIFY(installation.drop("one"));
        ChildProcess first;
        launch(first, installation.program());
        QTRY_VERIFY_WITH_TIMEOUT(host.received().contains("<order>one</order>"), 15000);
        if (upgradedMeanwhile) {
            const QString part = installation.folder.filePath(u".RTCPIPCLIENT.new"_s);
            QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), part));
            QVERIFY(std::rename(QFile::encodeName(part).constData(),
                                QFile::encodeName(installation.program()).constData()) == 0);
        }
        const QByteArray settings = readFile(installation.settings());

        ChildProcess second;
        launch(second, installation.program());
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 15000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(second.errors().isEmpty(), second.errors().constData());
        // The first was asked for its window, once.
        QTRY_COMPARE_WITH_TIMEOUT(first.errors().count("a second start in this folder handed over"), 1,
                                  15000);
        QCOMPARE(readFile(installation.settings()), settings);

        QVERIFY(installation.drop("two"));
        QTRY_VERIFY_WITH_TIMEOUT(host.received().contains("<order>two</order>"), 15000);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(host.connectionCount(), 1);
        QVERIFY(host.clientOpen());
        QCOMPARE(host.received().count("<order>one</order>"), 1);
        QCOMPARE(host.received().count("<order>two</order>"), 1);
        stop(first);
    }

    // The holder died without letting go of its lock; the next start runs as if there was none.
    void programKilledOutrightDoesNotBlockTheNextStart() {
        LoopbackPeer host;
        Installation installation;
        QVERIFY(installation.create(host.port()));
        QVERIFY(installation.drop("one"));
        ChildProcess crashed;
        launch(crashed, installation.program());
        QTRY_VERIFY_WITH_TIMEOUT(host.received().contains("<order>one</order>"), 15000);
        crashed.kill();
        QVERIFY(crashed.waitForFinished(15000));
        QCOMPARE(QDir(m_runtime->path()).entryList({u"*.lock"_s}, QDir::Files | QDir::Hidden).size(), 1);

        QVERIFY(installation.drop("two"));
        ChildProcess next;
        launch(next, installation.program());
        QTRY_VERIFY_WITH_TIMEOUT(host.received().contains("<order>two</order>"), 15000);
        QCOMPARE(next.state(), QProcess::Running);
        stop(next);
    }

    void programsInTwoFoldersBothRun() {
        LoopbackPeer hostA;
        LoopbackPeer hostB;
        Installation a;
        Installation b;
        QVERIFY(a.create(hostA.port()));
        QVERIFY(b.create(hostB.port()));
        QVERIFY(a.drop("a"));
        QVERIFY(b.drop("b"));
        ChildProcess programA;
        ChildProcess programB;
        launch(programA, a.program());
        launch(programB, b.program());
        QTRY_VERIFY_WITH_TIMEOUT(hostA.received().contains("<order>a</order>"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(hostB.received().contains("<order>b</order>"), 15000);
        QCOMPARE(programA.state(), QProcess::Running);
        QCOMPARE(programB.state(), QProcess::Running);
        stop(programA);
        stop(programB);
    }

private:
    // In a runtime folder of the test's own, so that no lock of another run is met.
    void launch(ChildProcess& client, const QString& program) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime->path());
        client.setProcessEnvironment(env);
        client.start(program, {});
        QVERIFY(client.waitForStarted());
    }

    static void stop(ChildProcess& client) {
        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
    }

    std::optional<QTemporaryDir> m_runtime;
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
