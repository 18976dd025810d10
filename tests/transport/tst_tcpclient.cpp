#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <functional>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "closedport.h"
#include "deadpath.h"
#include "loopbackpeer.h"
#include "stalledhost.h"
#include "transport/tcpclient.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Everything the client tells its owner, in order.
class Recorder {
public:
    explicit Recorder(TcpClient& client) {
        QObject::connect(&client, &TcpClient::OnStatus, &m_context,
                         [this](HostStatus s, const QString& text) {
                             events << u"%1 %2"_s.arg(static_cast<int>(s)).arg(text);
                         });
        QObject::connect(&client, &TcpClient::OnConnected, &m_context,
                         [this] { events << u"OnConnected"_s; });
        QObject::connect(&client, &TcpClient::OnDisconnected, &m_context,
                         [this] { events << u"OnDisconnected"_s; });
    }
    QStringList events;

private:
    QObject m_context;
};

template <class Error>
QString messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.message();
    } catch (const std::exception& e) {
        return u"wrong kind: "_s + QString::fromUtf8(e.what());
    }
    return u"nothing raised"_s;
}

// Opens c to peer by its dotted address, so no name lookup is reported.
void connectTo(TcpClient& c, const LoopbackPeer& peer) {
    c.setHost(u"127.0.0.1"_s);
    c.setPort(peer.port());
    c.Connect();
}

