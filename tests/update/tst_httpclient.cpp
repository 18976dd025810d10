#include <QBuffer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>

#include "httpresponder.h"
#include "update/httpclient.h"

using namespace Qt::Literals::StringLiterals;

namespace {
// A server that keeps the raw request bytes and answers as the test says, once the request's
// empty line has arrived.
class RawServer : public QObject {
public:
    explicit RawServer(std::function<void(QTcpSocket*)> answer)
        : m_answer(std::move(answer)) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_answered && m_request.contains("\r\n\r\n")) {
                        m_answered = true;
                        m_answer(socket);
                    }
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString& path) const { return u"http://127.0.0.1:%1%2"_s.arg(port()).arg(path); }
    const QByteArray& request() const { return m_request; }

private:
    QTcpServer m_server;
    std::function<void(QTcpSocket*)> m_answer;
    QByteArray m_request;
    bool m_answered = false;
};
} // namespace

class TestHttpClient : public QObject {
    Q_OBJECT
private slots:
    void getSendsTheListedHeaders() {
        HttpResponder server;
        server.route("/info.txt", HttpResponder::ok("[A]\r\nVersion=1\r\n"));
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/info.txt"_s));
        client.setReceiveStream(&sink);
        const auto got = client.get();
        QVERIFY2(got.ok(), qPrintable(got.ok() ? QString() : got.message()));
        QCOMPARE(sink.data(), QByteArray("[A]\r\nVersion=1\r\n"));
        QCOMPARE(client.receivedCount(), 16);
        QCOMPARE(server.requests().size(), 1);
        const auto& r = server.requests()[0];
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.target, QByteArray("/info.txt"));
        QCOMPARE(r.header("User-Agent"), QByteArray("Mozilla/4.0 (compatible; ICS)"));
        QCOMPARE(r.header("Accept"), QByteArray("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*"));
        QCOMPARE(r.header("Pragma"), QByteArray("no-cache"));
    }

    void statusRule_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("fails");
        QTest::newRow("200") << 200 << false;
        QTest::newRow("399") << 399 << false;
        QTest::newRow("400") << 400 << true;
        QTest::newRow("401 is no failure") << 401 << false;
        QTest::newRow("403") << 403 << true;
        QTest::newRow("404") << 404 << true;
        QTest::newRow("407 is no failure") << 407 << false;
        QTest::newRow("500") << 500 << true;
    }
    void statusRule() {
        QFETCH(int, status);
        QFETCH(bool, fails);
        HttpResponder server;
        server.route("/f", HttpResponder::status(status, "Reason Here", "body"));
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/f"_s));
        client.setReceiveStream(&sink);
        const auto got = client.get();
        QCOMPARE(!got.ok(), fails);
        if (fails) {
            QCOMPARE(got.failure().code, status);
            QCOMPARE(got.message(), u"Reason Here"_s);
        } else {
            QCOMPARE(sink.data(), QByteArray("body"));
        }
    }

    void redirectsAreFollowedUpToFive_data() {
        QTest::addColumn<int>("hops");
        QTest::addColumn<bool>("ok");
        QTest::newRow("one") << 1 << true;
        QTest::newRow("five") << 5 << true;
        QTest::newRow("six") << 6 << false;
    }
    void redirectsAreFollowedUpToFive() {
        QFETCH(int, hops);
        QFETCH(bool, ok);
        HttpResponder server;
        for (int i = 0; i < hops; ++i)
            server.route("/r" + QByteArray::number(i),
                         HttpResponder::redirect("/r" + QByteArray::number(i + 1)));
        server.route("/r" + QByteArray::number(hops), HttpResponder::ok("end"));
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/r0"_s));
        client.setReceiveStream(&sink);
        const auto got = client.get();
        QCOMPARE(got.ok(), ok);
        if (ok)
            QCOMPARE(sink.data(), QByteArray("end"));
    }

    void connectionRefusedFails() {
        quint16 port = 0;
        {
            HttpResponder gone;
            port = gone.port();
        }
        HttpClient client;
        client.setUrl(u"http://127.0.0.1:%1/x"_s.arg(port));
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.failure().code, 404);
        QVERIFY(!got.message().isEmpty());
    }

    void shortBodyFails() {
        HttpResponder server;
        auto response = HttpResponder::ok(QByteArray(1000, 'x'));
        response.cutAfter = 400;
        server.route("/pkg", response);
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/pkg"_s));
        client.setReceiveStream(&sink);
        QVERIFY(!client.get().ok());
    }

    void writeErrorFailsAndStops() {
        HttpResponder server;
        server.route("/pkg", HttpResponder::ok(QByteArray(100000, 'x')));
        HttpClient client;
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        client.setUrl(server.url(u"/pkg"_s));
        client.setReceiveStream(&readOnly);
        QVERIFY(!client.get().ok());
    }

    void abortWhileTheBodyIsHeld() {
        HttpResponder server;
        auto response = HttpResponder::ok(QByteArray(5000, 'x'));
        response.holdAfter = 2500;
        server.route("/pkg", response);
        HttpClient client;
        client.setUrl(server.url(u"/pkg"_s));
        connect(&client, &HttpClient::documentData, this, [&client] {
            if (client.receivedCount() == 2500)
                client.abort();
        });
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.failure().code, 404);
        QCOMPARE(client.receivedCount(), 2500);
        QVERIFY(!client.busy());
    }

    void keepsTheEventLoopRunning() {
        HttpResponder server;
        auto response = HttpResponder::ok(QByteArray(10, 'x'));
        response.holdAfter = 2;
        server.route("/slow", response);
        HttpClient client;
        client.setUrl(server.url(u"/slow"_s));
        bool ticked = false;
        QTimer::singleShot(20, this, [&] {
            ticked = true;
            server.release();
        });
        QVERIFY(client.get().ok());
        QVERIFY(ticked);
        QCOMPARE(client.receivedCount(), 10);
    }

    void secondRequestWhileOneRunsIsRefused() {
        HttpResponder server;
        auto response = HttpResponder::ok(QByteArray(10, 'x'));
        response.holdAfter = 2;
        server.route("/slow", response);
        HttpClient client;
        client.setUrl(server.url(u"/slow"_s));
        std::optional<bool> nested;
        connect(&client, &HttpClient::documentData, this, [&] {
            if (nested)
                return;
            nested = client.get().ok();
            server.release();
        });
        QVERIFY(client.get().ok());
        QCOMPARE(nested, std::optional<bool>(false));
    }

    void headGivesTheHeaderLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("canonical") << QByteArray("Content-Length: 1048576");
        QTest::newRow("lower case") << QByteArray("content-length: 1048576");
        QTest::newRow("no blank") << QByteArray("Content-Length:1048576");
    }
    void headGivesTheHeaderLines() {
        QFETCH(QByteArray, line);
        HttpResponder server;
        server.route("HEAD", "/pkg", {"HTTP/1.1 200 OK\r\n" + line + "\r\n", {}});
        HttpClient client;
        client.setUrl(server.url(u"/pkg"_s));
        QVERIFY(client.head().ok());
        QCOMPARE(server.requests().value(0).method, QByteArray("HEAD"));
        bool found = false;
        for (const QByteArray& l : client.headerLines())
            found = found || l.toLower() == "content-length: 1048576";
        QVERIFY2(found, client.headerLines().join('|').constData());
    }

    void proxyCarriesTheRequest() {
        HttpResponder proxy;
        proxy.route("/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt", HttpResponder::ok("via proxy"));
        HttpClient client;
        client.setProxy(u"127.0.0.1"_s, QString::number(proxy.port()));
        client.setUrl(u"http://update.invalid/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt"_s);
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setReceiveStream(&sink);
        QVERIFY(client.get().ok());
        QCOMPARE(sink.data(), QByteArray("via proxy"));
        QCOMPARE(proxy.requests().value(0).target,
                 QByteArray("http://update.invalid/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt"));
    }

    void redirectChainMixesRelativeAndAbsolute_data() {
        QTest::addColumn<int>("hops");
        QTest::addColumn<bool>("ok");
        QTest::newRow("five") << 5 << true;
        QTest::newRow("sixth fails") << 6 << false;
    }
    void redirectChainMixesRelativeAndAbsolute() {
        QFETCH(int, hops);
        QFETCH(bool, ok);
        HttpResponder server;
        for (int i = 0; i < hops; ++i) {
            const QByteArray next = "/dir/r" + QByteArray::number(i + 1);
            // Odd hops name a path relative to the current one, even hops the whole URL.
            server.route("/dir/r" + QByteArray::number(i),
                         HttpResponder::redirect(i % 2 ? next.sliced(5)
                                                       : server.url(QString::fromLatin1(next)).toLatin1()));
        }
        server.route("/dir/r" + QByteArray::number(hops), HttpResponder::ok("end"));
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/dir/r0"_s));
        client.setReceiveStream(&sink);
        const auto got = client.get();
        QCOMPARE(got.ok(), ok);
        if (ok) {
            QCOMPARE(sink.data(), QByteArray("end"));
            QCOMPARE(server.requests().size(), hops + 1);
            for (int i = 0; i <= hops; ++i)
                QCOMPARE(server.requests()[i].target, "/dir/r" + QByteArray::number(i));
        } else {
            QCOMPARE(got.failure().code, 404);
            QCOMPARE(got.message(), u"Too many redirections"_s);
            QCOMPARE(server.requests().size(), HttpClient::kMaxRedirects + 1);
            QVERIFY(sink.data().isEmpty());
        }
    }

    void bodyCutShortOfItsLengthFails() {
        HttpResponder server;
        auto response = HttpResponder::ok(QByteArray(1000, 'x'));
        response.cutAfter = 400;
        server.route("/pkg", response);
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/pkg"_s));
        client.setReceiveStream(&sink);
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.failure().code, 404);
        QCOMPARE(got.message(), u"Connection closed before the whole body arrived"_s);
        QCOMPARE(client.receivedCount(), 400);
        QCOMPARE(sink.data().size(), 400);
    }

    void bodyWithoutLengthEndsAtClose() {
        RawServer server([](QTcpSocket* s) {
            s->write("HTTP/1.0 200 OK\r\n\r\nall of it");
            s->disconnectFromHost();
        });
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/x"_s));
        client.setReceiveStream(&sink);
        QVERIFY(client.get().ok());
        QCOMPARE(sink.data(), QByteArray("all of it"));
    }

    void closeWithoutStatusLineFails_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("half a head") << QByteArray("HTTP/1.1 200 OK\r\nContent-Le");
        QTest::newRow("no HTTP") << QByteArray("hello\r\n\r\n");
    }
    void closeWithoutStatusLineFails() {
        QFETCH(QByteArray, answer);
        RawServer server([answer](QTcpSocket* s) {
            s->write(answer);
            s->disconnectFromHost();
        });
        HttpClient client;
        client.setUrl(server.url(u"/x"_s));
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.failure().code, 404);
        QVERIFY(!got.message().isEmpty());
        QVERIFY(!client.busy());
    }

    void requestLineThroughAProxyCarriesTheWholeUrl() {
        RawServer proxy([](QTcpSocket* s) { s->write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"); });
        HttpClient client;
        client.setProxy(u"127.0.0.1"_s, u" %1 "_s.arg(proxy.port()));
        client.setUrl(u"http://update.invalid:8080/a/b.txt?v=1#part"_s);
        QVERIFY(client.get().ok());
        QVERIFY2(proxy.request().startsWith("GET http://update.invalid:8080/a/b.txt?v=1 HTTP/1.0\r\n"),
                 proxy.request().constData());
        QVERIFY(proxy.request().contains("\r\nHost: update.invalid:8080\r\n"));
    }

    void directRequestLineIsHttp10WithThePath() {
        RawServer server([](QTcpSocket* s) { s->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); });
        HttpClient client;
        client.setUrl(server.url(u"/a%20b/c.txt?q=1"_s));
        QVERIFY(client.head().ok());
        QVERIFY2(server.request().startsWith("HEAD /a%20b/c.txt?q=1 HTTP/1.0\r\n"),
                 server.request().constData());
        QVERIFY(server.request().contains("\r\nPragma: no-cache\r\n"));
    }

    void abortFromAHandlerWhileASlowServerSends() {
        QTimer drip;
        RawServer server([&drip](QTcpSocket* s) {
            s->write("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n");
            QObject::connect(&drip, &QTimer::timeout, s, [s] { s->write(QByteArray(10, 'x')); });
            drip.start(5);
        });
        HttpClient client;
        client.setUrl(server.url(u"/slow"_s));
        int arrivals = 0;
        connect(&client, &HttpClient::documentData, this, [&] {
            if (++arrivals == 3)
                client.abort();
        });
        QElapsedTimer clock;
        clock.start();
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.failure().code, 404);
        QCOMPARE(got.message(), u"Operation aborted"_s);
        QCOMPARE(arrivals, 3);
        QVERIFY(client.receivedCount() < 100000);
        QVERIFY(!client.busy());
        QVERIFY(clock.elapsed() < 5000);
    }

    void abortWhileConnectingToASilentServer() {
        // Nothing answers: the request waits for the head until it is aborted.
        RawServer server([](QTcpSocket*) {});
        HttpClient client;
        client.setUrl(server.url(u"/x"_s));
        QTimer::singleShot(30, &client, &HttpClient::abort);
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.message(), u"Operation aborted"_s);
    }

    void unauthorizedIsNoFailure() {
        HttpResponder server;
        server.route("/secret", {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
                                 "Content-Length: 6\r\n",
                                 "denied"});
        HttpClient client;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        client.setUrl(server.url(u"/secret"_s));
        client.setReceiveStream(&sink);
        QVERIFY(client.get().ok());
        QCOMPARE(sink.data(), QByteArray("denied"));
        QVERIFY(client.headerLines().contains("WWW-Authenticate: Basic realm=\"x\""));
        QCOMPARE(server.requests().size(), 1);
    }

    void httpsIsRefusedWithAReason() {
        HttpClient client;
        client.setUrl(u"https://update.invalid/x"_s);
        const auto got = client.get();
        QVERIFY(!got.ok());
        QCOMPARE(got.failure().code, 404);
        QVERIFY2(got.message().contains(u"https"_s), qPrintable(got.message()));
    }

    void redirectToHttpsFails() {
        HttpResponder server;
        server.route("/x", HttpResponder::redirect("https://127.0.0.1/y"));
        HttpClient client;
        client.setUrl(server.url(u"/x"_s));
        const auto got = client.get();
        QVERIFY(!got.ok());
        QVERIFY2(got.message().contains(u"https"_s), qPrintable(got.message()));
    }
};

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
