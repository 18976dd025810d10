#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "closedport.h"
#include "common/ansicodec.h"
#include "deadpath.h"
#include "engine/linkengine.h"
#include "frames/framelog.h"
#include "hostframe.h"
#include "loopbackpeer.h"
#include "testclock.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

// The link with no window at all, as the service runs it: options from a plain value, a real
// host on loopback, the archive and the logs in real folders.
class TestLinkEngine : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_clock.emplace();
        m_peer = std::make_unique<LoopbackPeer>();
        m_parameters = LinkParameters{};
        m_parameters.portText = QString::number(m_peer->port());
        m_parameters.autoLocatie = m_dir->path() + u"/outbox"_s;
        QVERIFY(QDir().mkpath(m_parameters.autoLocatie));
        startEngine();
    }
    void cleanup() {
        m_engine.reset();
        m_peer.reset();
        m_clock.reset();
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

    // The inspector's verdicts on what a real host sent, one block per tick: a wrong declared
    // length, a frame without EOT, a bad Base64 character, and a good frame with its archive file;
    // then the archive's refusals: switched off, and a folder it cannot write to.
    void inspectorShowsEachBlockWithItsVerdict() {
        m_engine->onOff();
        QVERIFY(m_engine->linkReady());
        QTRY_COMPARE(m_peer->connectionCount(), 1);
        FrameLog& frames = m_engine->frames();
        // One block per tick: the next is sent once the last one has its row.
        const auto send = [&](const QByteArray& bytes) {
            m_peer->send(bytes);
            return frames.rowCount();
        };
        const auto cell = [&](int row, int column) {
            return frames.data(frames.index(row, column)).toString();
        };
        const QByteArray good = frame("<rit/>"); // PHJpdC8+ (8 characters)

        int row = send("\x01"
                       "12\x02PHJpdC8+\x04");
        QTRY_COMPARE(frames.rowCount(), row + 1);
        QCOMPARE(cell(row, FrameLog::LengthColumn), u"12 / 8 (wijkt af)"_s);
        QCOMPARE(cell(row, FrameLog::DirectionColumn), u"in"_s);
        row = send("\x01"
                   "8\x02PHJpdC8+");
        QTRY_COMPARE(frames.rowCount(), row + 1);
        QCOMPARE(cell(row, FrameLog::MarkersColumn), u"SOH, lengte + STX"_s);
        QCOMPARE(cell(row, FrameLog::OutcomeColumn), u"niet bewaard: geen volledig frame"_s);
        row = send("\x01"
                   "8\x02PHJp!C8+\x04");
        QTRY_COMPARE(frames.rowCount(), row + 1);
        QCOMPARE(cell(row, FrameLog::Base64Column), u"ongeldig vanaf byte 7"_s);
        QCOMPARE(cell(row, FrameLog::FirstLineColumn), u"PHJp!C8+"_s);
        row = send(good);
        QTRY_COMPARE(frames.rowCount(), row + 1);
        QCOMPARE(cell(row, FrameLog::MarkersColumn), u"SOH, lengte + STX, EOT"_s);
        QCOMPARE(cell(row, FrameLog::LengthColumn), u"8 / 8"_s);
        QCOMPARE(cell(row, FrameLog::Base64Column), u"geldig"_s);
        QCOMPARE(cell(row, FrameLog::FirstLineColumn), u"<rit/>"_s);
        // The archive keeps what it always kept: the wrong length and the bad character too.
        QCOMPARE(QDir(m_engine->dataFolders().xml).entryList(QDir::Files).size(), 3);
        QVERIFY(cell(0, FrameLog::OutcomeColumn).startsWith(u"MC_"_s));
        const QString written = frames.record(row).archiveDetail;
        QCOMPARE(cell(row, FrameLog::OutcomeColumn), QFileInfo(written).fileName());
        QCOMPARE(readFile(written), QByteArray("<rit/>\r\n"));
        QCOMPARE(frames.record(row).bytes, good);
        QCOMPARE(frames.decodedPayload(frames.record(row).serial), u"<rit/>\r\n"_s);

        m_parameters.xmlBestandenBewaren = false;
        row = send(good);
        QTRY_COMPARE(frames.rowCount(), row + 1);
        QCOMPARE(cell(row, FrameLog::OutcomeColumn), u"niet bewaard: archief staat uit"_s);
        m_parameters.xmlBestandenBewaren = true;
        QVERIFY(QDir(m_engine->dataFolders().xml).removeRecursively());
        QVERIFY(writeFile(QDir(m_engine->dataFolders().xml).path(), "geen map"));
        row = send(good);
        QTRY_COMPARE(frames.rowCount(), row + 1);
        QCOMPARE(cell(row, FrameLog::OutcomeColumn), u"niet bewaard: map niet beschrijfbaar"_s);
        // None of it reached a log other than as the received text.
        QCOMPARE(incoming().size(), 1 + 6);
    }

    // For frames with characters outside the Base64 alphabet, the very frames the inspector
    // flags, its payload is the text of the archive file that the same frame gave.
    void inspectorShowsWhatTheArchiveWrote_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::newRow("bad character") << QByteArray("\x01"
                                                     "8\x02PH!pdC8+\x04");
        QTest::newRow("blank, star, high byte") << QByteArray("\x01"
                                                              "12\x02PHJ pdC*+gA==\x04");
        QTest::newRow("line break inside") << QByteArray("\x01"
                                                         "10\x02PHJp\r\ndC8+\x04");
        QTest::newRow("pad in the middle") << QByteArray("\x01"
                                                         "8\x02PH==dC8+\x04");
    }
    void inspectorShowsWhatTheArchiveWrote() {
        QFETCH(QByteArray, block);
        m_engine->onOff();
        QTRY_COMPARE(m_peer->connectionCount(), 1);
        FrameLog& frames = m_engine->frames();
        m_peer->send(block);
        QTRY_COMPARE(frames.rowCount(), 1);
        QVERIFY(!frames.analysis(0).base64Valid());
        const FrameRecord& record = frames.record(0);
        QCOMPARE(record.archive, FrameRecord::Archive::Written);
        const QByteArray file = readFile(record.archiveDetail);
        QVERIFY(!file.isEmpty());
        QCOMPARE(frames.decodedPayload(record.serial), ansi::toText(file));
    }

    // What was typed shows as a sent row; sending it again uses the framing of now.
    void resendUsesTheFramingOfNow() {
        m_engine->onOff();
        QVERIFY(m_engine->sendTyped(u"abc"_s));
        FrameLog& frames = m_engine->frames();
        QCOMPARE(frames.rowCount(), 1);
        QCOMPARE(frames.data(frames.index(0, FrameLog::DirectionColumn)).toString(), u"uit"_s);
        QCOMPARE(frames.outcomeText(0), u"getypt pakket"_s);
        const std::uint64_t typed = frames.record(0).serial;
        QTRY_COMPARE(m_peer->received(), QByteArray("abc"));
        m_parameters.stx = true;
        m_parameters.enc64verzenden = true;
        QVERIFY(m_engine->resend(typed));
        QTRY_COMPARE(m_peer->received(), QByteArray("abc4\x02YWJj"));
        QCOMPARE(frames.rowCount(), 2);
        QCOMPARE(frames.outcomeText(1), u"opnieuw verzonden"_s);
        QCOMPARE(m_engine->logs().outgoing().lines(), (QStringList{u"abc"_s, u"4\x02YWJj"_s}));
        QCOMPARE(m_engine->resend(typed + 5).failure().code, int(LinkEngine::ResendGone));
        m_engine->onOff();
        QCOMPARE(m_engine->resend(typed).message(), u"Open eerste de TCP/IP verbinding met de host"_s);
    }

    // With AutoConnect on, the status shows when the next attempt comes; when that time is
    // reached the attempt starts, and the next one is counted from the end of the failed one.
    void countdownReachingZeroStartsAnAttempt() {
        m_engine.reset();
        m_parameters.portText = QString::number(closedPort());
        m_parameters.autoConnect = true;
        startEngine(std::chrono::milliseconds(400));
        QList<LinkStatus> seen;
        connect(m_engine.get(), &LinkEngine::linkStatusChanged, this,
                [&seen](const LinkStatus& status) { seen.append(status); });
        const QDateTime due = m_engine->linkStatus().nextAttempt;
        QVERIFY(due.isValid());
        QVERIFY(m_engine->untilNextAttempt().has_value());
        QCOMPARE(m_engine->linkStatus().phase, LinkStatus::Phase::Down);
        QTRY_VERIFY(m_engine->linkStatus().attemptsSinceSuccess == 2);
        const auto connecting = std::find_if(seen.cbegin(), seen.cend(), [](const LinkStatus& s) {
            return s.phase == LinkStatus::Phase::Connecting;
        });
        QVERIFY(connecting != seen.cend());
        QVERIFY2(connecting->since >= due, qPrintable(connecting->since.toString(u"HH:mm:ss.zzz"_s) +
                                                      u" < "_s + due.toString(u"HH:mm:ss.zzz"_s)));
        QCOMPARE(connecting->attemptsSinceSuccess, 1);
        QCOMPARE(connecting->host, u"127.0.0.1"_s);
        const auto failed = std::next(connecting);
        QVERIFY(failed != seen.cend());
        QCOMPARE(failed->phase, LinkStatus::Phase::Down);
        QVERIFY(failed->lastError.contains(u"Connection refused."_s));
        QVERIFY(failed->lastErrorTime.isValid());
        // No back-to-back attempts: the second starts a whole interval after the first ended.
        QVERIFY(failed->nextAttempt >= failed->since.addMSecs(400));
        const auto second = std::find_if(failed, seen.cend(), [](const LinkStatus& s) {
            return s.phase == LinkStatus::Phase::Connecting;
        });
        QVERIFY(second != seen.cend());
        QVERIFY(second->since >= failed->nextAttempt);
        // A host that answers ends the count.
        m_parameters.portText = QString::number(m_peer->port());
        QTRY_COMPARE(m_engine->linkStatus().phase, LinkStatus::Phase::Up);
        QCOMPARE(m_engine->linkStatus().attemptsSinceSuccess, 0);
        QVERIFY(!m_engine->linkStatus().nextAttempt.isValid());
    }

    // A file waiting longer than the set time with no link raises the warning, with its reason;
    // once the link is back and the file gone, the warning clears.
    void outboxWarningAppearsAndClears() {
        const quint16 open = m_peer->port();
        m_parameters.portText = QString::number(closedPort());
        QVERIFY(writeFile(m_parameters.autoLocatie + u"/a.xml"_s, "<a/>"));
        QList<OutboxHealth> seen;
        connect(m_engine.get(), &LinkEngine::outboxHealthChanged, this,
                [&seen](const OutboxHealth& health) { seen.append(health); });
        m_parameters.autoBestanden = true;
        QTRY_COMPARE(m_engine->outboxHealth().waiting, 1);
        QVERIFY(!m_engine->outboxHealth().warning);
        m_clock->advance(std::chrono::seconds(61));
        QTRY_VERIFY(m_engine->outboxHealth().warning);
        QCOMPARE(m_engine->outboxHealth().reason, OutboxHealth::Reason::LinkDown);
        QVERIFY(m_engine->outboxHealth()
                    .warningText(m_clock->now())
                    .startsWith(u"Uitgaand bestand a.xml wacht al 6"_s));
        m_parameters.portText = QString::number(open);
        QTRY_COMPARE(m_engine->outboxHealth().waiting, 0);
        QVERIFY(!m_engine->outboxHealth().warning);
        QVERIFY(seen.size() >= 3);
        QVERIFY(!seen.last().warning);
    }

    // Confirmed delivery with a host that never acknowledges: the file stays, goes again when
    // the wait has run out, and a program that ends in between sends it again after its start.
    void unacknowledgedFileStaysAndGoesAgainAfterARestart() {
        m_parameters.bevestigdAfleveren = true;
        const QString path = m_parameters.autoLocatie + u"/a.xml"_s;
        QVERIFY(writeFile(path, "<a/>"));
        QSignalSpy delivery(m_engine.get(), &LinkEngine::deliveryChanged);
        m_parameters.autoBestanden = true;
        const qsizetype once = qsizetype(QByteArray("<a/>\r\n").size());
        QTRY_COMPARE(m_peer->receivedSize(), once);
        QCOMPARE(delivery.first().first().value<OutboxSend>().delivery,
                 FrameRecord::Delivery::AwaitingConfirmation);
        QCOMPARE(incoming().count(u"Wacht op bevestiging"_s), 1);
        QVERIFY(!incoming().contains(u"Origineel verwijderen"_s));
        const int row = m_engine->frames().rowCount() - 1;
        QCOMPARE(m_engine->frames().outcomeText(row), u"a.xml: wacht op bevestiging"_s);
        // Nothing else goes while it waits, however often the flag allows.
        QTRY_VERIFY(incoming().count(u"Bestanden gevonden"_s) >= 5);
        QCOMPARE(m_peer->receivedSize(), once);
        QVERIFY(QFile::exists(path));

        m_clock->advance(std::chrono::seconds(31));
        QTRY_COMPARE(m_peer->receivedSize(), 2 * once);
        QVERIFY(incoming().contains(u"Geen bevestiging ontvangen, bestand blijft staan"_s));
        QCOMPARE(m_engine->frames().outcomeText(row),
                 u"a.xml: geen bevestiging, blijft staan voor een volgende ronde"_s);
        QVERIFY(QFile::exists(path));

        // Killed while it waits: nothing but the file itself remembers it.
        m_engine.reset();
        startEngine();
        QTRY_COMPARE(m_peer->receivedSize(), 3 * once);
        QVERIFY(QFile::exists(path));
    }

    // Confirmed delivery with a host that acknowledges every frame: each file goes once and is
    // deleted after its acknowledgement.
    void acknowledgedFilesGoOnceEach() {
        m_parameters.bevestigdAfleveren = true;
        m_parameters.eot = true;
        for (const char* name : {"a", "b", "c"})
            QVERIFY(writeFile(m_parameters.autoLocatie + u'/' + QLatin1String(name) + u".xml"_s, "<x/>"));
        m_parameters.autoBestanden = true;
        const qsizetype frameSize = qsizetype(QByteArray("<x/>\r\n\x04").size());
        for (int n = 1; n <= 3; ++n) {
            QTRY_COMPARE(m_peer->receivedSize(), n * frameSize);
            m_peer->send("\x04");
        }
        QTRY_VERIFY(QDir(m_parameters.autoLocatie).entryList({u"*.xml"_s}, QDir::Files).isEmpty());
        QCOMPARE(m_peer->receivedSize(), 3 * frameSize);
        QCOMPARE(incoming().count(u"Bevestiging ontvangen"_s), 3);
        QCOMPARE(incoming().count(u"Origineel verwijderen"_s), 3);
        FrameLog& frames = m_engine->frames();
        int confirmed = 0;
        for (int row = 0; row < frames.rowCount(); ++row)
            confirmed += frames.record(row).delivery == FrameRecord::Delivery::Confirmed;
        QCOMPARE(confirmed, 3);
    }

    // A path that dies without a word while the link is up (the host's packets dropped, the host
    // forgetting the connection): the receive poll adds 10060 to the incoming log, the status
    // bar's last error says so, the link goes down, and the reconnect check opens it again once
    // the path is back.
    void deadPathGoesDownAndComesBack() {
        DeadPath path;
        if (!path.unavailable().isEmpty())
            QSKIP(qPrintable(path.unavailable()));
        m_engine.reset();
        m_peer = std::make_unique<LoopbackPeer>(); // in the new network
        m_parameters.portText = QString::number(m_peer->port());
        m_parameters.autoConnect = true;
        startEngine(300ms, DeadLinkLimits{1s, 1s, 2, 2000ms});
        QStringList added;
        QList<LinkStatus> statuses;
        QObject context;
        connect(&m_engine->logs().incoming(), &TrafficLog::appended, &context,
                [&](const QStringList& lines, const QDateTime&) { added += lines; });
        connect(m_engine.get(), &LinkEngine::linkStatusChanged, &context,
                [&](const LinkStatus& status) { statuses << status; });
        QTRY_VERIFY(m_engine->linkReady());
        QTRY_COMPARE(m_peer->connectionCount(), 1);

        QVERIFY(path.cut(m_peer->port()));
        m_peer->reset();
        const QString timedOut = u"Socket Error # 10060\r\nConnection timed out."_s;
        QTRY_VERIFY_WITH_TIMEOUT(added.join(u"\r\n"_s).contains(timedOut), 10000);
        QCOMPARE(added.first(), u"Verbinding opgebouwd"_s);
        QCOMPARE(added.mid(1, 2), timedOut.split(u"\r\n"_s));
        // The status bar: the error first, while the phase is still up; then down.
        // By index: the list grows while QTRY waits, which moves its elements.
        const qsizetype failed = std::find_if(statuses.cbegin(), statuses.cend(),
                                              [](const LinkStatus& s) { return !s.lastError.isEmpty(); }) -
                                 statuses.cbegin();
        QVERIFY(failed < statuses.size());
        QCOMPARE(statuses.at(failed).lastError, timedOut);
        QTRY_VERIFY(std::any_of(statuses.cbegin() + failed, statuses.cend(),
                                [](const LinkStatus& s) { return s.phase == LinkStatus::Phase::Down; }));
        QVERIFY(m_engine->logs().status().lines().contains(u"Disconnected."_s));

        QVERIFY(path.mend());
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->connectionCount(), 2, 10000);
        QTRY_VERIFY(m_engine->linkReady());
        QCOMPARE(added.last(), u"Verbinding opgebouwd"_s);
        QCOMPARE(m_engine->linkStatus().phase, LinkStatus::Phase::Up);
    }

    // A start removes what writes killed half-way left in the logs, archive and outbox folders,
    // and nothing else.
    void startRemovesLeftovers() {
        m_engine.reset();
        const DataFolders folders = DataFolders::beside(m_dir->path());
        folders.create();
        const QStringList written{folders.logs, folders.xml, m_parameters.autoLocatie};
        for (const QString& folder : written) {
            QVERIFY(writeFile(QDir(folder).filePath(u".rtcp-abc123.part"_s), "half"));
            QVERIFY(writeFile(QDir(folder).filePath(u"keep.txt"_s), "whole"));
        }
        QVERIFY(writeFile(QDir(folders.root).filePath(u".rtcp-abc123.part"_s), "not a folder we write"));
        startEngine();
        for (const QString& folder : written)
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"keep.txt"_s});
        QVERIFY(QFileInfo::exists(QDir(folders.root).filePath(u".rtcp-abc123.part"_s)));
    }

    // The host acknowledges a.xml and drops the acknowledgement of b.xml; just before b goes
    // again it sends a packet of its own (or one more acknowledgement) and stops reading, then
    // resets. Neither confirms b: it is read and handled before the write, and the reset ends
    // the connection b went over. b stays and is delivered once the host reads again. The
    // ticks are driven by hand, so the bytes wait in the buffer exactly at the write.
    void earlyBytesAndABrokenLinkConfirmNothing_data() {
        QTest::addColumn<QByteArray>("early");
        QTest::newRow("one more acknowledgement") << QByteArray("\x04");
        QTest::newRow("host packet") << frame("<bericht/>");
    }
    void earlyBytesAndABrokenLinkConfirmNothing() {
        QFETCH(QByteArray, early);
        m_engine.reset();
        const auto never = std::chrono::hours(1);
        m_engine = std::make_unique<LinkEngine>(LinkEngineConfig{.executableFolder = m_dir->path() + u'/',
                                                                 .generalInterval = never,
                                                                 .reconnectInterval = never,
                                                                 .fileCheckerInterval = never,
                                                                 .clock = m_clock->clock()},
                                                [this] { return m_parameters; });
        m_engine->dataFolders().create();
        m_parameters.bevestigdAfleveren = true;
        m_parameters.autoBestanden = true;
        m_parameters.eot = true;
        LinkEngine& engine = *m_engine;
        const auto pass = [&engine] {
            engine.setLinkReady(true);
            engine.fileCheckerTick();
        };
        const QString a = m_parameters.autoLocatie + u"/a.xml"_s;
        const QString b = m_parameters.autoLocatie + u"/b.xml"_s;
        QVERIFY(writeFile(a, "<a/>"));
        engine.onOff();
        pass();
        QTRY_VERIFY(m_peer->received().contains("<a/>"));
        m_peer->send("\x04");
        QTRY_VERIFY((engine.generalTick(), !QFile::exists(a)));

        QVERIFY(writeFile(b, "<b/>"));
        pass();
        QTRY_VERIFY(m_peer->received().contains("<b/>"));
        m_clock->advance(std::chrono::seconds(31)); // its acknowledgement was dropped
        m_peer->send(early);
        m_peer->setPaused(true);
        QTRY_VERIFY(engine.client().Connected() && engine.client().InputBufferSize() == early.size());
        const qsizetype before = incoming().size();
        pass(); // the wait ran out: b goes again
        // What waited was logged before the frame went.
        const QStringList pass2 = incoming().mid(before);
        QVERIFY(pass2.indexOf(QString::fromLatin1(early)) >= 0);
        QVERIFY(pass2.indexOf(QString::fromLatin1(early)) < pass2.indexOf(u"Pakket verzenden"_s));
        for (int i = 0; i < 3; ++i)
            engine.generalTick();
        QVERIFY(QFile::exists(b));
        QVERIFY(!incoming().mid(before).contains(u"Bevestiging ontvangen"_s));

        m_peer->reset();
        QTRY_VERIFY((engine.generalTick(), !engine.client().Connected()));
        pass();
        QVERIFY(QFile::exists(b));
        QVERIFY(incoming().contains(u"Verbinding verbroken voor de bevestiging, bestand blijft staan"_s));
        QVERIFY(!incoming().mid(before).contains(u"Bevestiging ontvangen"_s));

        m_peer->setPaused(false);
        const qsizetype received = m_peer->receivedSize();
        engine.onOff(); // as the outbox sender does with the flag clear
        QTRY_COMPARE(m_peer->connectionCount(), 2);
        pass();
        QTRY_VERIFY(m_peer->received().mid(received).contains("<b/>\r\n\x04"));
        QVERIFY(QFile::exists(b));
        m_peer->send("\x04");
        QTRY_VERIFY((engine.generalTick(), !QFile::exists(b)));
        if (early.size() > 1)
            QCOMPARE(QDir(engine.dataFolders().xml).entryList(QDir::Files).size(), 1);
    }

private:
    QStringList incoming() const { return m_engine->logs().incoming().lines(); }

    void startEngine(std::chrono::milliseconds reconnect = std::chrono::milliseconds(80),
                     DeadLinkLimits deadLink = {}) {
        m_engine = std::make_unique<LinkEngine>(
            LinkEngineConfig{.executableFolder = m_dir->path() + u'/',
                             .generalInterval = std::chrono::milliseconds(30),
                             .reconnectInterval = reconnect,
                             .fileCheckerInterval = std::chrono::milliseconds(30),
                             .clock = m_clock->clock(),
                             .connectLimit = std::chrono::milliseconds(500),
                             .deadLink = deadLink},
            [this] { return m_parameters; });
        m_engine->dataFolders().create();
        m_engine->start();
    }

    std::optional<QTemporaryDir> m_dir;
    std::optional<TestClock> m_clock;
    std::unique_ptr<LoopbackPeer> m_peer;
    LinkParameters m_parameters;
    std::unique_ptr<LinkEngine> m_engine;
};

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "tst_linkengine.moc"
