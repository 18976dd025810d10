#include <QTest>

#include "transport/transporterror.h"

using namespace Qt::Literals::StringLiterals;

class TestTransportError : public QObject {
    Q_OBJECT
private slots:
    void socketErrorMessage_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << 10061 << u"Socket Error # 10061\r\nConnection refused."_s;
        QTest::newRow("timed out") << 10060 << u"Socket Error # 10060\r\nConnection timed out."_s;
        QTest::newRow("first of the table") << 10004 << u"Socket Error # 10004\r\nInterrupted system call."_s;
        QTest::newRow("no full stop") << 10066 << u"Socket Error # 10066\r\nDirectory not empty"_s;
        QTest::newRow("host not found") << 11001 << u"Socket Error # 11001\r\nHost not found."_s;
        QTest::newRow("lookup, try again") << 11002 << u"Socket Error # 11002\r\n"_s;
        QTest::newRow("gap in the table") << 10005 << u"Socket Error # 10005\r\n"_s;
        QTest::newRow("past the table") << 10067 << u"Socket Error # 10067\r\n"_s;
    }
    void socketErrorMessage() {
        QFETCH(int, number);
        QFETCH(QString, message);
        const SocketError e(number);
        QCOMPARE(e.message(), message);
        QCOMPARE(e.number(), number);
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }

    void tableIsComplete() {
        // Every number from 10004 to 10066 that the table names, and none between.
        const QList<int> gaps{10005, 10006, 10007, 10008, 10010, 10011, 10012, 10015, 10016,
                              10017, 10018, 10019, 10020, 10021, 10023, 10025, 10026, 10027,
                              10028, 10029, 10030, 10031, 10032, 10033, 10034};
        for (int n = 10004; n <= 10066; ++n)
            QCOMPARE(SocketError::textOf(n).isEmpty(), gaps.contains(n));
    }

    void otherKinds() {
        QCOMPARE(ConnClosedGracefullyError().message(), u"Connection Closed Gracefully."_s);
        QCOMPARE(ReadTimeoutError().message(), u"Read timed out."_s);
        QCOMPARE(AlreadyConnectedError().message(), u"Already connected."_s);
        QCOMPARE(HostRequiredError().message(), QString());
        QCOMPARE(PortRequiredError().message(), QString());
        try {
            throw AlreadyConnectedError();
        } catch (const TransportError& e) {
            QCOMPARE(e.message(), u"Already connected."_s);
        }
    }
};

QTEST_GUILESS_MAIN(TestTransportError)
#include "tst_transporterror.moc"
