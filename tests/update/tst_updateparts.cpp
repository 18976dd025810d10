#include <QTemporaryDir>
#include <QTest>

#include "update/digest.h"
#include "update/filesizetext.h"
#include "update/remotefilesize.h"
#include "update/updateinfo.h"
#include "update/urlfilename.h"
#include "update/versioncompare.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(FileSizeUnit)
Q_DECLARE_METATYPE(THashType)

class TestUpdateParts : public QObject {
    Q_OBJECT
private slots:
    void versionComparison_data() {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("announced");
        QTest::addColumn<bool>("newer");
        QTest::newRow("last number up") << u"9.0.1.3"_s << u"9.0.1.4"_s << true;
        QTest::newRow("10 sorts before 9") << u"9.0.1.9"_s << u"9.0.1.10"_s << false;
        QTest::newRow("major 10 against 9") << u"9.0.1.3"_s << u"10.0.0.0"_s << false;
        QTest::newRow("equal") << u"9.0.1.3"_s << u"9.0.1.3"_s << false;
        QTest::newRow("longer with same start") << u"9.0.1.3"_s << u"9.0.1.3a"_s << true;
        QTest::newRow("shorter announced") << u"9.0.1.3a"_s << u"9.0.1.3"_s << false;
        QTest::newRow("running empty") << QString() << u"0"_s << true;
        QTest::newRow("both empty") << QString() << QString() << false;
        QTest::newRow("announced empty") << u"9.0.1.3"_s << QString() << false;
        QTest::newRow("no case folding") << u"9.0.1.a"_s << u"9.0.1.B"_s << false;
        QTest::newRow("no trimming") << u"9.0.1.3"_s << u" 9.0.1.4"_s << false;
        QTest::newRow("code units beyond Latin-1") << u"9.0.1.\u00FF"_s << u"9.0.1.\u0100"_s << true;
    }
    void versionComparison() {
        QFETCH(QString, running);
        QFETCH(QString, announced);
        QFETCH(bool, newer);
        QCOMPARE(isNewerVersion(running, announced), newer);
    }

    void fileSizeText_data() {
        QTest::addColumn<FileSizeUnit>("unit");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        const auto A = FileSizeUnit::Auto;
        QTest::newRow("auto 0") << A << 0LL << u"0 B"_s;
        QTest::newRow("auto 1") << A << 1LL << u"1 B"_s;
        QTest::newRow("auto 1024 stays bytes") << A << 1024LL << u"1,024 B"_s;
        QTest::newRow("auto 1025") << A << 1025LL << u"1 KB"_s;
        QTest::newRow("auto 1536") << A << 1536LL << u"1 KB"_s;
        QTest::newRow("auto 5000") << A << 5000LL << u"4 KB"_s;
        QTest::newRow("auto 1048576 in KB") << A << 1048576LL << u"1,024 KB"_s;
        QTest::newRow("auto 1048577") << A << 1048577LL << u"1 MB"_s;
        QTest::newRow("auto 1073741824 in MB") << A << 1073741824LL << u"1,024 MB"_s;
        QTest::newRow("auto 1073741825") << A << 1073741825LL << u"1 GB"_s;
        QTest::newRow("auto 5 TB in GB") << A << 5497558138880LL << u"5,120 GB"_s;
        const auto B = FileSizeUnit::Bytes;
        QTest::newRow("bytes 0") << B << 0LL << u"0 B"_s;
        QTest::newRow("bytes 1234567") << B << 1234567LL << u"1,234,567 B"_s;
        const auto K = FileSizeUnit::KiloBytes;
        QTest::newRow("KB 0") << K << 0LL << u"0 KB"_s;
        QTest::newRow("KB 1") << K << 1LL << u"1 KB"_s;
        QTest::newRow("KB 1023") << K << 1023LL << u"1 KB"_s;
        QTest::newRow("KB 1024") << K << 1024LL << u"1 KB"_s;
        QTest::newRow("KB 2047") << K << 2047LL << u"1 KB"_s;
        QTest::newRow("KB 2048") << K << 2048LL << u"2 KB"_s;
        const auto M = FileSizeUnit::MegaBytes;
        QTest::newRow("MB 0") << M << 0LL << u"0 MB"_s;
        QTest::newRow("MB 1") << M << 1LL << u"1 MB"_s;
        QTest::newRow("MB 3145727") << M << 3145727LL << u"2 MB"_s;
        const auto G = FileSizeUnit::GigaBytes;
        QTest::newRow("GB 0") << G << 0LL << u"0 GB"_s;
        QTest::newRow("GB 1") << G << 1LL << u"1 GB"_s;
        QTest::newRow("GB 2147483648") << G << 2147483648LL << u"2 GB"_s;
    }
    void fileSizeText() {
        QFETCH(FileSizeUnit, unit);
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QCOMPARE(FileSizeText(size, unit, QLocale(QLocale::English, QLocale::UnitedStates)), text);
    }
    void fileSizeTextUsesTheLocalesSeparator() {
        QCOMPARE(FileSizeText(1234567, FileSizeUnit::Bytes, QLocale(QLocale::Dutch, QLocale::Netherlands)),
                 u"1.234.567 B"_s);
    }

