#include <QBuffer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "httpresponder.h"
#include "update/httpclient.h"

using namespace Qt::Literals::StringLiterals;

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
};

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
