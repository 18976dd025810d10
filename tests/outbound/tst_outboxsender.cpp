#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "common/apperror.h"
#include "logs/trafficlogs.h"
#include "outbound/framing.h"
#include "outbound/manualsender.h"
#include "outbound/outboxsender.h"
#include "slowwriter.h"
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
    void closeConnection() {
        if (m_socket)
            m_socket->abort();
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