// Calls Connected() until pred holds, swallowing nothing: a raise fails the test.
bool connectedUntil(TcpClient& c, const std::function<bool()>& pred) {
    QDeadlineTimer deadline(5s);
    while (!deadline.hasExpired()) {
        std::ignore = c.Connected();
        if (pred())
            return true;
        QTest::qWait(1);
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(DeadLinkLimits)

namespace {

int socketOption(qintptr handle, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    if (::getsockopt(static_cast<int>(handle), level, name, &value, &size) != 0)
        return -1;
    return value;
}

} // namespace

class TestTcpClient : public QObject {
    Q_OBJECT
private slots:
    void reportOrder_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QStringList>("expected");
        const QStringList tail{u"1 Connecting to 127.0.0.1."_s, u"2 Connected."_s, u"OnConnected"_s};
        QTest::newRow("dotted address") << u"127.0.0.1"_s << tail;
        for (const QString& h : {u"localhost"_s, u"LOCALHOST"_s, u"LocalHost"_s})
            QTest::newRow(qPrintable(h)) << h << QStringList{u"0 Resolving hostname "_s + h + u"."_s} + tail;
    }
    void reportOrder() {
        QFETCH(QString, host);
        QFETCH(QStringList, expected);
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        c.setHost(host);
        c.setPort(peer.port());
        c.Connect();
        QCOMPARE(r.events, expected);
        QVERIFY(c.Connected());
        QTRY_COMPARE(peer.connectionCount(), 1);
    }

    void refusal() {
        TcpClient c;
        Recorder r(c);
        c.setHost(u"127.0.0.1"_s);
        c.setPort(closedPort());
        QCOMPARE(messageOf<SocketError>([&] { c.Connect(); }),
                 u"Socket Error # 10061\r\nConnection refused."_s);
        QCOMPARE(r.events, QStringList{u"1 Connecting to 127.0.0.1."_s});
        QVERIFY(!c.Connected());
        QCOMPARE(c.InputBufferSize(), 0);
        // Nothing is left behind: a later Disconnect has nothing to report.
        c.Disconnect();
        QCOMPARE(r.events.size(), 1);
    }

    void requiredSettings_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("hostMissing");
        QTest::newRow("empty host") << QString() << 5000 << true;
        QTest::newRow("port 0") << u"127.0.0.1"_s << 0 << false;
        QTest::newRow("port 65536 is 0") << u"127.0.0.1"_s << 65536 << false;
        QTest::newRow("both missing") << QString() << 0 << true;
    }
    void requiredSettings() {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, hostMissing);
        TcpClient c;
        Recorder r(c);
        c.setHost(host);
        c.setPort(port);
        if (hostMissing)
            QCOMPARE(messageOf<HostRequiredError>([&] { c.Connect(); }), QString());
        else
            QCOMPARE(messageOf<PortRequiredError>([&] { c.Connect(); }), QString());
        QVERIFY(r.events.isEmpty());
    }

    void portKeepsLow16Bits() {
        TcpClient c;
        c.setPort(70000);
        QCOMPARE(c.Port(), 4464);
        c.setPort(-1);
        QCOMPARE(c.Port(), 65535);
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 4464))
            QSKIP("port 4464 is taken on this machine");
        c.setHost(u"127.0.0.1"_s);
        c.setPort(70000);
        c.Connect();
        QVERIFY(server.waitForNewConnection(5000));
    }

    void dottedAddressRules_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("resolved");
        QTest::newRow("four fields") << u"127.0.0.1"_s << false;
        QTest::newRow("leading zeros") << u"127.000.0.01"_s << false;
        QTest::newRow("field above 255") << u"127.0.0.256"_s << true;
        QTest::newRow("three fields") << u"127.0.1"_s << true;
        QTest::newRow("trailing dot") << u"127.0.0.1."_s << true;
        QTest::newRow("blank") << u"127.0.0. 1"_s << true;
    }
    void dottedAddressRules() {
        QFETCH(QString, host);
        QFETCH(bool, resolved);
        TcpClient c;
        Recorder r(c);
        c.setHost(host);
        c.setPort(closedPort());
        try {
            c.Connect();
        } catch (const SocketError&) {
        }
        QVERIFY(!r.events.isEmpty());
        QCOMPARE(r.events.front().startsWith(u"0 Resolving hostname "_s + host + u"."_s), resolved);
    }

    void peerSendsAndCloses() {
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        connectTo(c, peer);
        QTRY_COMPARE(peer.connectionCount(), 1);
        peer.send(QByteArray("hello"));
        peer.close();
        r.events.clear();
        QVERIFY(connectedUntil(c, [&] { return !r.events.isEmpty(); }));
        QCOMPARE(r.events, QStringList{u"4 Disconnected."_s});
        QCOMPARE(c.InputBufferSize(), 5);
        QVERIFY(c.Connected());
        QVERIFY(c.Connected());
        QCOMPARE(c.ReadBytes(5), QByteArray("hello"));
        QVERIFY(!c.Connected());
        c.Disconnect();
        QCOMPARE(r.events, QStringList{u"4 Disconnected."_s});
    }

    void disconnectOnOpenLink() {
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        connectTo(c, peer);
        QTRY_VERIFY(peer.clientOpen());
        r.events.clear();
        c.Disconnect();
        QCOMPARE(r.events, (QStringList{u"3 Disconnecting."_s, u"OnDisconnected"_s, u"4 Disconnected."_s}));
        QVERIFY(!c.Connected());
        QTRY_VERIFY(!peer.clientOpen());
        c.Disconnect();
        QCOMPARE(r.events.size(), 3);
        // The same handler opens again.
        c.Connect();
        QVERIFY(c.Connected());
        QTRY_COMPARE(peer.connectionCount(), 2);
    }

    void disconnectNoticesUnseenPeerClose() {
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        connectTo(c, peer);
        QTRY_VERIFY(peer.clientOpen());
        peer.close();
        r.events.clear();
        c.Disconnect();
        QCOMPARE(r.events, QStringList{u"4 Disconnected."_s});
    }

    void writeArrivesAsAscii_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii with controls") << u"\x01"
                                                "12\x02<a/>\x04\r\n"_s
                                             << QByteArray("\x01"
                                                           "12\x02<a/>\x04\r\n");
        QTest::newRow("e acute to its letter") << u"caf\u00e9"_s << QByteArray("cafe");
        QTest::newRow("euro sign has no fit") << u"5\u20ac"_s << QByteArray("5?");
        QTest::newRow("surrogate pair, two bytes") << u"a\U0001F600b"_s << QByteArray("a??b");
        QTest::newRow("NUL byte") << QString(QChar(0)) << QByteArray(1, '\0');
    }
    void writeArrivesAsAscii() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        LoopbackPeer peer;
        TcpClient c;
        connectTo(c, peer);
        c.Write(text);
        c.Write(QString());
        QTRY_COMPARE(peer.received(), bytes);
        QCOMPARE(bytes.size(), text.size());
    }

    void writeAfterPeerClosed() {
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        connectTo(c, peer);
        QTRY_COMPARE(peer.connectionCount(), 1);
        peer.send(QByteArray("x"));
        peer.close();
        QVERIFY(connectedUntil(c, [&] { return r.events.contains(u"4 Disconnected."_s); }));
        QCOMPARE(c.InputBufferSize(), 1);
        QCOMPARE(messageOf<ConnClosedGracefullyError>([&] { c.Write(u"abc"_s); }),
                 u"Connection Closed Gracefully."_s);
        QCOMPARE(r.events.count(u"4 Disconnected."_s), 1);
    }

    void writeNoticesCloseNotYetSeen() {
        // A close found by the write itself, not by an earlier Connected().
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        connectTo(c, peer);
        QTRY_VERIFY(peer.clientOpen());
        peer.reset();
        QCOMPARE(messageOf<SocketError>([&] { c.Write(u"abc"_s); }),
                 u"Socket Error # 10054\r\nConnection reset by peer."_s);
        QVERIFY(!c.Connected());
        QCOMPARE(messageOf<ConnClosedGracefullyError>([&] { c.Write(u"abc"_s); }),
                 u"Connection Closed Gracefully."_s);
    }

    void connectionResetByPeer() {
        LoopbackPeer peer;
        TcpClient c;
        Recorder r(c);
        connectTo(c, peer);
        QTRY_VERIFY(peer.clientOpen());
        peer.reset();
        QString message;
        QDeadlineTimer deadline(5s);
        while (message.isEmpty() && !deadline.hasExpired()) {
            try {
                std::ignore = c.Connected();
            } catch (const SocketError& e) {
                message = e.message();
            }
            QTest::qWait(1);
        }
        QCOMPARE(message, u"Socket Error # 10054\r\nConnection reset by peer."_s);
        // The reset is raised once; then the link reads as closed.
        QVERIFY(connectedUntil(c, [&] { return r.events.contains(u"4 Disconnected."_s); }));
        QVERIFY(!c.Connected());
    }

    void bigWriteToSlowReaderArrivesWhole() {
        LoopbackPeer peer;
        peer.setSlowReading(256 * 1024, 2ms);
        TcpClient c(nullptr, 21s, 5s);
        connectTo(c, peer);
        QString text(6 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(static_cast<char16_t>(u'0' + i % 71));
        c.Write(text);
        QTRY_COMPARE_WITH_TIMEOUT(peer.receivedSize(), text.size(), 20000);
        QVERIFY(peer.received() == text.toLatin1());
    }

    void sendWithoutProgressTimesOut() {
        LoopbackPeer peer;
        peer.setPaused(true);
        TcpClient c(nullptr, 21s, 300ms);
        Recorder r(c);
        connectTo(c, peer);
        QTRY_COMPARE(peer.connectionCount(), 1);
        const QString text(64 * 1024 * 1024, u'x');
        QElapsedTimer t;
        t.start();
        QCOMPARE(messageOf<SocketError>([&] { c.Write(text); }),
                 u"Socket Error # 10060\r\nConnection timed out."_s);
        QVERIFY(t.elapsed() < 10000);
        // The stalled link is dropped so that no second frame follows a partial one.
        QVERIFY(!c.Connected());
        QCOMPARE(messageOf<ConnClosedGracefullyError>([&] { c.Write(u"a"_s); }),
                 u"Connection Closed Gracefully."_s);
    }

    void connectTimesOutOnFullBacklog() {
        // A listener that never accepts, with its queue full: Linux drops further handshakes,
        // so the connect hangs like one to an unreachable host.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        QCOMPARE(::listen(listener, 0), 0);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        const quint16 port = ntohs(a.sin_port);
        std::vector<std::unique_ptr<TcpClient>> fillers;
        QString message;
        for (int i = 0; i < 8 && message.isEmpty(); ++i) {
            auto c = std::make_unique<TcpClient>(nullptr, 300ms);
            c->setHost(u"127.0.0.1"_s);
            c->setPort(port);
            try {
                c->Connect();
            } catch (const SocketError& e) {
                message = e.message();
            }
            fillers.push_back(std::move(c));
        }
        ::close(listener);
        QCOMPARE(message, u"Socket Error # 10060\r\nConnection timed out."_s);
    }

    void alreadyConnected() {
        LoopbackPeer peer;
        TcpClient c;
        connectTo(c, peer);
        QCOMPARE(messageOf<AlreadyConnectedError>([&] { c.Connect(); }), u"Already connected."_s);
        QTRY_COMPARE(peer.connectionCount(), 1);
        peer.send(QByteArray("abc"));
        peer.close();
        QVERIFY(connectedUntil(c, [&] { return !c.Connected() || c.InputBufferSize() == 3; }));
        c.Disconnect();
        QCOMPARE(c.InputBufferSize(), 3);
        // Unread bytes keep the link "connected" for Connect.
        QCOMPARE(messageOf<AlreadyConnectedError>([&] { c.Connect(); }), u"Already connected."_s);
        QCOMPARE(c.ReadBytes(3), QByteArray("abc"));
        c.Connect();
        QCOMPARE(c.InputBufferSize(), 0);
        QTRY_COMPARE(peer.connectionCount(), 2);
    }

    void readBytesWaits() {
        LoopbackPeer peer;
        TcpClient c;
        c.setHost(u"127.0.0.1"_s);
        c.setPort(peer.port());
        c.setReadTimeout(100);
        c.Connect();
        QTRY_COMPARE(peer.connectionCount(), 1);
        QCOMPARE(c.ReadBytes(0), QByteArray());
        QCOMPARE(messageOf<ReadTimeoutError>([&] { std::ignore = c.ReadBytes(1); }), u"Read timed out."_s);
        peer.send(QByteArray("12345"));
        c.setReadTimeout(-1);
        QCOMPARE(c.ReadBytes(2), QByteArray("12"));
        QCOMPARE(c.ReadBytes(3), QByteArray("345"));
        peer.send(QByteArray("67"));
        peer.close();
        QCOMPARE(messageOf<ConnClosedGracefullyError>([&] { std::ignore = c.ReadBytes(5); }),
                 u"Connection Closed Gracefully."_s);
        QCOMPARE(c.InputBufferSize(), 2);
        QCOMPARE(c.ReadBytes(2), QByteArray("67"));
    }

    void receiveTakesAtMost32768PerCall() {
        LoopbackPeer peer;
        TcpClient c;
        connectTo(c, peer);
        QTRY_COMPARE(peer.connectionCount(), 1);
        peer.send(QByteArray(100000, 'z'));
        qsizetype last = 0;
        QVERIFY(connectedUntil(c, [&] {
            const qsizetype now = c.InputBufferSize();
            const bool ok = now - last <= 32768;
            last = now;
            return !ok || now == 100000;
        }));
        QCOMPARE(c.InputBufferSize(), 100000);
    }

    // The limits as the kernel holds them on a connected socket: what the client is built with
    // by default gives a dead link up, idle or busy, with the receive poll's 500 ms on top,
    // within 45 s.
    void deadLinkLimitsOnTheSocket() {
        LoopbackPeer peer;
        TcpClient c;
        connectTo(c, peer);
        const qintptr s = c.socketDescriptor();
        QVERIFY(s >= 0);
        QCOMPARE(socketOption(s, SOL_SOCKET, SO_KEEPALIVE), 1);
        const DeadLinkLimits set{std::chrono::seconds(socketOption(s, IPPROTO_TCP, TCP_KEEPIDLE)),
                                 std::chrono::seconds(socketOption(s, IPPROTO_TCP, TCP_KEEPINTVL)),
                                 socketOption(s, IPPROTO_TCP, TCP_KEEPCNT),
                                 std::chrono::milliseconds(socketOption(s, IPPROTO_TCP, TCP_USER_TIMEOUT))};
        const DeadLinkLimits defaults;
        QCOMPARE(set.idle, defaults.idle);
        QCOMPARE(set.interval, defaults.interval);
        QCOMPARE(set.probes, defaults.probes);
        QCOMPARE(set.userTimeout, defaults.userTimeout);
        QVERIFY2(set.userTimeout > 0ms, "without a user timeout unacknowledged bytes wait 15 minutes");
        QVERIFY2(set.giveUp() + 500ms < 45s, qPrintable(QString::number(set.giveUp().count())));
        c.Disconnect();
        QCOMPARE(c.socketDescriptor(), qintptr(-1));
    }

    // Keepalive probes on a live idle link are answered by the host's kernel: several rounds of
    // them and of the user timeout pass, the link stays up, and the host's stream holds only
    // what was written.
    void liveIdleLinkOutlastsItsProbes() {
        LoopbackPeer peer;
        TcpClient c(nullptr, 21s, 21s, DeadLinkLimits{1s, 1s, 1, 1500ms});
        connectTo(c, peer);
        QTRY_VERIFY(peer.clientOpen());
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 4000) {
            QVERIFY(c.Connected());
            QTest::qWait(50);
        }
        c.Write(u"x"_s);
        QTRY_COMPARE(peer.received(), QByteArray("x"));
        QVERIFY(c.Connected());
    }

    // A path that dies without a word after the link was up (every packet to and from the host
    // dropped, the host forgetting the connection): the kernel gives it up within the limits,
    // the receive poll's zero-wait test reports 10060 once, and then the link reads as closed.
    // Idle, the keepalive probes find it; with bytes waiting unacknowledged, the user timeout
    // does, the probes being too slow to matter.
    void deadPathIsGivenUp_data() {
        QTest::addColumn<DeadLinkLimits>("limits");
        QTest::addColumn<bool>("bytesWaiting");
        QTest::addColumn<int>("notBeforeMs");
        QTest::newRow("idle") << DeadLinkLimits{1s, 1s, 2, 3000ms} << false << 2500;
        QTest::newRow("bytes waiting") << DeadLinkLimits{60s, 60s, 2, 2000ms} << true << 1800;
    }
    void deadPathIsGivenUp() {
        QFETCH(DeadLinkLimits, limits);
        QFETCH(bool, bytesWaiting);
        QFETCH(int, notBeforeMs);
        DeadPath path;
        if (!path.unavailable().isEmpty())
            QSKIP(qPrintable(path.unavailable()));
        LoopbackPeer peer;
        TcpClient c(nullptr, 21s, 21s, limits);
        Recorder r(c);
        connectTo(c, peer);
        QTRY_VERIFY(peer.clientOpen());
        QVERIFY(path.cut(peer.port()));
        peer.reset(); // its RST is dropped too: the client hears nothing
        QElapsedTimer sinceCut;
        sinceCut.start();
        if (bytesWaiting)
            c.Write(u"<rit nr=\"7\"/>"_s);
        QString message;
        while (message.isEmpty() && sinceCut.elapsed() < 20000) {
            try {
                QVERIFY(c.Connected());
            } catch (const SocketError& e) {
                message = e.message();
            }
            QTest::qWait(20);
        }
        const qint64 took = sinceCut.elapsed();
        QCOMPARE(message, u"Socket Error # 10060\r\nConnection timed out."_s);
        QVERIFY2(took >= notBeforeMs, qPrintable(QString::number(took)));
        QVERIFY2(took <= limits.giveUp().count() + 1500, qPrintable(QString::number(took)));
        QVERIFY(connectedUntil(c, [&] { return r.events.contains(u"4 Disconnected."_s); }));
        QVERIFY(!c.Connected());
        QCOMPARE(messageOf<ConnClosedGracefullyError>([&] { c.Write(u"a"_s); }),
                 u"Connection Closed Gracefully."_s);
        QCOMPARE(peer.receivedSize(), 0);
        QVERIFY(!r.events.contains(u"OnDisconnected"_s));
    }

    // The send queue waited for: empty at once with a host that reads; with one that stops
    // reading, 10060 once it has not shrunk for the limit, and the link is dropped with a reset
    // so the queued rest never arrives late.
    void waitUntilAcknowledgedFollowsTheHostsTcp() {
        StalledHost host;
        host.setPaused(false);
        TcpClient c(nullptr, 5s, 5s);
        Recorder r(c);
        c.setHost(u"127.0.0.1"_s);
        c.setPort(host.port());
        c.Connect();
        c.Write(QString(4000, u'a'));
        QVERIFY(c.waitUntilAcknowledged(1s).ok());
        QTRY_COMPARE(host.received().size(), 4000);

        host.setPaused(true);
        c.Write(QString(8000, u'b'));
        QElapsedTimer clock;
        clock.start();
        const Result<void> taken = c.waitUntilAcknowledged(300ms);
        QVERIFY(!taken.ok());
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(taken.failure().code, 10060);
        QCOMPARE(taken.message(), u"Socket Error # 10060\r\nConnection timed out."_s);
        QCOMPARE(r.events.last(), u"4 Disconnected."_s);
        QVERIFY(!c.Connected());
        QCOMPARE(c.waitUntilAcknowledged(1s).failure().code, 10057);
        host.setPaused(false);
        QTest::qWait(100);
        QVERIFY(host.received().size() < 4000 + 8000);
    }
};

QTEST_GUILESS_MAIN(TestTcpClient)
#include "tst_tcpclient.moc"
