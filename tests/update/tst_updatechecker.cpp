#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "httpresponder.h"
#include "update/updatechecker.h"

using namespace Qt::Literals::StringLiterals;

namespace {
const QByteArray kInfoPath("/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt");
const QString kPage = u"https://www.rovenka.nl"_s;
} // namespace

class TestUpdateChecker : public QObject {
    Q_OBJECT
private slots:
    void init() {
        // The check's temporary files go to the temporary folder: one of our own, to see them.
        m_temp.emplace();
        m_oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_temp->path()));
        m_server.emplace();
    }
    void cleanup() {
        m_server.reset();
        qputenv("TMPDIR", m_oldTemp);
        m_temp.reset();
    }

    void infoThenNotes() {
        m_server->route(kInfoPath,
                        HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.4\r\nReadmeFileURL=" +
                                          m_server->url(u"/notes.txt"_s).toLatin1() +
                                          "\r\nDownloadFileURL=http://h/p.zip\r\nSHA1Hash=AB\r\n"));
        m_server->route("/notes.txt", HttpResponder::ok("Nieuw:\r\n- caf\xE9\r\n"));
        UpdateChecker check(u"RTCPIPCLIENT"_s);
        check.client().setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        QVERIFY(check.run(m_server->url(QString::fromLatin1(kInfoPath)), kPage));

        QCOMPARE(check.info().Version, u"9.0.1.4"_s);
        QCOMPARE(check.readme(), u"Nieuw:\n- caf\u00E9"_s);
        QCOMPARE(check.info().UpdatePageURL, kPage);
        // Announced, but without a key nothing is taken.
        QVERIFY(!check.downloadable());
        QVERIFY(check.updatesElsewhere());
        check.setSigningKey(SigningKey{});
        QVERIFY(check.downloadable());
        QVERIFY(check.isNewerThan(u"9.0.1.3"_s));
        QVERIFY(!check.isNewerThan(u"9.0.1.4"_s));
        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(m_server->requests().value(1).target, QByteArray("/notes.txt"));
        // Each request's temporary file is gone with it.
        QCOMPARE(QDir(m_temp->path()).entryList(QDir::Files), QStringList());
    }

    void failuresLeaveTheirLine_data() {
        QTest::addColumn<bool>("infoFails");
        QTest::addColumn<QString>("readme");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("requests");
        QTest::newRow("information file 404") << true << u"Mislukt: 404 Not Found"_s << QString() << 1;
        QTest::newRow("notes 500") << false << u"Mislukt: 500 Server Broke"_s << u"9.0.1.4"_s << 2;
    }
    void failuresLeaveTheirLine() {
        QFETCH(bool, infoFails);
        QFETCH(QString, readme);
        QFETCH(QString, version);
        QFETCH(int, requests);
        if (infoFails)
            m_server->route(kInfoPath, HttpResponder::status(404, "Not Found"));
        else
            m_server->route(kInfoPath,
                            HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.4\r\nReadmeFileURL=" +
                                              m_server->url(u"/notes.txt"_s).toLatin1() + "\r\n"));
        m_server->route("/notes.txt", HttpResponder::status(500, "Server Broke"));
        UpdateChecker check(u"RTCPIPCLIENT"_s);
        check.client().setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        QVERIFY(!check.run(m_server->url(QString::fromLatin1(kInfoPath)), kPage));
        QCOMPARE(check.readme(), readme);
        QCOMPARE(check.info().Version, version);
        // The component's page stands in even when the information file did not arrive.
        QCOMPARE(check.info().UpdatePageURL, kPage);
        QCOMPARE(m_server->requests().size(), requests);
        QCOMPARE(QDir(m_temp->path()).entryList(QDir::Files), QStringList());
    }

    void limitsAndPageAddresses_data() {
        QTest::addColumn<qsizetype>("infoSize");
        QTest::addColumn<qsizetype>("notesSize");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("readme");
        QTest::addColumn<QString>("pageAfter");
        const QString tooBig = u"Mislukt: 404 The file is larger than %1 bytes"_s;
        QTest::newRow("information file at 64 KiB")
            << qsizetype(64 * 1024) << qsizetype(10) << QByteArray() << u"nnnnnnnnnn"_s << kPage;
        QTest::newRow("information file above 64 KiB")
            << qsizetype(64 * 1024 + 1) << qsizetype(10) << QByteArray() << tooBig.arg(65536) << kPage;
        QTest::newRow("notes above 1 MiB")
            << qsizetype(100) << qsizetype(1024 * 1024 + 1) << QByteArray() << tooBig.arg(1048576) << kPage;
        QTest::newRow("file page refused")
            << qsizetype(100) << qsizetype(1) << QByteArray("file:///etc/passwd") << u"n"_s << kPage;
        QTest::newRow("javascript page refused")
            << qsizetype(100) << qsizetype(1) << QByteArray("javascript:alert(1)") << u"n"_s << kPage;
        QTest::newRow("https page kept")
            << qsizetype(100) << qsizetype(1) << QByteArray("https://own.example/") << u"n"_s
            << u"https://own.example/"_s;
    }
    void limitsAndPageAddresses() {
        QFETCH(qsizetype, infoSize);
        QFETCH(qsizetype, notesSize);
        QFETCH(QByteArray, page);
        QFETCH(QString, readme);
        QFETCH(QString, pageAfter);
        QByteArray info = "[RTCPIPCLIENT]\r\nVersion=9.0.1.4\r\nUpdatePageURL=" + page +
                          "\r\nReadmeFileURL=" + m_server->url(u"/notes.txt"_s).toLatin1() + "\r\n";
        info += QByteArray(infoSize - info.size(), ';');
        m_server->route(kInfoPath, HttpResponder::ok(info));
        m_server->route("/notes.txt", HttpResponder::ok(QByteArray(notesSize, 'n')));
        UpdateChecker check(u"RTCPIPCLIENT"_s);
        check.client().setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        std::ignore = check.run(m_server->url(QString::fromLatin1(kInfoPath)), kPage);
        QCOMPARE(check.readme().left(60), readme.left(60));
        QCOMPARE(check.info().UpdatePageURL, pageAfter);
        QCOMPARE(QDir(m_temp->path()).entryList(QDir::Files), QStringList());
    }

    void noAddressNoRequestAndNoPage() {
        UpdateChecker check(u"RTCPIPCLIENT"_s);
        check.client().setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        QVERIFY(check.run(QString(), kPage));
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(check.info().UpdatePageURL, QString());
        QVERIFY(!check.isNewerThan(QString()));
    }

    void publishedDigestFollowsTheHashType() {
        m_server->route(kInfoPath,
                        HttpResponder::ok("[RTCPIPCLIENT]\r\nCRC32Hash=C\r\nMD5Hash=M\r\nSHA1Hash=S\r\n"));
        UpdateChecker check(u"RTCPIPCLIENT"_s);
        check.client().setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        QVERIFY(check.run(m_server->url(QString::fromLatin1(kInfoPath)), kPage));
        QStringList digests;
        for (auto type : {THashType::None, THashType::CRC32, THashType::MD5, THashType::SHA1}) {
            check.setHashType(type);
            digests << check.publishedDigest();
        }
        QCOMPARE(digests, (QStringList{QString(), u"C"_s, u"M"_s, u"S"_s}));
    }

private:
    std::optional<QTemporaryDir> m_temp;
    QByteArray m_oldTemp;
    std::optional<HttpResponder> m_server;
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
