#include <QRegularExpression>
#include <QTest>

#include "frames/frameanalysis.h"
#include "frames/framelog.h"

using namespace Qt::Literals::StringLiterals;

namespace {

FrameRecord received(const QByteArray& bytes, FrameRecord::Archive archive = FrameRecord::Archive::NoFrame) {
    FrameRecord record;
    record.bytes = bytes;
    record.archive = archive;
    return record;
}

} // namespace

// The inspector's verdicts on the bytes as they travelled.
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
};

QTEST_GUILESS_MAIN(TestFrameAnalysis)
#include "tst_frameanalysis.moc"
