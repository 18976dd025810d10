#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include "tools/dispatchsim/dispatchhost.h"

using namespace Qt::Literals::StringLiterals;

class TestDispatchHost : public QObject {
    Q_OBJECT
private slots:
    void takesCompleteFrames_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QByteArray>("rest");
        QTest::newRow("one full frame") << QByteArray("\x01"
                                                      "4\x02QUJD\x04")
                                        << QList<QByteArray>{"\x01"
                                                             "4\x02QUJD\x04"}
                                        << QByteArray();
        QTest::newRow("length without EOT") << QByteArray("\x01"
                                                          "4\x02QUJD\x01")
                                            << QList<QByteArray>{"\x01"
                                                                 "4\x02QUJD"}
                                            << QByteArray("\x01");
        QTest::newRow("half a frame waits") << QByteArray("\x01"
                                                          "8\x02QUJD")
                                            << QList<QByteArray>{}
                                            << QByteArray("\x01"
                                                          "8\x02QUJD");
        QTest::newRow("plain up to EOT")
            << QByteArray("hello\x04wor") << QList<QByteArray>{"hello\x04"} << QByteArray("wor");
        QTest::newRow("two frames") << QByteArray("a\x04"
                                                  "b\x04")
                                    << QList<QByteArray>{"a\x04", "b\x04"} << QByteArray();
    }
    void takesCompleteFrames() {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QByteArray, rest);
        QCOMPARE(DispatchHost::takeFrames(stream), frames);
        QCOMPARE(stream, rest);
    }

    void framesWithTheOptionsMarkers() {
        DispatchHost::Options o;
        QCOMPARE(DispatchHost::frameOf("ABC", o), QByteArray("\x01"
                                                             "4\x02QUJD\x04"));
        o.soh = o.lengthAndStx = o.eot = o.base64 = false;
        QCOMPARE(DispatchHost::frameOf("ABC", o), QByteArray("ABC"));
    }

    void acknowledgesAndSendsOnItsPeriod() {
        QString printed;
        QTextStream out(&printed);
        DispatchHost::Options o;
        o.period = std::chrono::milliseconds(20);
        o.packets = {"<a/>"};
        DispatchHost host(o, out);
        QVERIFY(host.listen(u"127.0.0.1"_s, 0));
        QSignalSpy received(&host, &DispatchHost::frameReceived);
        QTcpSocket client;
        client.connectToHost(u"127.0.0.1"_s, host.port());
        QVERIFY(client.waitForConnected(5000));
        client.write("\x01"
                     "4\x02QUJD\x04");
        QVERIFY(received.wait(5000));
        QByteArray got;
        const QByteArray frame = DispatchHost::frameOf("<a/>", o);
        QTRY_VERIFY((got += client.readAll()).contains("ACK\x04") && got.count(frame) >= 2);
        QVERIFY(printed.contains(u"<SOH>4<STX>QUJD<EOT>"_s));
        QVERIFY(printed.contains(u"Base64-decoded: ABC"_s));

        // Stopped, it sends nothing more, and its count is exactly what the client got.
        host.setPeriod(std::chrono::milliseconds(0));
        const qint64 sent = host.bytesSent();
        QTRY_COMPARE((got += client.readAll()).size(), sent);
        QTest::qWait(100);
        QCOMPARE(host.bytesSent(), sent);
    }
};

QTEST_GUILESS_MAIN(TestDispatchHost)
#include "tst_dispatchhost.moc"
