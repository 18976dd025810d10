#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "app/ledlabel.h"
#include "closedport.h"
#include "hostframe.h"
#include "loopbackpeer.h"
#include "windowfixture.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kOpgebouwd = u"Verbinding opgebouwd"_s;
const QString kVerbroken = u"Verbinding verbroken"_s;

} // namespace

// The link as an operator sees it: the real window, a real host on loopback, the logs on
// screen and the archive folder beside the executable.
class TestLinkWindow : public QObject, WindowFixture {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_peer = std::make_unique<LoopbackPeer>();
        m_now = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
        HoofdschermConfig config = testWindowConfig(m_dir->path() + u'/');
        config.generalInterval = std::chrono::milliseconds(40);
        config.reconnectInterval = std::chrono::milliseconds(100);
        config.clock = [this] {
            return m_now;
        };
        m_window = std::make_unique<THoofdscherm>(config);
        edit(u"edtPoort"_s)->setText(QString::number(m_peer->port()));
        m_xmlFolder = m_dir->path() + u"/RVxMMCLIENT/XML"_s;
        QVERIFY(QFileInfo(m_xmlFolder).isDir());
    }
    void cleanup() {
        m_window.reset();
        m_peer.reset();
        m_dir.reset();
    }

    void onOffConnectsAndDisconnects_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QStringList>("connectStatus");
        QTest::newRow("address") << u"127.0.0.1"_s
                                 << QStringList{u"Connecting to 127.0.0.1."_s, u"Connected."_s};
        QTest::newRow("localhost is resolved") << u"LocalHost"_s
                                               << QStringList{u"Resolving hostname LocalHost."_s,
                                                              u"Connecting to 127.0.0.1."_s, u"Connected."_s};
    }
    void onOffConnectsAndDisconnects() {
        QFETCH(QString, host);
        QFETCH(QStringList, connectStatus);
        edit(u"edtHost"_s)->setText(host);
        onOff();
        QTRY_COMPARE(incoming(), QStringList{kOpgebouwd});
        QVERIFY(m_window->linkReady());
        QTRY_VERIFY(led()->isLit() && button(u"aanUitButton"_s)->isChecked());
        QCOMPARE(status(), connectStatus);

        onOff();
        QCOMPARE(incoming(), (QStringList{kOpgebouwd, kVerbroken}));
        QCOMPARE(status().mid(connectStatus.size()), (QStringList{u"Disconnecting."_s, u"Disconnected."_s}));
        QTRY_VERIFY(!m_peer->clientOpen());
        // The indicators follow on the next tick, whatever the click did to them.
        QTRY_VERIFY(!led()->isLit() && !button(u"aanUitButton"_s)->isChecked());
        QVERIFY(!m_window->linkReady());
        // What the operator reads is what the logs hold.
        QCOMPARE(memo(u"Inkomend"_s), kOpgebouwd + u'\n' + kVerbroken);
    }

    // The lamp only shows the link: a click flips it until the next tick and opens nothing.
    void clickOnTheLampIsNoCommand() {
        QTest::mouseClick(led(), Qt::LeftButton);
        QVERIFY(led()->isLit());
        QTRY_VERIFY(!led()->isLit());
        QTest::qWait(200); // two reconnect intervals
        QCOMPARE(m_peer->connectionCount(), 0);
        QVERIFY(incoming().isEmpty());
        QVERIFY(status().isEmpty());
    }

    void refusedConnectReplacesTheIncomingLog() {
        m_window->logs().incoming().add(u"oude regel"_s);
        edit(u"edtPoort"_s)->setText(QString::number(closedPort()));
        onOff();
        QCOMPARE(incoming(), (QStringList{u"Socket Error # 10061"_s, u"Connection refused."_s}));
        QCOMPARE(status().first(), u"Connecting to 127.0.0.1."_s);
        QVERIFY(!m_window->linkReady());
        QTest::qWait(120); // a few ticks: nothing else appears
        QCOMPARE(incoming(), (QStringList{u"Socket Error # 10061"_s, u"Connection refused."_s}));
    }

    void portTextWithoutDigitsEmptiesTheIncomingLog() {
        m_window->logs().incoming().add(u"oude regel"_s);
        edit(u"edtPoort"_s)->setText(u"poort"_s);
        onOff();
        QCOMPARE(incoming(), QStringList());
        QCOMPARE(m_peer->connectionCount(), 0);
    }

    void droppedLink_data() {
        QTest::addColumn<bool>("autoConnect");
        QTest::newRow("AutoConnect on re-opens") << true;
        QTest::newRow("AutoConnect off stays down") << false;
    }
    void droppedLink() {
        QFETCH(bool, autoConnect);
        option(u"AutoConnect"_s)->setChecked(autoConnect);
        onOff();
        QTRY_COMPARE(m_peer->connectionCount(), 1);
        m_peer->close();
        QTRY_VERIFY(!led()->isLit());
        if (autoConnect) {
            QTRY_COMPARE(m_peer->connectionCount(), 2);
            QTRY_VERIFY(led()->isLit());
            // The peer's close adds no line of its own; the new connect adds one.
            QCOMPARE(incoming(), (QStringList{kOpgebouwd, kOpgebouwd}));
        } else {
            QTest::qWait(400); // four reconnect intervals
            QCOMPARE(m_peer->connectionCount(), 1);
            QCOMPARE(incoming(), QStringList{kOpgebouwd});
            QVERIFY(!m_window->linkReady());
        }
    }

    void receivedBlockIsOneEntry_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("entry");
        QTest::newRow("ten ASCII bytes") << false << QByteArray("0123456789") << u"0123456789"_s;
        QTest::newRow("ten ASCII bytes as hex")
            << true << QByteArray("0123456789") << u"30 31 32 33 34 35 36 37 38 39 "_s;
        QTest::newRow("0x80 is the euro sign") << false << QByteArray("a\x80") << u"a\u20AC"_s;
        QTest::newRow("0x80 as hex") << true << QByteArray("a\x80") << u"61 20AC "_s;
        QTest::newRow("control bytes as hex") << true << QByteArray("\x01\x02\x04", 3) << u"01 02 04 "_s;
    }
    void receivedBlockIsOneEntry() {
        QFETCH(bool, hex);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, entry);
        option(u"ToonHex"_s)->setChecked(hex);
        connectToPeer();
        m_peer->send(bytes);
        QTRY_COMPARE(incoming(), (QStringList{kOpgebouwd, entry}));
        QTest::qWait(120);
        QCOMPARE(incoming().size(), 2); // no empty entries on quiet ticks
    }

    void acknowledgementDropsTheLinkAfterItsEntry() {
        option(u"ACKDisconnect"_s)->setChecked(true);
        connectToPeer();
        const QByteArray ack = frame("<ACK/>");
        m_peer->send(ack);
        QTRY_COMPARE(incoming().size(), 3);
        QCOMPARE(incoming(), (QStringList{kOpgebouwd, QString::fromLatin1(ack), kVerbroken}));
        QVERIFY(!m_window->linkReady());
        QTRY_VERIFY(!m_peer->clientOpen());
        QTRY_VERIFY(!led()->isLit());
        // It was archived before the link went down.
        QCOMPARE(archived(), QList<QByteArray>{"<ACK/>\r\n"});
    }

    void endMarkerWithoutAckDisconnectKeepsTheLink() {
        connectToPeer();
        m_peer->send("\x04");
        QTRY_COMPARE(incoming().size(), 2);
        QTest::qWait(120);
        QVERIFY(m_peer->clientOpen());
        QVERIFY(led()->isLit());
    }

    void lastBytesBeforeThePeerClosesAreLogged() {
        connectToPeer();
        m_peer->send("tot ziens");
        m_peer->close();
        QTRY_COMPARE(incoming(), (QStringList{kOpgebouwd, u"tot ziens"_s}));
        QTRY_VERIFY(!led()->isLit());
        QCOMPARE(incoming().size(), 2);
    }

    void completeFrameIsArchivedWithCrLf() {
        connectToPeer();
        m_peer->send(frame("<a>\n<b/>\r\n<c/>"));
        QTRY_COMPARE(archived(), QList<QByteArray>{"<a>\r\n<b/>\r\n<c/>\r\n"});
        QCOMPARE(QDir(m_xmlFolder).entryList(QDir::Files), QStringList{u"MC_0703202614050939.XML"_s});
    }

    void frameSplitOverTwoTicksIsArchivedFromNeither() {
        connectToPeer();
        const QByteArray whole = frame("<gesplitst/>");
        m_peer->send(whole.left(5));
        QTRY_COMPARE(incoming().size(), 2);
        m_peer->send(whole.mid(5));
        QTRY_COMPARE(incoming().size(), 3);
        QCOMPARE(incoming().mid(1),
                 (QStringList{QString::fromLatin1(whole.left(5)), QString::fromLatin1(whole.mid(5))}));
        QCOMPARE(archived(), QList<QByteArray>());
    }

    void archiveOffWritesNothing() {
        option(u"XMLBestandenBewaren"_s)->setChecked(false);
        connectToPeer();
        for (int i = 0; i < 3; ++i) {
            m_peer->send(frame("<p>" + QByteArray::number(i) + "</p>"));
            QTRY_COMPARE(incoming().size(), 2 + i);
        }
        QCOMPARE(QDir(m_xmlFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void unwritableArchiveFolderWritesAndLogsNothing() {
        // A file in the folder's place refuses every write, whoever the test runs as.
        QVERIFY(QDir(m_xmlFolder).removeRecursively());
        QFile blocker(m_xmlFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        option(u"ACKDisconnect"_s)->setChecked(true);
        connectToPeer();
        const QByteArray packet = frame("<verloren/>");
        m_peer->send(packet);
        // The poll goes on to its end-marker test as if the archive had succeeded.
        QTRY_COMPARE(incoming(), (QStringList{kOpgebouwd, QString::fromLatin1(packet), kVerbroken}));
        QCOMPARE(QFileInfo(m_xmlFolder).size(), 0);
        QCOMPARE(QDir(m_dir->path() + u"/RVxMMCLIENT"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{u"LOGS"_s, u"XML"_s}));
    }

    void twoFramesInOneSecondGiveTwoFiles() {
        connectToPeer();
        m_peer->send(frame("<eerste/>"));
        QTRY_COMPARE(incoming().size(), 2);
        m_peer->send(frame("<tweede/>"));
        QTRY_COMPARE(incoming().size(), 3);
        QCOMPARE(QDir(m_xmlFolder).entryList(QDir::Files),
                 (QStringList{u"MC_0703202614050939.XML"_s, u"MC_0703202614050939_2.XML"_s}));
        QCOMPARE(archived(), (QList<QByteArray>{"<eerste/>\r\n", "<tweede/>\r\n"}));
    }

private:
    LedLabel* led() { return m_window->findChild<LedLabel*>(u"VerbindingLed"_s); }
    QString memo(const QString& name) { return m_window->findChild<QPlainTextEdit*>(name)->toPlainText(); }
    // The archive's files in name order ("_2" sorts after the plain name).
    QList<QByteArray> archived() {
        QList<QByteArray> contents;
        for (const QString& name : QDir(m_xmlFolder).entryList(QDir::Files, QDir::Name)) {
            QFile f(m_xmlFolder + u'/' + name);
            if (f.open(QIODevice::ReadOnly))
                contents.append(f.readAll());
        }
        return contents;
    }

    std::optional<QTemporaryDir> m_dir;
    QDateTime m_now;
    QString m_xmlFolder;
};

RTCP_WINDOW_TEST_MAIN(TestLinkWindow)

#include "tst_linkwindow.moc"
