#include <QTest>

#include "update/httpresponsehead.h"

class TestHttpResponseHead : public QObject {
    Q_OBJECT
private slots:
    void headEnd_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qsizetype>("end");
        QTest::newRow("CR LF") << QByteArray("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody") << qsizetype(25);
        QTest::newRow("bare LF") << QByteArray("HTTP/1.0 200 OK\nA: b\n\nbody") << qsizetype(22);
        QTest::newRow("not yet") << QByteArray("HTTP/1.0 200 OK\r\nA: b\r\n") << qsizetype(-1);
        QTest::newRow("empty") << QByteArray() << qsizetype(-1);
    }
    void headEnd() {
        QFETCH(QByteArray, data);
        QFETCH(qsizetype, end);
        QCOMPARE(httpHeadEnd(data), end);
    }

    void statusLine_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("1.1") << QByteArray("HTTP/1.1 404 Not Found") << 404 << QByteArray("Not Found");
        QTest::newRow("1.0") << QByteArray("HTTP/1.0 200 OK") << 200 << QByteArray("OK");
        QTest::newRow("no reason") << QByteArray("HTTP/1.1 204") << 204 << QByteArray();
        QTest::newRow("no HTTP") << QByteArray("hello") << 0 << QByteArray();
        QTest::newRow("two digits") << QByteArray("HTTP/1.1 20 OK") << 0 << QByteArray();
        QTest::newRow("four digits") << QByteArray("HTTP/1.1 2000 OK") << 0 << QByteArray();
        QTest::newRow("letters") << QByteArray("HTTP/1.1 2x0 OK") << 0 << QByteArray();
    }
    void statusLine() {
        QFETCH(QByteArray, line);
        QFETCH(int, status);
        QFETCH(QByteArray, reason);
        const auto head = parseHttpResponseHead(QByteArray(line + "\r\n"));
        QCOMPARE(head.has_value(), status != 0);
        if (head) {
            QCOMPARE(head->status, status);
            QCOMPARE(head->reason, reason);
        }
    }

    void headerLinesAreNameColonBlankValue() {
        const auto head = parseHttpResponseHead("HTTP/1.1 200 OK\r\ncontent-length:12\r\nX-Long: one\r\n"
                                                "  two\r\nbroken line\r\nServer:   s  \r\n");
        QVERIFY(head);
        QCOMPARE(head->lines, (QList<QByteArray>{"content-length: 12", "X-Long: one two", "Server: s"}));
        QCOMPARE(head->header("Content-Length"), QByteArray("12"));
        QCOMPARE(head->contentLength(), std::optional<qint64>(12));
        QCOMPARE(head->header("Location"), QByteArray());
    }

    void contentLengthMustBeACount_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("negative") << QByteArray("-1");
        QTest::newRow("text") << QByteArray("many");
        QTest::newRow("empty") << QByteArray();
    }
    void contentLengthMustBeACount() {
        QFETCH(QByteArray, value);
        const auto head =
            parseHttpResponseHead(QByteArray("HTTP/1.1 200 OK\r\nContent-Length: " + value + "\r\n"));
        QVERIFY(head);
        QCOMPARE(head->contentLength(), std::nullopt);
    }

    void bodyAndRedirectKinds() {
        HttpResponseHead head;
        for (const int s : {100, 204, 304})
            QVERIFY(((head.status = s), !head.mayHaveBody()));
        for (const int s : {200, 401, 500})
            QVERIFY(((head.status = s), head.mayHaveBody()));
        for (const int s : {301, 302, 303, 307, 308})
            QVERIFY(((head.status = s), head.isRedirect()));
        for (const int s : {300, 304, 305})
            QVERIFY(((head.status = s), !head.isRedirect()));
    }
};

QTEST_GUILESS_MAIN(TestHttpResponseHead)
#include "tst_httpresponsehead.moc"