    void sectionName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("section");
        QTest::newRow("exe") << u"C:/Program Files/Rovenka/RTCPIPCLIENT.exe"_s << u"RTCPIPCLIENT"_s;
        QTest::newRow("no dot") << u"/opt/rovenka/RTCPIPCLIENT"_s << u"RTCPIPCLIENT"_s;
        QTest::newRow("cut at the first dot") << u"/x/RTCP.IP.exe"_s << u"RTCP"_s;
    }
    void sectionName() {
        QFETCH(QString, path);
        QFETCH(QString, section);
        QCOMPARE(updateSectionName(path), section);
    }

    void updateInformation() {
        const QByteArray file("[OTHER]\r\nVersion=1.0\r\n"
                              "[rtcpipclient]\r\n"
                              "downloadfileurl = http://h/pkg.zip\r\n"
                              "READMEFILEURL=\"http://h/notes.txt\"\r\n"
                              "Version =  9.0.1.4  \r\n"
                              "CRC32Hash='CBF43926'\r\n"
                              "Md5Hash=\"\"\r\n"
                              "Version=ignored second\r\n"
                              "Unknown=x\r\n"
                              "[NEXT]\r\nSHA1Hash=ABC\r\n");
        const UpdateInfo info = readUpdateInfo(file, u"RTCPIPCLIENT"_s);
        QCOMPARE(info.DownloadFileURL, u"http://h/pkg.zip"_s);
        QCOMPARE(info.ReadmeFileURL, u"http://h/notes.txt"_s);
        QCOMPARE(info.Version, u"9.0.1.4"_s);
        QCOMPARE(info.CRC32Hash, u"CBF43926"_s);
        QCOMPARE(info.MD5Hash, QString());
        QCOMPARE(info.SHA1Hash, QString());
        QCOMPARE(info.UpdatePageURL, QString());
    }
    void updateInformationEncodings() {
        QCOMPARE(readUpdateInfo(QByteArray("[A]\nVersion=caf\xE9"), u"A"_s).Version, u"caf\u00E9"_s);
        const QByteArray utf16("\xFF\xFE[\0A\0]\0\r\0\n\0V\0e\0r\0s\0i\0o\0n\0=\0\x01\x01", 30);
        QCOMPARE(readUpdateInfo(utf16, u"a"_s).Version, u"\u0101"_s);
        QCOMPARE(readUpdateInfo(QByteArray("[B]\nVersion=1"), u"A"_s).Version, QString());
        QCOMPARE(readUpdateInfo(QByteArray(QByteArray("[A]\nVersion=") + QByteArray(3000, 'x')), u"A"_s)
                     .Version.size(),
                 2047);
    }

    void contentLength_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<qint32>("size");
        using L = QList<QByteArray>;
        QTest::newRow("lower case") << L{"content-length: 1048576"} << 1048576;
        QTest::newRow("mixed case") << L{"Date: x", "CONTENT-Length: 1048576"} << 1048576;
        QTest::newRow("no blank") << L{"Content-Length:1048576"} << 0;
        QTest::newRow("none") << L{"Content-Type: text/plain"} << 0;
        QTest::newRow("first decides") << L{"Content-Length: x", "Content-Length: 5"} << 0;
        QTest::newRow("largest") << L{"Content-Length: 2147483647"} << 2147483647;
        QTest::newRow("above 32 bits") << L{"Content-Length: 2147483648"} << 0;
        QTest::newRow("negative") << L{"Content-Length: -5"} << -5;
    }
    void contentLength() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(qint32, size);
        QCOMPARE(contentLengthFromHeaderLines(lines), size);
    }

    void digests_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<THashType>("type");
        QTest::addColumn<QString>("digest");
        const QByteArray check("123456789");
        QTest::newRow("CRC32 check value") << check << THashType::CRC32 << u"CBF43926"_s;
        QTest::newRow("CRC32 empty") << QByteArray() << THashType::CRC32 << u"00000000"_s;
        QTest::newRow("MD5") << QByteArray("abc") << THashType::MD5 << u"900150983CD24FB0D6963F7D28E17F72"_s;
        QTest::newRow("SHA1") << QByteArray("abc") << THashType::SHA1
                              << u"A9993E364706816ABA3E25717850C26C9CD0D89D"_s;
        QTest::newRow("None") << check << THashType::None << QString();
    }
    void digests() {
        QFETCH(QByteArray, content);
        QFETCH(THashType, type);
        QFETCH(QString, digest);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"pkg"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        const auto got = fileDigest(path, type);
        QVERIFY(got.ok());
        QCOMPARE(got.value(), digest);
        QVERIFY(digestMatches(path, type, digest));
        if (type != THashType::None) {
            if (digest != digest.toLower())
                QVERIFY(!digestMatches(path, type, digest.toLower()));
            QVERIFY(!digestMatches(path, type, u' ' + digest));
            QVERIFY(!digestMatches(path, type, QString()));
        }
    }
    void crcKeepsLeadingZeros() {
        // Bytes whose CRC-32 is below 0x10000000.
        QByteArray b;
        for (int i = 0; i < 100000 && crc32Update(0, b) >= 0x10000000u; ++i)
            b = QByteArray::number(i);
        QVERIFY(crc32Update(0, b) < 0x10000000u);
        QTemporaryDir dir;
        QFile f(dir.filePath(u"p"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(b);
        f.close();
        const auto got = fileDigest(f.fileName(), THashType::CRC32);
        QVERIFY(got.ok());
        QVERIFY(got.value().startsWith(u'0'));
        QCOMPARE(got.value().size(), 8);
    }
    void digestOfAMissingFileFails() {
        QVERIFY(!fileDigest(u"/nonexistent/pkg"_s, THashType::MD5).ok());
        QVERIFY(!digestMatches(u"/nonexistent/pkg"_s, THashType::SHA1, u"X"_s));
    }

    void urlFileName_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("plain") << u"http://h/a/pkg.zip"_s << u"pkg.zip"_s << true;
        QTest::newRow("query is part") << u"http://h/get?f=pkg.zip"_s << u"get?f=pkg.zip"_s << true;
        QTest::newRow("no slash") << u"pkg.zip"_s << u"pkg.zip"_s << true;
        QTest::newRow("blanks") << u"http://h/my pkg.zip"_s << u"my pkg.zip"_s << true;
        QTest::newRow("trailing slash") << u"http://h/dir/"_s << QString() << false;
        QTest::newRow("dot dot") << u"http://h/.."_s << u".."_s << false;
        QTest::newRow("backslash") << u"http://h/..\\..\\evil.exe"_s << u"..\\..\\evil.exe"_s << false;
        QTest::newRow("query with dots") << u"http://h/x?p=..\\a"_s << u"x?p=..\\a"_s << false;
    }
    void urlFileName() {
        QFETCH(QString, url);
        QFETCH(QString, name);
        QFETCH(bool, allowed);
        QCOMPARE(UrlFileName(url), name);
        const auto path = downloadTargetPath(u"/exe/TempDownloads/"_s, url);
        QCOMPARE(path.has_value(), allowed);
        if (allowed)
            QCOMPARE(*path, u"/exe/TempDownloads/"_s + name);
    }
};

QTEST_GUILESS_MAIN(TestUpdateParts)
#include "tst_updateparts.moc"
