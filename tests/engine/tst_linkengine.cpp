#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "engine/linkengine.h"
#include "hostframe.h"
#include "loopbackpeer.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

// The link with no window at all, as the service runs it: options from a plain value, a real
// host on loopback, the archive and the logs in real folders.
class TestLinkEngine : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_peer = std::make_unique<LoopbackPeer>();
        m_parameters = LinkParameters{};
        m_parameters.portText = QString::number(m_peer->port());
        m_parameters.autoLocatie = m_dir->path() + u"/outbox"_s;
        QVERIFY(QDir().mkpath(m_parameters.autoLocatie));
        m_engine = std::make_unique<LinkEngine>(
            LinkEngineConfig{.executableFolder = m_dir->path() + u'/',
                             .generalInterval = std::chrono::milliseconds(30),
                             .reconnectInterval = std::chrono::milliseconds(80),
                             .fileCheckerInterval = std::chrono::milliseconds(30)},
            [this] { return m_parameters; });
        m_engine->dataFolders().create();
        m_engine->start();
    }
    void cleanup() {
        m_engine.reset();
        m_peer.reset();
        m_dir.reset();
    }

    // On, a framed packet in, archived and acknowledged away, and the lamp following each step.
    void linkLifeReceiveAndAcknowledgement() {
        m_parameters.ackDisconnect = true;
        QSignalSpy lamp(m_engine.get(), &LinkEngine::lampLit);
        m_engine->onOff();
        QCOMPARE(incoming(), QStringList{u"Verbinding opgebouwd"_s});
        QVERIFY(m_engine->linkReady());
        QCOMPARE(m_engine->logs().status().lines(),
                 (QStringList{u"Connecting to 127.0.0.1."_s, u"Connected."_s}));
        QTRY_VERIFY(!lamp.isEmpty() && lamp.last().first().toBool());

        const QByteArray packet = frame("<rit nr=\"7\"/>");
        m_peer->send(packet);
        QTRY_COMPARE(incoming().size(), 3);
        QCOMPARE(incoming(), (QStringList{u"Verbinding opgebouwd"_s, QString::fromLatin1(packet),
                                          u"Verbinding verbroken"_s}));
        QVERIFY(!m_engine->linkReady());
        const QStringList files = QDir(m_engine->dataFolders().xml).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QCOMPARE(readFile(m_engine->dataFolders().xml + files[0]), QByteArray("<rit nr=\"7\"/>\r\n"));
        QTRY_VERIFY(!lamp.last().first().toBool());
    }

    // AutoConnect re-opens a link the host dropped; off, it stays down.
    void reconnectFollowsTheOption() {
        m_engine->onOff();
        QTRY_COMPARE(m_peer->connectionCount(), 1);
        m_peer->close();
        QTest::qWait(300);
        QCOMPARE(m_peer->connectionCount(), 1);
        m_parameters.autoConnect = true;
        QTRY_COMPARE(m_peer->connectionCount(), 2);
        QTRY_VERIFY(m_engine->linkReady());
    }

    // The outbox: with the link down the first tick connects, later ticks send one file each
    // and delete it; the program's own files are never sent.
    void outboxSendsEachFileOnceAndDeletesIt() {
        m_parameters.stx = true;
        const QString own = m_parameters.autoLocatie + u"/RTCPIPCLIENT.xml"_s;
        QVERIFY(writeFile(own, "<Configuration/>"));
        m_engine->setOwnFiles({own});
        QVERIFY(writeFile(m_parameters.autoLocatie + u"/a.xml"_s, "<a/>"));
        QVERIFY(writeFile(m_parameters.autoLocatie + u"/b.xml"_s, "<b/>"));
        m_parameters.autoBestanden = true;
        QTRY_VERIFY(QDir(m_parameters.autoLocatie).entryList({u"*.xml"_s}, QDir::Files) ==
                    QStringList{u"RTCPIPCLIENT.xml"_s});
        QTRY_COMPARE(m_peer->receivedSize(), qsizetype(2 * 8));
        const QByteArray wire = m_peer->received();
        QVERIFY2(wire == "6\x02<a/>\r\n6\x02<b/>\r\n" || wire == "6\x02<b/>\r\n6\x02<a/>\r\n",
                 wire.constData());
        QCOMPARE(m_peer->connectionCount(), 1);
        QCOMPARE(m_engine->logs().outgoing().lineCount(), 4);
        const QStringList log = incoming();
        QCOMPARE(log.first(), u"Bestanden gevonden"_s);
        QCOMPARE(log.count(u"Verbinding opbouwen"_s), 1);
        QCOMPARE(log.count(u"Origineel verwijderen"_s), 2);
    }

    // At the end: the logs go to their files when the option keeps them, and only then.
    void flushWritesTheLogsWhenKept() {
        m_engine->logs().incoming().add(u"binnen"_s);
        QVERIFY(m_engine->flushLogs());
        QCOMPARE(QDir(m_engine->dataFolders().logs).entryList(QDir::Files), QStringList());
        m_parameters.logbewaren = true;
        QVERIFY(m_engine->flushLogs());
        const QStringList files = QDir(m_engine->dataFolders().logs).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(files[0].startsWith(u"MM_IN_"_s));
        QCOMPARE(readFile(m_engine->dataFolders().logs + files[0]), QByteArray("binnen\r\n"));
    }

private:
    QStringList incoming() const { return m_engine->logs().incoming().lines(); }

    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<LoopbackPeer> m_peer;
    LinkParameters m_parameters;
    std::unique_ptr<LinkEngine> m_engine;
};

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "tst_linkengine.moc"
