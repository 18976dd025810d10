#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"
#include "version/versioninforeader.h"
#include "version/versionrecord.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    return writeFile(path, bytes) ? path : QString();
}

VersionRecord sampleRecord() {
    VersionRecord r;
    std::ignore = VersionRecord::parseVersion(u"1.2.3.4"_s, r.fileVersionMS, r.fileVersionLS);
    std::ignore = VersionRecord::parseVersion(u"5.6.7.8"_s, r.productVersionMS, r.productVersionLS);
    r.strings = {{u"ProductVersion"_s, u"5.6"_s}, {u"CompanyName"_s, u"Rovenka"_s}};
    return r;
}

} // namespace

class TestVersionInfoReader : public QObject {
    Q_OBJECT
private slots:
    void readsAnotherExecutable() {
        VersionInfoReader reader;
        reader.setFileName(QStringLiteral(VERSION_FIXTURE));
        reader.Read();
        QCOMPARE(reader.LastError(), 0);
        QCOMPARE(reader.value(u"InternalFileVersion"_s), u"10.2.0.15"_s);
        QCOMPARE(reader.value(u"internalfileversion"_s), u"10.2.0.15"_s);
        QCOMPARE(reader.value(u"InternalProductVersion"_s), u"1.0.0.0"_s);
        QCOMPARE(reader.value(u"FileVersion"_s), u"10.2.0.15"_s);
        QVERIFY(reader.privateBuild());
        QVERIFY(!reader.debug());
        QVERIFY(reader.Infos().contains(u"FlagPrivateBuild=1"_s));
        QVERIFY(reader.Infos().contains(u"PrivateBuildInfos=fixture"_s));
    }

    void linesInTheirOrder() {
        QTemporaryDir dir;
        const QString path =
            writeFile(dir, u"a.bin"_s, "junk" + versionrecord::encode(sampleRecord()) + "tail");
        VersionInfoReader reader;
        reader.setFileName(path);
        reader.Read();
        QCOMPARE(reader.LastError(), 0);
        const QStringList infos = reader.Infos();
        QCOMPARE(infos.value(0), u"InternalFileVersion=1.2.3.4"_s);
        QCOMPARE(infos.value(1), u"InternalProductVersion=5.6.7.8"_s);
        QVERIFY(infos.value(2).startsWith(u"OSVersion="_s));
        QVERIFY(infos.value(3).startsWith(u"FileType=Application"_s));
        QCOMPARE(infos.value(4), u"FileSubType="_s);
        QCOMPARE(infos.mid(5, 5), (QStringList{u"FlagDebug=0"_s, u"FlagPatched=0"_s, u"FlagPreRelease=0"_s,
                                               u"FlagPrivateBuild=0"_s, u"FlagSpecialBuild=0"_s}));
        QVERIFY(infos.value(10).startsWith(u"Language="_s));
        QVERIFY(infos.value(11).startsWith(u"CharSet="_s));
        // String entries follow the fixed order, not the order stored.
        QCOMPARE(infos.mid(12), (QStringList{u"CompanyName=Rovenka"_s, u"ProductVersion=5.6"_s}));
    }

    void flagsNeedTheMask() {
        VersionRecord r = sampleRecord();
        r.flags = 0x01 | 0x04;
        r.flagsMask = 0x01;
        QTemporaryDir dir;
        VersionInfoReader reader;
        reader.setFileName(writeFile(dir, u"f.bin"_s, versionrecord::encode(r)));
        reader.Read();
        QVERIFY(reader.debug());
        QVERIFY(!reader.patched());
        QVERIFY(reader.Infos().contains(u"FlagDebug=1"_s));
        QVERIFY(reader.Infos().contains(u"FlagPatched=0"_s));
    }

    void failures_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lastError");
        const QByteArray good = versionrecord::encode(sampleRecord());
        QByteArray damaged = good;
        damaged[damaged.size() - 1] = damaged.back() ^ 0x55;
        QByteArray huge = versionrecord::magic() + QByteArray("\xF0\xFF\x00\x00", 4) + QByteArray(4, '\0');
        QTest::newRow("no record") << QByteArray("just a program") << 1;
        QTest::newRow("empty file") << QByteArray() << 1;
        QTest::newRow("damaged record") << damaged << 3;
        QTest::newRow("truncated record") << good.left(good.size() - 3) << 3;
        QTest::newRow("record of 65527 bytes or more") << huge << 2;
    }
    void failures() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, lastError);
        QTemporaryDir dir;
        VersionInfoReader reader;
        reader.setFileName(writeFile(dir, u"x.bin"_s, bytes));
        reader.Read();
        QCOMPARE(reader.LastError(), lastError);
        QVERIFY(reader.Infos().isEmpty());
        QCOMPARE(reader.value(u"InternalFileVersion"_s), QString());
    }

    void missingFileHasNoRecord() {
        VersionInfoReader reader;
        reader.setFileName(u"/nonexistent/RTCPIPCLIENT"_s);
        reader.Read();
        QCOMPARE(reader.LastError(), 1);
    }

    void secondReadReplacesTheFirst() {
        QTemporaryDir dir;
        VersionInfoReader reader;
        reader.setFileName(QStringLiteral(VERSION_FIXTURE));
        reader.Read();
        QVERIFY(reader.privateBuild());
        reader.setFileName(writeFile(dir, u"b.bin"_s, versionrecord::encode(sampleRecord())));
        reader.Read();
        QCOMPARE(reader.value(u"InternalFileVersion"_s), u"1.2.3.4"_s);
        QVERIFY(!reader.privateBuild());
        QCOMPARE(reader.Infos().filter(u"InternalFileVersion"_s).size(), 1);
        reader.setFileName(writeFile(dir, u"c.bin"_s, "nothing"));
        reader.Read();
        QVERIFY(reader.Infos().isEmpty());
    }

    void aStrayMagicBeforeTheRecordIsSkipped() {
        QTemporaryDir dir;
        const QByteArray bytes = versionrecord::magic() + "garbage" + versionrecord::encode(sampleRecord());
        VersionInfoReader reader;
        reader.setFileName(writeFile(dir, u"s.bin"_s, bytes));
        reader.Read();
        QCOMPARE(reader.LastError(), 0);
        QCOMPARE(reader.value(u"InternalFileVersion"_s), u"1.2.3.4"_s);
    }

    void parseVersion() {
        std::uint32_t ms = 0, ls = 0;
        QVERIFY(VersionRecord::parseVersion(u"9.0.1.3"_s, ms, ls));
        QCOMPARE(ms, 0x00090000u);
        QCOMPARE(ls, 0x00010003u);
        QVERIFY(!VersionRecord::parseVersion(u"9.0.1"_s, ms, ls));
        QVERIFY(!VersionRecord::parseVersion(u"9.0.1.65536"_s, ms, ls));
        QVERIFY(!VersionRecord::parseVersion(u"9.0.x.1"_s, ms, ls));
    }
};

QTEST_GUILESS_MAIN(TestVersionInfoReader)
#include "tst_versioninforeader.moc"
