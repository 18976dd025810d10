#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "link/frameanalysis.h"
#include "link/framelog.h"

using namespace Qt::Literals::StringLiterals;

namespace {

FrameRecord received(const QByteArray& bytes, FrameRecord::Archive archive = FrameRecord::Archive::NoFrame) {
    FrameRecord record;
    record.bytes = bytes;
    record.archive = archive;
    return record;
}

} // namespace

// The inspector's verdicts on the bytes as they travelled, and the bounded table that shows them.
class TestFrameAnalysis : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

    void verdicts_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("markers");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("base64");
        QTest::addColumn<QString>("firstLine");
        // "<a/>\r\n<b/>" in Base64 is PGEvPg0KPGIvPg== (16 characters).
        QTest::newRow("whole frame") << QByteArray("\x01"
                                                   "16\x02PGEvPg0KPGIvPg==\x04")
                                     << u"SOH, lengte + STX, EOT"_s << u"16 / 16"_s << u"geldig"_s
                                     << u"<a/>"_s;
        QTest::newRow("declared too long")
            << QByteArray("\x01"
                          "20\x02PGEvPg0KPGIvPg==\x04")
            << u"SOH, lengte + STX, EOT"_s << u"20 / 16 (wijkt af)"_s << u"geldig"_s << u"<a/>"_s;
        QTest::newRow("declared too short")
            << QByteArray("\x01"
                          "8\x02PGEvPg0KPGIvPg==\x04")
            << u"SOH, lengte + STX, EOT"_s << u"8 / 16 (wijkt af)"_s << u"geldig"_s << u"<a/>"_s;
        QTest::newRow("no EOT") << QByteArray("\x01"
                                              "8\x02PGEvPg0K")
                                << u"SOH, lengte + STX"_s << u"8 / 8"_s << u"geldig"_s << u"<a/>"_s;
        QTest::newRow("bad character at 7")
            << QByteArray("\x01"
                          "8\x02PG*vPg0K\x04")
            << u"SOH, lengte + STX, EOT"_s << u"8 / 8"_s << u"ongeldig vanaf byte 5"_s << u"PG*vPg0K"_s;
        QTest::newRow("bad after a clean group")
            << QByteArray("\x01"
                          "8\x02PGEv\r\nPg\x04")
            << u"SOH, lengte + STX, EOT"_s << u"8 / 8"_s << u"ongeldig vanaf byte 7"_s << u"PGEv"_s;
        QTest::newRow("unfinished group")
            << QByteArray("\x01"
                          "6\x02PGEvPg\x04")
            << u"SOH, lengte + STX, EOT"_s << u"6 / 6"_s << u"ongeldig vanaf byte 7"_s << u"PGEvPg"_s;
        QTest::newRow("pad in the middle")
            << QByteArray("\x01"
                          "8\x02PG==Pg0K\x04")
            << u"SOH, lengte + STX, EOT"_s << u"8 / 8"_s << u"ongeldig vanaf byte 7"_s << u"PG==Pg0K"_s;
        QTest::newRow("no STX") << QByteArray("\x01PGEv\x04") << u"SOH, EOT"_s << u"geen / 4"_s << u"geldig"_s
                                << u"<a/"_s;
        QTest::newRow("no markers") << QByteArray("plain text") << u"geen"_s << u"geen / 10"_s
                                    << u"ongeldig vanaf byte 5"_s << u"plain text"_s;
        QTest::newRow("empty payload") << QByteArray("\x01\x02\x04") << u"SOH, lengte + STX, EOT"_s
                                       << u"0 / 0"_s << u"geldig"_s << QString();
    }
    void verdicts() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, markers);
        QFETCH(QString, length);
        QFETCH(QString, base64);
        QFETCH(QString, firstLine);
        FrameLog log;
        std::ignore = log.append(received(bytes));
        QCOMPARE(log.data(log.index(0, FrameLog::MarkersColumn)).toString(), markers);
        QCOMPARE(log.data(log.index(0, FrameLog::LengthColumn)).toString(), length);
        QCOMPARE(log.data(log.index(0, FrameLog::Base64Column)).toString(), base64);
        QCOMPARE(log.data(log.index(0, FrameLog::FirstLineColumn)).toString(), firstLine);
    }

    // A sent frame without Base64 gets no Base64 verdict and shows its text.
    void plainSentFrame() {
        const FrameAnalysis a = FrameAnalysis::of("\x01"
                                                  "3\x02"
                                                  "abc\r\ndef\x04",
                                                  false);
        QCOMPARE(FrameLog::base64Text(a, false), u"n.v.t."_s);
        QCOMPARE(a.firstLine, u"abc"_s);
        QCOMPARE(a.actualLength, 8);
    }

    // Halves of one frame in two ticks are told apart from a block that is simply no frame.
    void splitOverTwoTicks() {
        FrameLog log;
        std::ignore = log.append(received("\x01"
                                          "16\x02PGEvPg0K"));
        std::ignore = log.append(received("PGIvPg==\x04"));
        std::ignore = log.append(received("ruis"));
        QCOMPARE(log.outcomeText(0), u"niet bewaard: frame verdeeld over twee ticks"_s);
        QCOMPARE(log.outcomeText(1), u"niet bewaard: frame verdeeld over twee ticks"_s);
        QCOMPARE(log.outcomeText(2), u"niet bewaard: geen volledig frame"_s);
    }

    // The last N records by count, and by bytes held; the newest stays whatever its size.
    void bounded() {
        FrameLog log;
        log.setCapacity(3);
        QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
        std::uint64_t last = 0;
        for (int i = 0; i < 5; ++i)
            last = log.append(received(QByteArray::number(i)));
        QCOMPARE(log.rowCount(), 3);
        QCOMPARE(log.record(0).bytes, QByteArray("2"));
        QCOMPARE(log.rowOf(last), 2);
        QCOMPARE(log.rowOf(1), -1);
        QCOMPARE(removed.size(), 2);
        log.setByteBudget(10);
        std::ignore = log.append(received(QByteArray(64, 'x')));
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.record(0).bytes.size(), 64);
    }

    // Appending shares the block and looks at none of it; the analysis comes when asked.
    void appendCopiesNothing() {
        const QByteArray block(8 * 1024 * 1024, 'A');
        FrameLog log;
        std::ignore = log.append(received(block));
        QVERIFY(log.record(0).bytes.constData() == block.constData());
    }

    void deliveryUpdatesItsRow() {
        FrameLog log;
        FrameRecord sent;
        sent.direction = FrameRecord::Direction::Sent;
        sent.source = FrameRecord::Source::Outbox;
        sent.file = u"/uit/a.xml"_s;
        sent.delivery = FrameRecord::Delivery::AwaitingConfirmation;
        const std::uint64_t serial = log.append(sent);
        QCOMPARE(log.outcomeText(0), u"a.xml: wacht op bevestiging"_s);
        QSignalSpy changed(&log, &QAbstractItemModel::dataChanged);
        log.setDelivery(serial, FrameRecord::Delivery::Confirmed);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(log.outcomeText(0), u"a.xml: bevestigd en verwijderd"_s);
    }
};

QTEST_GUILESS_MAIN(TestFrameAnalysis)
#include "tst_frameanalysis.moc"
