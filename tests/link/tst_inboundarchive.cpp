#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "link/inboundarchive.h"
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
