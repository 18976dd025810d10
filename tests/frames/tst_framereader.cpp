#include <QRegularExpression>
#include <QTest>

#include "frames/framereader.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray frame(const QByteArray& payload) {
    return "\x01" + QByteArray::number(payload.size()) + "\x02" + payload + "\x04";
}

} // namespace

// Where a received frame's payload is cut, and what it decodes to: the bytes an archive file
// holds and the inspector shows.
class TestFrameReader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

    void payloads_data() {
        QTest::addColumn<QString>("block");
        QTest::addColumn<bool>("framed");
        QTest::addColumn<QString>("payload");
        QTest::newRow("SOH without EOT") << u"\x01"
                                            "4\x02QUJD"_s
                                         << false << QString();
        QTest::newRow("EOT without SOH") << u"4\x02QUJD\x04"_s << false << QString();
        QTest::newRow("length path") << u"\x01"
                                        "16\x02PGE+MTIzPC9hPg==\x04"_s
                                     << true << u"PGE+MTIzPC9hPg=="_s;
        QTest::newRow("markers in any order") << u"\x04junk\x01"
                                                 "4\x02QUJD"_s
                                              << true << u"QUJD"_s;
        QTest::newRow("text before SOH") << u"ack\x01"
                                            "4\x02QUJDRA\x04"_s
                                         << true << u"QUJD"_s;
        QTest::newRow("no digits gives 0") << u"\x01\x02QUJD\x04"_s << true << QString();
        QTest::newRow("negative length") << u"\x01-3\x02QUJD\x04"_s << true << QString();
        QTest::newRow("length beyond the block takes the rest and CR LF") << u"\x01"
                                                                             "99\x02QUJD\x04"_s
                                                                          << true << u"QUJD\x04\r\n"_s;
        QTest::newRow("line ends count as CR LF") << u"\x01"
                                                     "6\x02QU\nJD\x04"_s
                                                  << true << u"QU\r\nJD"_s;
        QTest::newRow("first frame only") << u"\x01"
                                             "4\x02QUJD\x04\x01"
                                             "4\x02WFla\x04"_s
                                          << true << u"QUJD"_s;
        QTest::newRow("no STX: up to the EOT") << u"\x01QUJD\x04rest"_s << true << u"QUJD"_s;
        QTest::newRow("no STX, EOT ahead: to the end") << u"\x04\x01QUJD"_s << true << u"QUJD"_s;
        // The length is read from what lies between the first SOH and that STX: no digits there.
        QTest::newRow("STX of a later frame") << u"\x01QUJD\x04\x01"
                                                 "4\x02WFla\x04"_s
                                              << true << QString();
        QTest::newRow("NUL cuts the text") << u"\x01"
                                              "8\x02QUJD\0WFla\x04"_s
                                           << true << u"QUJD\r\n"_s;
    }
    void payloads() {
        QFETCH(QString, block);
        QFETCH(bool, framed);
        QFETCH(QString, payload);
        const auto cut = framereader::payloadOf(block);
        QCOMPARE(cut.has_value(), framed);
        if (framed)
            QCOMPARE(*cut, payload);
    }

    void decodes_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("clean") << frame("PHJpdC8+") << QByteArray("<rit/>\r\n");
        // "!" is worth 0 and keeps its place: PH!p gives 3C 70 29. A decoder that skipped it
        // would read PHpd and give another text altogether.
        QTest::newRow("bad character counts as zero") << frame("PH!pdC8+") << QByteArray("<p)t/>\r\n");
        QTest::newRow("bad character in the last group") << frame("PHJpdC*+") << QByteArray("<rit >\r\n");
        // CR LF take places in the groups; the third group is cut short and ignored, and the
        // NUL that the second decodes to ends the text.
        QTest::newRow("line break inside") << frame("PHJp\r\ndC8+") << QByteArray("<ri\r\n");
        QTest::newRow("UTF-8 and high bytes unchanged")
            << frame(QByteArray("<a>\xE2\x82\xAC \x81\x9F\xFF</a>").toBase64())
            << QByteArray("<a>\xE2\x82\xAC \x81\x9F\xFF</a>\r\n");
        QTest::newRow("LF lines become CR LF")
            << frame(QByteArray("<a>\n<b/>").toBase64()) << QByteArray("<a>\r\n<b/>\r\n");
        QTest::newRow("empty payload") << QByteArray("\x01\x02\x04") << QByteArray();
    }
    void decodes() {
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, bytes);
        const Result<QByteArray> decoded = framereader::decodedPayload(block);
        QVERIFY2(decoded.ok(), qPrintable(decoded.ok() ? QString() : decoded.message()));
        QCOMPARE(decoded.value(), bytes);
    }

    void noFrameIsAFailure() {
        for (const QByteArray& block : {QByteArray("\x01"
                                                   "4\x02QUJD"),
                                        QByteArray("ACK\x04"), QByteArray()}) {
            const Result<QByteArray> decoded = framereader::decodedPayload(block);
            QVERIFY(!decoded);
            QCOMPARE(decoded.failure().code, int(framereader::NoFrame));
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameReader)
#include "tst_framereader.moc"
