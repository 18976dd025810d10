#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "common/ansicodec.h"
#include "frames/framelog.h"
#include "frames/framereader.h"

using namespace Qt::Literals::StringLiterals;

namespace {

FrameRecord received(const QByteArray& bytes, FrameRecord::Archive archive = FrameRecord::Archive::NoFrame) {
    FrameRecord record;
    record.bytes = bytes;
    record.archive = archive;
    return record;
}

QByteArray frame(const QByteArray& payload) {
    return "\x01" + QByteArray::number(payload.size()) + "\x02" + payload + "\x04";
}

constexpr qsizetype kMiB = 1024 * 1024;

} // namespace

// The bounded table of frames: by count, by bytes, by the head of a huge frame; records found
// by serial; what the archive made of a block; and the payload the detail view shows.
class TestFrameLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

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

    // The last N records by count; a dropped serial is found no more, and none is reused.
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
        QVERIFY(!log.find(1));
        QCOMPARE(log.find(last)->bytes, QByteArray("4"));
        log.setCapacity(0);
        QCOMPARE(log.rowCount(), 0);
        QCOMPARE(log.append(received("5")), std::uint64_t(0));
        QCOMPARE(log.rowCount(), 0);
        QCOMPARE(log.bytesHeld(), 0);
    }

    // Appending shares a block up to the head limit and looks at none of it; the analysis comes
    // when asked.
    void appendCopiesNothing() {
        const QByteArray block(FrameLog::kDefaultHeadLimit, 'A');
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

    // The budget counts every record's bytes and texts; the oldest go until the rest fit, and
    // a record that alone exceeds it still stays as the newest.
    void byteBudget() {
        FrameLog log;
        const QByteArray block(10000, 'A');
        const std::uint64_t first = log.append(received(block));
        const qsizetype one = log.bytesHeld();
        QVERIFY2(one >= 10000 && one < 12000, qPrintable(QString::number(one)));
        log.setByteBudget(3 * one);
        std::uint64_t last = first;
        for (int i = 0; i < 10; ++i)
            last = log.append(received(QByteArray(10000, char('a' + i))));
        QCOMPARE(log.rowCount(), 3);
        QCOMPARE(log.bytesHeld(), 3 * one);
        QVERIFY(!log.find(first));
        QCOMPARE(log.rowOf(last), 2);
        QCOMPARE(log.record(0).bytes, QByteArray(10000, 'h'));
        // A sent frame's payload counts too, as UTF-16.
        log.setByteBudget(one + 100);
        std::ignore =
            log.addSent({}, FrameRecord::Source::Typed, QString(100, u'x'), QString(20000, u'y'), false);
        QCOMPARE(log.rowCount(), 1);
        QVERIFY2(log.bytesHeld() > 40000, qPrintable(QString::number(log.bytesHeld())));
        log.setByteBudget(0);
        QCOMPARE(log.rowCount(), 1);
    }

    // Of a frame above the head limit only the head is kept, copied out of the block; the
    // verdicts are those of the whole frame, and the record says it was cut.
    void hugeFrameKeepsItsHead() {
        FrameLog log;
        log.setHeadLimit(64);
        const QByteArray payload = QByteArray(3000, 'x').toBase64();
        const QByteArray block = frame(payload);
        const std::uint64_t serial = log.append(received(block));
        const FrameRecord* record = log.find(serial);
        QVERIFY(record);
        QVERIFY(record->cut());
        QCOMPARE(record->wireSize, block.size());
        QCOMPARE(record->bytes, block.first(64));
        QVERIFY(record->bytes.constData() != block.constData());
        const int row = log.rowOf(serial);
        QCOMPARE(log.data(log.index(row, FrameLog::MarkersColumn)).toString(), u"SOH, lengte + STX, EOT"_s);
        QCOMPARE(log.data(log.index(row, FrameLog::LengthColumn)).toString(),
                 u"4000 / 4000 (ingekort bewaard: 64 van 4.007 bytes)"_s);
        QCOMPARE(log.data(log.index(row, FrameLog::Base64Column)).toString(), u"geldig"_s);
        // The payload's bytes as far as they are kept: no frame can be read from a head.
        QCOMPARE(log.decodedPayload(serial), QString::fromLatin1(block.sliced(6, 58)));

        const QString text(5000, u'z');
        const std::uint64_t sent = log.addSent({}, FrameRecord::Source::Typed, text, text, false);
        QCOMPARE(log.find(sent)->bytes, QByteArray(64, 'z'));
        QCOMPARE(log.find(sent)->wireSize, 5000);
        QCOMPARE(log.find(sent)->payload.size(), 64);
    }

    // A host that streams: 100 MB in one block, then many blocks of 2 MiB; what is held stays
    // within the budget, and the huge block is not kept alive by its record.
    void streamingHostStaysWithinTheBudget() {
        FrameLog log;
        {
            QByteArray huge(100 * 1000 * 1000, 'Q');
            huge[0] = '\x01';
            std::ignore = log.append(received(huge));
        }
        QVERIFY(log.record(0).cut());
        QCOMPARE(log.record(0).wireSize, 100 * 1000 * 1000);
        QVERIFY2(log.bytesHeld() < log.headLimit() + 64 * 1024, qPrintable(QString::number(log.bytesHeld())));
        for (int i = 0; i < 40; ++i)
            std::ignore = log.append(received(QByteArray(2 * kMiB, 'B')));
        QVERIFY2(log.bytesHeld() <= log.byteBudget(), qPrintable(QString::number(log.bytesHeld())));
        QVERIFY(log.rowCount() <= int(log.byteBudget() / log.headLimit()));
        QVERIFY(log.rowCount() >= int(log.byteBudget() / log.headLimit()) - 1);
    }

    // What the archive made of a block, from its result, in the record and in words.
    void receivedRecordsTheArchiveOutcome_data() {
        QTest::addColumn<std::optional<Result<QString>>>("archived");
        QTest::addColumn<int>("archive");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("written") << std::optional<Result<QString>>(u"/data/XML/MC_1.XML"_s)
                                 << int(FrameRecord::Archive::Written) << u"MC_1.XML"_s;
        QTest::newRow("off") << std::optional<Result<QString>>() << int(FrameRecord::Archive::Off)
                             << u"niet bewaard: archief staat uit"_s;
        QTest::newRow("no frame") << std::optional<Result<QString>>(Failure{framereader::NoFrame, u"geen"_s})
                                  << int(FrameRecord::Archive::NoFrame)
                                  << u"niet bewaard: geen volledig frame"_s;
        QTest::newRow("undecodable") << std::optional<Result<QString>>(
                                            Failure{framereader::Undecodable, u"NUL"_s})
                                     << int(FrameRecord::Archive::Undecodable)
                                     << u"niet bewaard: niet te decoderen"_s;
        QTest::newRow("not written") << std::optional<Result<QString>>(Failure{3, u"Permission denied"_s})
                                     << int(FrameRecord::Archive::NotWritable)
                                     << u"niet bewaard: map niet beschrijfbaar"_s;
    }
    void receivedRecordsTheArchiveOutcome() {
        QFETCH(std::optional<Result<QString>>, archived);
        QFETCH(int, archive);
        QFETCH(QString, outcome);
        FrameLog log;
        const QDateTime time(QDate(2026, 3, 7), QTime(14, 5, 9, 120));
        const std::uint64_t serial = log.addReceived(time, "\x01\x04", archived);
        const FrameRecord* record = log.find(serial);
        QCOMPARE(int(record->archive), archive);
        QCOMPARE(record->direction, FrameRecord::Direction::Received);
        QCOMPARE(record->time, time);
        QCOMPARE(log.outcomeText(log.rowOf(serial)), outcome);
        QCOMPARE(log.data(log.index(0, FrameLog::TimeColumn)).toString(), u"14:05:09.120"_s);
    }

    // The detail view's payload, by serial: a received frame's as the reader decodes it (a bad
    // character worth 0), a sent frame's as it was before framing, none once it has gone.
    void decodedPayloadBySerial() {
        FrameLog log;
        log.setCapacity(2);
        const QByteArray bad = frame("PH!pdC8+gA==");
        const std::uint64_t in = log.addReceived({}, bad, std::nullopt);
        QCOMPARE(log.decodedPayload(in), u"<p)t/>\u20AC\r\n"_s);
        QCOMPARE(log.decodedPayload(in), ansi::toText(framereader::decodedPayload(bad).value()));
        const std::uint64_t out = log.addSent({}, FrameRecord::Source::Typed, u"4\x02YWJj"_s, u"abc"_s, true);
        QCOMPARE(log.decodedPayload(out), u"abc"_s);
        QCOMPARE(log.find(out)->bytes, QByteArray("4\x02YWJj"));
        // Without a frame the archive would take, the payload's bytes as they came.
        const std::uint64_t noise = log.addReceived({}, "ruis", std::nullopt);
        QCOMPARE(log.decodedPayload(noise), u"ruis"_s);
        QCOMPARE(log.decodedPayload(in), std::nullopt);
        QCOMPARE(log.decodedPayload(0), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestFrameLog)
#include "tst_framelog.moc"
