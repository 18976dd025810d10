#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "link/inboundarchive.h"
#include "link/leadingnumber.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime kNow(QDate(2026, 3, 7), QTime(14, 5, 9));

// SOH, the length, STX, the payload and EOT: the frame a dispatch host sends.
QByteArray frame(const QByteArray& payload) {
    return "\x01" + QByteArray::number(payload.size()) + "\x02" + payload + "\x04";
}

} // namespace

class TestInboundArchive : public QObject {
    Q_OBJECT
private slots:
    void init() { m_dir.emplace(); }
    void cleanup() { m_dir.reset(); }

    void leadingNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << u"4000"_s << qint64(4000);
        QTest::newRow("leading blank") << u" 4000"_s << qint64(4000);
        QTest::newRow("trailing letters") << u"4000abc"_s << qint64(4000);
        QTest::newRow("letters only") << u"abc"_s << qint64(0);
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("above 16 bits") << u"70000"_s << qint64(70000);
        QTest::newRow("minus") << u"-5"_s << qint64(-5);
        QTest::newRow("plus") << u"+12"_s << qint64(12);
        QTest::newRow("dollar hex") << u"$FF"_s << qint64(255);
        QTest::newRow("x hex") << u"x1a"_s << qint64(26);
        QTest::newRow("0x hex") << u"0x10"_s << qint64(16);
        QTest::newRow("hex letters in decimal stop") << u"12ab"_s << qint64(12);
        QTest::newRow("ends at STX") << u"16\x02QUJD"_s << qint64(16);
        QTest::newRow("digits past 32 bits stop") << u"99999999999"_s << qint64(999999999);
    }
    void leadingNumbers() {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        QCOMPARE(leadingNumber(text), value);
    }

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
        const auto cut = InboundArchive::payloadOf(block);
        QCOMPARE(cut.has_value(), framed);
        if (framed)
            QCOMPARE(*cut, payload);
    }

    void writesTheDecodedTextWithCrLf_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("one line") << QByteArray("<a>123</a>") << QByteArray("<a>123</a>\r\n");
        QTest::newRow("LF lines") << QByteArray("<a>\n<b/>\n</a>\n") << QByteArray("<a>\r\n<b/>\r\n</a>\r\n");
        QTest::newRow("UTF-8 bytes kept") << QByteArray("<a>\xE2\x82\xAC \x81\x9F\xFF</a>")
                                          << QByteArray("<a>\xE2\x82\xAC \x81\x9F\xFF</a>\r\n");
        QTest::newRow("empty payload") << QByteArray() << QByteArray();
    }
    void writesTheDecodedTextWithCrLf() {
        QFETCH(QByteArray, xml);
        QFETCH(QByteArray, file);
        InboundArchive archive(m_dir->path(), [] { return kNow; });
        const auto written = archive.archive(frame(xml.toBase64()));
        QVERIFY2(written.ok(), qPrintable(written.ok() ? QString() : written.message()));
        QCOMPARE(QFileInfo(written.value()).fileName(), u"MC_0703202614050939.XML"_s);
        QCOMPARE(readFile(written.value()), file);
    }

    void twoFramesInOneSecondGiveTwoFiles() {
        InboundArchive archive(m_dir->path(), [] { return kNow; });
        QVERIFY(archive.archive(frame(QByteArray("<first/>").toBase64())).ok());
        QVERIFY(archive.archive(frame(QByteArray("<second/>").toBase64())).ok());
        const QDir dir(m_dir->path());
        QCOMPARE(dir.entryList(QDir::Files, QDir::Name),
                 (QStringList{u"MC_0703202614050939.XML"_s, u"MC_0703202614050939_2.XML"_s}));
        QCOMPARE(readFile(dir.filePath(u"MC_0703202614050939.XML"_s)), QByteArray("<first/>\r\n"));
        QCOMPARE(readFile(dir.filePath(u"MC_0703202614050939_2.XML"_s)), QByteArray("<second/>\r\n"));
    }

    void nothingIsWrittenWithoutAFrame() {
        InboundArchive archive(m_dir->path(), [] { return kNow; });
        QVERIFY(!archive
                     .archive("\x01"
                              "4\x02QUJD")
                     .ok());
        QVERIFY(!archive.archive("ACK\x04").ok());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    }

    void missingFolderFailsQuietly() {
        InboundArchive archive(m_dir->path() + u"/XML"_s, [] { return kNow; });
        QVERIFY(!archive.archive(frame("QUJD")).ok());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A symbolic link at the stamp's name takes that name, whether it dangles or points at a file
    // of someone else's: the packet goes to the next free name, the link and its target stay as
    // they were, and no temporary file is left.
    void aLinkAtTheNameIsPassedOver_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("dangling") << false;
        QTest::newRow("to a file") << true;
    }
    void aLinkAtTheNameIsPassedOver() {
        QFETCH(bool, targetExists);
        const QDir dir(m_dir->path());
        const QString target = dir.filePath(u"elsewhere.txt"_s);
        if (targetExists)
            QVERIFY(writeFile(target, "the operator's"));
        QVERIFY(QFile::link(target, dir.filePath(u"MC_0703202614050939.XML"_s)));
        InboundArchive archive(m_dir->path(), [] { return kNow; });
        const auto written = archive.archive(frame(QByteArray("<rit/>").toBase64()));
        QVERIFY2(written.ok(), qPrintable(written.ok() ? QString() : written.message()));
        QCOMPARE(QFileInfo(written.value()).fileName(), u"MC_0703202614050939_2.XML"_s);
        QCOMPARE(readFile(written.value()), QByteArray("<rit/>\r\n"));
        QCOMPARE(QFileInfo(dir.filePath(u"MC_0703202614050939.XML"_s)).symLinkTarget(), target);
        QCOMPARE(QFileInfo::exists(target), targetExists);
        if (targetExists)
            QCOMPARE(readFile(target), QByteArray("the operator's"));
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(),
                 targetExists ? 3 : 2);
    }

private:
    std::optional<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestInboundArchive)
#include "tst_inboundarchive.moc"
