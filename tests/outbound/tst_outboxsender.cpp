#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "hostframe.h"
#include "leasecapability.h"
#include "logs/trafficlogs.h"
#include "outbound/ackscanner.h"
#include "outbound/framing.h"
#include "outbound/manualsender.h"
#include "outbound/outboxsender.h"
#include "slowwriter.h"
#include "stalledhost.h"
#include "testclock.h"
#include "testfiles.h"
#include "transport/tcpclient.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// A dispatch host on loopback that keeps every byte it receives.
class Peer : public QObject {
public:
    Peer() {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                m_socket = s;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { received += s->readAll(); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    bool connected() const { return m_socket != nullptr; }
    void send(const QByteArray& bytes) {
        if (m_socket)
            m_socket->write(bytes);
    }
    void closeConnection() {
        if (m_socket)
            m_socket->abort();
        m_socket = nullptr;
    }
    QByteArray received;

private:
    QTcpServer m_server;
    QTcpSocket* m_socket = nullptr;
};

} // namespace

class TestOutboxSender : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_logsDir.emplace();
        m_peer = std::make_unique<Peer>();
        m_logs = std::make_unique<TrafficLogs>(m_logsDir->path() + u'/');
        m_client = std::make_unique<TcpClient>();
        m_client->setHost(u"127.0.0.1"_s);
        m_client->setPort(m_peer->port());
        m_ready = false;
        m_onOffCalls = 0;
        connect(m_client.get(), &TcpClient::OnConnected, this, [this] { m_ready = true; });
        OutboxSender::Link link{[this] { return m_ready; },
                                [this](bool r) { m_ready = r; },
                                [this] {
                                    ++m_onOffCalls;
                                    if (m_client->Connected())
                                        m_client->Disconnect();
                                    else
                                        m_client->Connect();
                                },
                                [] {},
                                {}};
        m_sender = std::make_unique<OutboxSender>(*m_client, *m_logs, link);
        m_settings = OutboxSettings{true,  m_dir->path(),    framing::Options{true, true, true, false},
                                    false, qint64(64) << 20, std::chrono::seconds(21)};
    }
    void cleanup() {
        m_sender.reset();
        m_client.reset();
        m_logs.reset();
        m_peer.reset();
        m_dir.reset();
        m_logsDir.reset();
    }

    void offLooksAtNothing() {
        QVERIFY(writeFile(m_dir->filePath(u"a.xml"_s), "<a/>"));
        m_settings.enabled = false;
        m_sender->tick(m_settings);
        QCOMPARE(m_logs->incoming().lineCount(), 0);
        m_settings.enabled = true;
        m_settings.folder.clear();
        m_sender->tick(m_settings);
        QCOMPARE(m_logs->incoming().lineCount(), 0);
        QCOMPARE(m_onOffCalls, 0);
    }

    void linkDownReconnectsFirstAndSendsLater() {
        QVERIFY(writeFile(m_dir->filePath(u"a.xml"_s), "<a/>"));
        m_sender->tick(m_settings);
        QCOMPARE(m_onOffCalls, 1);
        QCOMPARE(m_logs->incoming().lines(),
                 (QStringList{u"Bestanden gevonden"_s, u"Verbinding opbouwen"_s}));
        QVERIFY(QFile::exists(m_dir->filePath(u"a.xml"_s)));
        QVERIFY(m_ready);
        m_sender->tick(m_settings);
        QVERIFY(!QFile::exists(m_dir->filePath(u"a.xml"_s)));
        QTRY_COMPARE(m_peer->received, QByteArray("\x01"
                                                  "6\x02<a/>\r\n\x04"));
        const QStringList sent{u"\x01"
                               "6\x02<a/>"_s,
                               u"\x04"_s};
        QCOMPARE(m_logs->outgoing().lines(), sent);
    }

    void oneFilePerPassOfTheFlag() {
        m_client->Connect();
        for (const char* name : {"a.xml", "b.XML", "c.xml"})
            QVERIFY(writeFile(m_dir->filePath(QString::fromLatin1(name)), QByteArray("<") + name + "/>"));
        QVERIFY(writeFile(m_dir->filePath(u"skip.txt"_s), "not ours"));
        m_sender->tick(m_settings);
        QCOMPARE(m_logs->incoming().lines().count(u"Bestanden gevonden"_s), 3);
        QCOMPARE(m_logs->incoming().lines().count(u"Pakket verzenden"_s), 1);
        QCOMPARE(QDir(m_dir->path()).entryList({u"*.xml"_s}, QDir::Files).size(), 2);
        QVERIFY(!m_ready);

        // The second file's frame holds that file alone.
        m_ready = true;
        m_sender->tick(m_settings);
        QCOMPARE(QDir(m_dir->path()).entryList({u"*.xml"_s}, QDir::Files).size(), 1);
        QTRY_COMPARE(m_peer->received.count('\x01'), 2);
        const QList<QByteArray> frames = m_peer->received.split('\x04');
        QCOMPARE(frames.size(), 3);
        QCOMPARE(frames[1].count("/>"), 1);
        QVERIFY(QFile::exists(m_dir->filePath(u"skip.txt"_s)));
    }

    void foldersAndLinksArePassedOver() {
        m_client->Connect();
        m_ready = true;
        QVERIFY(QDir(m_dir->path()).mkdir(u"sub.xml"_s));
        QVERIFY(writeFile(m_logsDir->filePath(u"elsewhere.xml"_s), "<secret/>"));
        QVERIFY(QFile::link(m_logsDir->filePath(u"elsewhere.xml"_s), m_dir->filePath(u"link.xml"_s)));
        m_sender->tick(m_settings);
        QCOMPARE(m_logs->incoming().lines(), (QStringList{u"Bestanden gevonden"_s, u"Bestanden gevonden"_s}));
        QVERIFY(m_ready);
        QVERIFY(QFile::exists(m_logsDir->filePath(u"elsewhere.xml"_s)));
    }

    void readOnlyFileIsSentAndStays() {
        m_client->Connect();
        m_ready = true;
        const QString path = m_dir->filePath(u"ro.xml"_s);
        QVERIFY(writeFile(path, "<ro/>"));
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        m_sender->tick(m_settings);
        QTRY_VERIFY(m_peer->received.contains("<ro/>"));
        QVERIFY(QFile::exists(path));
    }

    void charactersOutsideTheCodePage() {
        m_client->Connect();
        m_ready = true;
        QVERIFY(writeFile(m_dir->filePath(u"u.xml"_s), "\xEF\xBB\xBF<\xD0\x96\xE2\x82\xAC>")); // UTF-8: <Ж€>
        m_sender->tick(m_settings);
        // Ж has no byte and becomes "?"; the length counts it as one character.
        QTRY_COMPARE(m_peer->received.left(4), QByteArray("\x01"
                                                          "6\x02<"));
        QCOMPARE(m_logs->outgoing().lines().value(0), u"\x01"
                                                      "6\x02<?€>"_s);
    }

    void fileStillBeingWrittenWaits() {
        m_client->Connect();
        m_ready = true;
        const QString path = m_dir->filePath(u"slow.xml"_s);
        SlowWriter writer(path);
        QVERIFY(writer.started());
        QVERIFY_THROWS_EXCEPTION(AppError, m_sender->tick(m_settings));
        QVERIFY(QFile::exists(path));
        QCOMPARE(m_peer->received, QByteArray());
        QVERIFY(writer.finish());
        m_ready = true;
        m_sender->tick(m_settings);
        QTRY_VERIFY(m_peer->received.contains("<MSG></MSG>"));
        QVERIFY(!QFile::exists(path));
    }

    // The outbox warning names the oldest file's own trouble before the link's, and comes only
    // after the set time.
    void healthSaysWhyAFileWaits() {
        const QDateTime later = QDateTime::currentDateTime().addSecs(120);
        const auto health = [&](bool linkUp) {
            return m_sender->health(m_settings, later, std::chrono::seconds(60), linkUp);
        };
        QCOMPARE(health(true), OutboxHealth{});
        const QString slow = m_dir->filePath(u"slow.xml"_s);
        {
            SlowWriter writer(slow);
            QVERIFY(writer.started());
            QCOMPARE(health(true).waiting, 1);
            QCOMPARE(health(true).oldestFile, slow);
            QCOMPARE(health(true).reason, OutboxHealth::Reason::BeingWritten);
            QVERIFY(
                !m_sender->health(m_settings, QDateTime::currentDateTime(), std::chrono::seconds(60), true)
                     .warning);
            QVERIFY(writer.finish());
        }
        QCOMPARE(health(false).reason, OutboxHealth::Reason::LinkDown);
        QCOMPARE(health(true).reason, OutboxHealth::Reason::Unknown);
        QVERIFY(QFile::remove(slow));

        m_client->Connect();
        m_ready = true;
        const QString readOnly = m_dir->filePath(u"ro.xml"_s);
        QVERIFY(writeFile(readOnly, "<ro/>"));
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
        m_sender->tick(m_settings);
        QTRY_VERIFY(m_peer->received.contains("<ro/>"));
        QCOMPARE(health(true).reason, OutboxHealth::Reason::NotDeletable);
        QCOMPARE(m_logs->incoming().lines().mid(1),
                 (QStringList{u"Pakket verzenden"_s, u"Origineel verwijderen"_s}));
    }

    // With confirmation on the file waits for the host's EOT, and nothing else goes meanwhile.
    void confirmationDeletesOnlyOnAcknowledgement() {
        m_sender->setConfirmation({true, std::chrono::seconds(30), false});
        m_client->Connect();
        m_ready = true;
        QVERIFY(writeFile(m_dir->filePath(u"a.xml"_s), "<a/>"));
        QVERIFY(writeFile(m_dir->filePath(u"b.xml"_s), "<b/>"));
        m_sender->tick(m_settings);
        const QString first = *m_sender->awaitingConfirmation();
        m_ready = true;
        m_sender->tick(m_settings);
        QCOMPARE(m_logs->incoming().lines().count(u"Pakket verzenden"_s), 1);
        QVERIFY(QFile::exists(first));
        m_sender->acknowledged();
        QVERIFY(!QFile::exists(first));
        QVERIFY(!m_sender->awaitingConfirmation());
        const QStringList lines = m_logs->incoming().lines();
        QCOMPARE(lines.mid(lines.size() - 2),
                 (QStringList{u"Bevestiging ontvangen"_s, u"Origineel verwijderen"_s}));
        QCOMPARE(lines.count(u"Wacht op bevestiging"_s), 1);
    }

    void failedWriteKeepsTheFile() {
        // The peer runs on this thread, so it reads nothing while the write blocks: the send
        // makes no progress and fails after its limit, inside the guarded block.
        TcpClient client(nullptr, std::chrono::seconds(5), std::chrono::milliseconds(300));
        client.setHost(u"127.0.0.1"_s);
        client.setPort(m_peer->port());
        client.Connect();
        bool ready = true;
        OutboxSender sender(client, *m_logs,
                            {[&] { return ready; }, [&](bool r) { ready = r; }, [] {}, [] {}, {}});
        const QString path = m_dir->filePath(u"big.xml"_s);
        QVERIFY(writeFile(path, QByteArray(32 * 1024 * 1024, 'x')));
        sender.tick(m_settings);
        QVERIFY(QFile::exists(path));
        const QStringList lines = m_logs->incoming().lines();
        QCOMPARE(lines.mid(0, 2), (QStringList{u"Bestanden gevonden"_s, u"Pakket verzenden"_s}));
        QCOMPARE(lines.mid(2), (QStringList{u"Socket Error # 10060"_s, u"Connection timed out."_s}));
        QCOMPARE(m_logs->outgoing().lineCount(), 0);
    }

    void manualSendTypedAndFile() {
        ManualSender manual(*m_client, *m_logs);
        QVERIFY(!manual.sendTyped(u"AB"_s, {true, true, true, false}, false)); // link down
        m_client->Connect();
        QVERIFY(!manual.sendTyped(QString(), {true, true, true, false}, false));
        QVERIFY(manual.sendTyped(u"AB"_s, {true, true, true, false}, true));
        QCOMPARE(m_logs->outgoing().lines(), QStringList{u"01 32 02 41 42 04 "_s});
        const QString path = m_dir->filePath(u"pick.txt"_s);
        QVERIFY(writeFile(path, "A\nB"));
        manual.sendFile(path, {true, true, true, false}, false);
        QTRY_COMPARE(m_peer->received, QByteArray("\x01"
                                                  "2\x02"
                                                  "AB\x04"
                                                  "\x01\r\n"
                                                  "6\x02\r\n"
                                                  "A\r\nB\r\n"
                                                  "\x04\r\n"));
        QVERIFY(QFile::exists(path));
        QVERIFY_THROWS_EXCEPTION(AppError, manual.sendFile(m_dir->filePath(u"absent"_s), {}, false));
    }

    // What the host sends, block by block: which EOTs are acknowledgements.
    void acknowledgementsInTheHostsBytes_data() {
        QTest::addColumn<QList<QByteArray>>("blocks");
        QTest::addColumn<bool>("packets");
        QTest::addColumn<int>("acknowledgements");
        const QByteArray packet = frame("<bericht/>");
        QTest::newRow("bare EOT") << QList<QByteArray>{"\x04"} << false << 1;
        QTest::newRow("short text with EOT") << QList<QByteArray>{"OK\x04"} << false << 1;
        QTest::newRow("host packet") << QList<QByteArray>{packet} << false << 0;
        QTest::newRow("host packet, packets acknowledge") << QList<QByteArray>{packet} << true << 1;
        QTest::newRow("packet split over two blocks")
            << QList<QByteArray>{packet.left(5), packet.mid(5)} << false << 0;
        QTest::newRow("packet then EOT") << QList<QByteArray>{packet + "\x04"} << false << 1;
        QTest::newRow("SOH then text is no packet") << QList<QByteArray>{"\x01OK\x04"} << false << 1;
        QTest::newRow("SOH length without STX") << QList<QByteArray>{"\x01"
                                                                     "12\x04"}
                                                << false << 1;
        QTest::newRow("two acknowledgements") << QList<QByteArray>{"\x04", "x\x04"} << false << 2;
    }
    void acknowledgementsInTheHostsBytes() {
        QFETCH(QList<QByteArray>, blocks);
        QFETCH(bool, packets);
        QFETCH(int, acknowledgements);
        AckScanner scanner;
        scanner.setPacketsAcknowledge(packets);
        int found = 0;
        for (const QByteArray& block : blocks)
            found += scanner.feed(block);
        QCOMPARE(found, acknowledgements);
    }

    // Confirmation on: an EOT that waited before the write, a host packet, or an EOT on a later
    // connection confirm nothing; a bare EOT after the write on the same connection does.
    void onlyAFreshAcknowledgementConfirms() {
        m_sender->setConfirmation({true, std::chrono::seconds(30), false});
        QSignalSpy settled(m_sender.get(), &OutboxSender::deliveryChanged);
        m_client->Connect();
        QTRY_VERIFY(m_peer->connected());
        m_ready = true;
        const QString path = m_dir->filePath(u"a.xml"_s);
        QVERIFY(writeFile(path, "<a/>"));
        m_peer->send("\x04");
        QTRY_VERIFY(m_client->Connected() && m_client->InputBufferSize() == 1);
        m_sender->tick(m_settings);
        QVERIFY(m_sender->awaitingConfirmation());
        QTRY_VERIFY(m_peer->received.contains("<a/>"));
        m_peer->send(frame("<bericht/>"));
        QTRY_VERIFY(m_client->Connected() && m_client->InputBufferSize() > 1);
        m_sender->received(m_client->ReadBytes(m_client->InputBufferSize()));
        QVERIFY(QFile::exists(path));
        QVERIFY(settled.isEmpty());

        // The connection ends: what a later one brings is not for this file.
        m_peer->closeConnection();
        QTRY_VERIFY(!m_client->Connected());
        m_client->Connect();
        QCOMPARE(settled.size(), 1);
        QCOMPARE(settled[0][0].value<OutboxSend>().delivery, FrameRecord::Delivery::NotConfirmed);
        QVERIFY(m_logs->incoming().lines().contains(
            u"Verbinding verbroken voor de bevestiging, bestand blijft staan"_s));
        QVERIFY(QFile::exists(path));

        m_ready = true;
        m_sender->tick(m_settings);
        QVERIFY(m_sender->awaitingConfirmation());
        QTRY_COMPARE(m_peer->received.count("<a/>"), 2);
        m_peer->send("\x04");
        QTRY_VERIFY(m_client->Connected() && m_client->InputBufferSize() == 1);
        m_sender->received(m_client->ReadBytes(1));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(settled.last()[0].value<OutboxSend>().delivery, FrameRecord::Delivery::Confirmed);
    }

    // Confirmation off, a host that stops reading: the frame is handed to the platform but its
    // TCP never takes it. The file stays, the link is dropped, and the file goes again later.
    void unacknowledgedSendQueueKeepsTheFile() {
        StalledHost host;
        TcpClient client(nullptr, std::chrono::seconds(5), std::chrono::seconds(5));
        client.setHost(u"127.0.0.1"_s);
        client.setPort(host.port());
        bool ready = false;
        connect(&client, &TcpClient::OnConnected, this, [&ready] { ready = true; });
        OutboxSender sender(
            client, *m_logs,
            {[&] { return ready; }, [&](bool r) { ready = r; }, [&] { client.Connect(); }, [] {}, {}});
        QSignalSpy sent(&sender, &OutboxSender::sent);
        m_settings.stalledSendLimit = std::chrono::milliseconds(300);
        const QString path = m_dir->filePath(u"q.xml"_s);
        const QByteArray body = "<q>" + QByteArray(8000, 'q') + "</q>";
        QVERIFY(writeFile(path, body));
        sender.tick(m_settings); // connects
        QVERIFY(ready);
        sender.tick(m_settings);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0][0].value<OutboxSend>().delivery, FrameRecord::Delivery::NotAcknowledged);
        QVERIFY(QFile::exists(path));
        QVERIFY(!client.Connected());
        const QStringList lines = m_logs->incoming().lines();
        QCOMPARE(lines.mid(lines.size() - 3),
                 (QStringList{u"Socket Error # 10060"_s, u"Connection timed out."_s,
                              u"Niet door de host ontvangen, bestand blijft staan"_s}));

        host.setPaused(false);
        sender.tick(m_settings); // connects again
        QTRY_COMPARE(host.connections(), 2);
        sender.tick(m_settings);
        QCOMPARE(sent.last()[0].value<OutboxSend>().delivery, FrameRecord::Delivery::Deleted);
        QVERIFY(!QFile::exists(path));
        QTRY_VERIFY(host.received().endsWith(QByteArray(body + "\r\n\x04")));
    }

    // A file the program may not delete is sent once, also across a restart, and again only
    // once it has changed.
    void undeletableFileGoesOnceAcrossARestart() {
        const QString ledger = m_logsDir->filePath(u".niet-verwijderd"_s);
        m_sender->setLedgerFile(ledger);
        const QString path = m_dir->filePath(u"vast.xml"_s);
        QVERIFY(writeFile(path, "<vast/>"));
        if (QProcess::execute(u"chattr"_s, {u"+i"_s, m_dir->path()}) != 0)
            QSKIP("chattr +i is not possible here (needs root on a file system with the flag)");
        const auto unlock = qScopeGuard([this] { QProcess::execute(u"chattr"_s, {u"-i"_s, m_dir->path()}); });
        m_client->Connect();
        for (int pass = 0; pass < 3; ++pass) {
            m_ready = true;
            m_sender->tick(m_settings);
        }
        QTRY_COMPARE(m_peer->received.count("<vast/>"), 1);
        QVERIFY(m_sender->notDeletable(path));
        const QDateTime later = QDateTime::currentDateTime().addSecs(120);
        QCOMPARE(m_sender->health(m_settings, later, std::chrono::seconds(60), true).reason,
                 OutboxHealth::Reason::NotDeletable);

        // The engine starts again: the ledger remembers.
        m_sender = std::make_unique<OutboxSender>(
            *m_client, *m_logs,
            OutboxSender::Link{
                [this] { return m_ready; }, [this](bool r) { m_ready = r; }, [] {}, [] {}, {}});
        m_sender->setLedgerFile(ledger);
        for (int pass = 0; pass < 3; ++pass) {
            m_ready = true;
            m_sender->tick(m_settings);
        }
        QTest::qWait(50);
        QCOMPARE(m_peer->received.count("<vast/>"), 1);
        QCOMPARE(m_sender->health(m_settings, later, std::chrono::seconds(60), true).reason,
                 OutboxHealth::Reason::NotDeletable);

        // Changed, it is a new file and goes.
        QCOMPARE(QProcess::execute(u"chattr"_s, {u"-i"_s, m_dir->path()}), 0);
        QVERIFY(writeFile(path, "<vast nr=\"2\"/>"));
        m_ready = true;
        m_sender->tick(m_settings);
        QTRY_VERIFY(m_peer->received.contains("<vast nr=\"2\"/>"));
        QVERIFY(!QFile::exists(path));
        m_sender->tick(m_settings);
        QVERIFY(!m_sender->notDeletable(path));
        QVERIFY(!readFile(ledger).contains("vast.xml"));
    }

    // A FIFO, a link and a file above the limit in the outbox: a tick passes them over at once
    // and sends the regular file beside them; the large one is reported in the health.
    void hostileEntriesArePassedOver() {
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir->filePath(u"fifo.xml"_s)).constData(), 0644), 0);
        QVERIFY(writeFile(m_dir->filePath(u"big.xml"_s), QByteArray(200, 'b')));
        QVERIFY(writeFile(m_dir->filePath(u"ok.xml"_s), "<ok/>"));
        m_settings.sizeLimit = 100;
        m_client->Connect();
        for (int pass = 0; pass < 3; ++pass) {
            m_ready = true;
            m_sender->tick(m_settings);
        }
        QTRY_VERIFY(m_peer->received.contains("<ok/>"));
        QCOMPARE(m_peer->received.count('\x04'), 1);
        QVERIFY(QFile::exists(m_dir->filePath(u"big.xml"_s)));
        const OutboxHealth health = m_sender->health(m_settings, QDateTime::currentDateTime().addSecs(120),
                                                     std::chrono::seconds(60), true);
        QCOMPARE(health.oldestFile, m_dir->filePath(u"big.xml"_s));
        QCOMPARE(health.reason, OutboxHealth::Reason::TooLarge);
    }

    // Another account writes the file, so no lease is to be had: it goes only once it has
    // stood still for the set time, whole.
    void anotherAccountsFileWaitsUntilStill() {
        if (::geteuid() != 0)
            QSKIP("needs root to write as another account");
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                         QFileDevice::WriteOther | QFileDevice::ExeOther));
        const QString path = m_dir->filePath(u"ander.xml"_s);
        const auto append = [&path](const char* text) {
            return QProcess::execute(
                u"setpriv"_s, {u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s, u"sh"_s,
                               u"-c"_s, u"printf '%s' \"$1\" >> \"$0\""_s, path, QString::fromLatin1(text)});
        };
        QCOMPARE(append("<MSG>"), 0);
        const WithoutLeaseCapability withoutLease;
        if (!withoutLease.ok())
            QSKIP("CAP_LEASE cannot be dropped here");
        TestClock clock;
        OutboxSender sender(*m_client, *m_logs,
                            {[this] { return m_ready; }, [this](bool r) { m_ready = r; }, [] {}, [] {}, {}},
                            nullptr, clock.clock());
        m_client->Connect();
        const auto pass = [&] {
            m_ready = true;
            sender.tick(m_settings);
        };
        pass();
        clock.advance(std::chrono::milliseconds(2500));
        QCOMPARE(append("</MSG>"), 0); // still being written: the time starts again
        pass();
        QCOMPARE(sender.health(m_settings, clock.now().addSecs(120), std::chrono::seconds(60), true).reason,
                 OutboxHealth::Reason::Settling);
        clock.advance(std::chrono::milliseconds(1000));
        pass();
        QTest::qWait(50);
        QCOMPARE(m_peer->received, QByteArray());
        QVERIFY(QFile::exists(path));
        clock.advance(std::chrono::milliseconds(1100));
        pass();
        QTRY_VERIFY(m_peer->received.contains("<MSG></MSG>"));
        QVERIFY(!QFile::exists(path));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::optional<QTemporaryDir> m_logsDir;
    std::unique_ptr<Peer> m_peer;
    std::unique_ptr<TrafficLogs> m_logs;
    std::unique_ptr<TcpClient> m_client;
    std::unique_ptr<OutboxSender> m_sender;
    OutboxSettings m_settings;
    bool m_ready = false;
    int m_onOffCalls = 0;
};

QTEST_GUILESS_MAIN(TestOutboxSender)
#include "tst_outboxsender.moc"
