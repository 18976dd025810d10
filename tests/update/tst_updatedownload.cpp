#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "common/apperror.h"
#include "httpresponder.h"
#include "scriptedprompts.h"
#include "testsigner.h"
#include "update/updatechecker.h"
#include "update/updatedownload.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(THashType)

namespace {
const QByteArray kInfoPath("/info.txt");
const QString kStarting = u"Rovenka® LiveUpdate gaat nu starten"_s;
const QDateTime kT0(QDate(2026, 3, 1), QTime(10, 0, 0), Qt::UTC);
} // namespace

class TestUpdateDownload : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_signer.emplace();
        m_stranger.emplace();
        if (!m_signer->ready() || !m_stranger->ready())
            QSKIP(qPrintable(m_signer->errorString()));
    }
    void init() {
        m_dir.emplace();
        m_folder = m_dir->path() + u'/';
        QVERIFY(QDir(m_folder).mkdir(u"TempDownloads"_s));
        m_server.emplace();
        m_prompts.emplace();
        m_check.emplace(u"RTCPIPCLIENT"_s);
        m_check->client().setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        m_check->setSigningKey(parseSigningKey(m_signer->publicKey()).value());
        m_download.emplace(m_folder, [] { return kT0; });
    }
    void cleanup() {
        m_download.reset();
        m_check.reset();
        m_prompts.reset();
        m_server.reset();
        m_dir.reset();
    }

    void timesAtMoments_data() {
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QString>("elapsed");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("nothing yet") << 0LL << 0LL << u"0 B/sec"_s << u"00:00:00"_s << u"<keep>"_s;
        QTest::newRow("before a whole second")
            << 999LL << 2500LL << u"0 B/sec"_s << u"00:00:00"_s << u"00:00:00"_s;
        QTest::newRow("3 s") << 3000LL << 2500LL << u"833 B/sec"_s << u"00:00:03"_s << u"00:00:03"_s;
        QTest::newRow("half after 10 s")
            << 10000LL << 2500LL << u"250 B/sec"_s << u"00:00:10"_s << u"00:00:10"_s;
        QTest::newRow("a day wraps") << (86400LL + 61) * 1000 << 5000LL << u"0 B/sec"_s << u"00:01:01"_s
                                     << u"00:00:00"_s;
        // The clock set back: the speed takes the distance, the elapsed time wraps backwards.
        QTest::newRow("clock behind start")
            << -3000LL << 2500LL << u"833 B/sec"_s << u"23:59:57"_s << u"00:00:03"_s;
    }
    void timesAtMoments() {
        QFETCH(qint64, elapsedMs);
        QFETCH(qint64, received);
        QFETCH(QString, speed);
        QFETCH(QString, elapsed);
        QFETCH(QString, remaining);
        const DownloadTimes times = downloadTimes(elapsedMs, received, 5000, FileSizeUnit::Auto);
        QCOMPARE(times.speed, speed);
        QCOMPARE(times.elapsed, elapsed);
        QCOMPARE(times.remaining.value_or(u"<keep>"_s), remaining);
    }

    void transferLine_data() {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<QString>("text");
        QTest::newRow("truncated") << 1LL << 3LL << u"1 B of 3 B (33%)"_s;
        QTest::newRow("half of 5000") << 2500LL << 5000LL << u"2 KB of 4 KB (50%)"_s;
        // count × 100 passes 32 bits.
        QTest::newRow("largest size") << 2147483647LL << 2147483647LL << u"1 GB of 1 GB (100%)"_s;
    }
    void transferLine() {
        QFETCH(qint64, count);
        QFETCH(qint64, maximum);
        QFETCH(QString, text);
        QCOMPARE(transferText(count, maximum, FileSizeUnit::Auto), text);
    }

    void verifiedPackageIsKeptForHandOver() {
        // SHA-1 of "123456789".
        const QString target =
            announce("pkg.zip", "123456789", "SHA1Hash=F7C3BC1D808E04732ADF679965CCC34CA7AE3441");
        m_check->setHashType(THashType::SHA1);
        QStringList statuses;
        QStringList transfers;
        connect(&*m_download, &UpdateDownload::statusChanged, this,
                [&statuses](const QString& s) { statuses << s; });
        connect(&*m_download, &UpdateDownload::transferChanged, this,
                [&transfers](const QString& t) { transfers << t; });
        QSignalSpy names(&*m_download, &UpdateDownload::fileNameChanged);
        QSignalSpy maximum(&*m_download, &UpdateDownload::maximumChanged);
        QSignalSpy positions(&*m_download, &UpdateDownload::positionChanged);
        QSignalSpy started(&*m_download, &UpdateDownload::transferStarted);
        QSignalSpy ended(&*m_download, &UpdateDownload::transferEnded);

        QCOMPARE(m_download->run(*m_check), std::optional<QString>(target));

        QCOMPARE(readAll(target), QByteArray("123456789"));
        QCOMPARE(m_server->requests().value(1).method + ' ' + m_server->requests().value(2).method,
                 QByteArray("HEAD GET"));
        QCOMPARE(names.value(0).value(0).toString(), u"pkg.zip"_s);
        QCOMPARE(statuses, (QStringList{u"Zoek naar bestandsinformatie"_s, u"Download bestand"_s}));
        QCOMPARE(maximum.value(0).value(0).toInt(), 9);
        QCOMPARE(transfers.first(), u"0 B of 9 B (0%)"_s);
        QCOMPARE(transfers.last(), u"9 B of 9 B (100%)"_s);
        QCOMPARE(started.size(), 1);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(positions.first().value(0).toInt(), 0);
        QCOMPARE(positions.last().value(0).toInt(), 9);
        QCOMPARE(m_prompts->messageTexts(), QStringList{kStarting});
        QVERIFY(!m_download->running());
    }

    void discarded_data() {
        QTest::addColumn<QString>("why");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("lastStatus");
        QTest::addColumn<bool>("transferred");
        QTest::newRow("size unknown") << u"size"_s << QStringList() << u"Download bestand"_s << false;
        QTest::newRow("status 500") << u"500"_s << QStringList() << u"Mislukt: 500 Server Broke"_s << true;
        QTest::newRow("digest in lower case")
            << u"digest"_s << QStringList{u"De download is beschadigd."_s} << u"Download bestand"_s << true;
        QTest::newRow("cancelled") << u"cancel"_s << QStringList() << u"Mislukt: 404 Operation aborted"_s
                                   << true;
    }
    void discarded() {
        QFETCH(QString, why);
        QFETCH(QStringList, messages);
        QFETCH(QString, lastStatus);
        QFETCH(bool, transferred);
        const QString target =
            announce("pkg.zip", QByteArray(5000, 'p'), "CRC32Hash=cbf43926", why == u"cancel"_s ? 2500 : -1);
        if (why == u"size"_s)
            m_server->route("HEAD", "/pkg.zip", {"HTTP/1.1 200 OK\r\nX-Other: 5000\r\n", {}});
        if (why == u"500"_s)
            m_server->route("GET", "/pkg.zip", HttpResponder::status(500, "Server Broke"));
        if (why == u"digest"_s) {
            m_server->route("/pkg.zip", HttpResponder::ok("123456789"));
            m_check->setHashType(THashType::CRC32);
        }
        bool runningWhenCancelled = false;
        if (why == u"cancel"_s)
            connect(&m_download->client(), &HttpClient::documentData, this, [this, &runningWhenCancelled] {
                if (m_download->client().receivedCount() == 2500) {
                    runningWhenCancelled = m_download->running();
                    m_download->cancel();
                }
            });
        QString status;
        connect(&*m_download, &UpdateDownload::statusChanged, this,
                [&status](const QString& s) { status = s; });
        QSignalSpy started(&*m_download, &UpdateDownload::transferStarted);

        QCOMPARE(m_download->run(*m_check), std::nullopt);

        QVERIFY(!QFile::exists(target));
        QCOMPARE(m_prompts->messageTexts(), messages);
        QCOMPARE(status, lastStatus);
        QCOMPARE(started.size(), transferred ? 1 : 0);
        QCOMPARE(m_server->requests().size(), transferred ? 3 : 2);
        QCOMPARE(runningWhenCancelled, why == u"cancel"_s);
        QVERIFY(!m_download->running());
    }

    // Each is refused with its reason, and neither the package nor its hidden partial stays.
    void refused_data() {
        QTest::addColumn<QString>("why");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("lastStatus");
        const auto fault = [](SignatureFault f) {
            return QStringList{signatureFaultText(f)};
        };
        QTest::newRow("tampered package")
            << u"tampered"_s << fault(SignatureFault::Invalid) << u"Download bestand"_s;
        QTest::newRow("foreign key") << u"foreign"_s << fault(SignatureFault::ForeignKey)
                                     << u"Download bestand"_s;
        QTest::newRow("missing .minisig")
            << u"missing"_s << fault(SignatureFault::Missing) << u"Download bestand"_s;
        QTest::newRow("older signed version replayed")
            << u"older"_s << fault(SignatureFault::OtherVersion) << u"Download bestand"_s;
        QTest::newRow("body above the announced size")
            << u"oversize"_s << QStringList() << u"Mislukt: 404 The file is larger than 10 bytes"_s;
        QTest::newRow("body without a length cut short")
            << u"cut"_s << QStringList() << u"Mislukt: 404 Connection closed before the whole body arrived"_s;
        QTest::newRow("announced above the cap") << u"cap"_s << QStringList() << u"Download bestand"_s;
    }
    void refused() {
        QFETCH(QString, why);
        QFETCH(QStringList, messages);
        QFETCH(QString, lastStatus);
        const QByteArray body(5000, 'p');
        const QString target = announce("pkg.zip", body);
        if (why == u"tampered"_s)
            m_server->route("GET", "/pkg.zip", HttpResponder::ok(QByteArray(4999, 'p') + 'q'));
        if (why == u"foreign"_s)
            m_server->route("/pkg.zip.minisig", HttpResponder::ok(m_stranger->sign(body, u"version:2"_s)));
        if (why == u"missing"_s)
            m_server->route("/pkg.zip.minisig", HttpResponder::status(404, "Not Found"));
        if (why == u"older"_s)
            m_server->route("/pkg.zip.minisig", HttpResponder::ok(m_signer->sign(body, u"version:1"_s)));
        if (why == u"oversize"_s) {
            m_server->route("HEAD", "/pkg.zip", {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n", {}});
            m_server->route("GET", "/pkg.zip", HttpResponder::ok("#!/bin/sh\n" + QByteArray(300000, 'x')));
        }
        if (why == u"cut"_s)
            m_server->route("GET", "/pkg.zip", {"HTTP/1.1 200 OK\r\nConnection: close\r\n", body, -1, 2500});
        if (why == u"cap"_s)
            m_server->route("HEAD", "/pkg.zip", {"HTTP/1.1 200 OK\r\nContent-Length: 1073741825\r\n", {}});
        QString status;
        connect(&*m_download, &UpdateDownload::statusChanged, this,
                [&status](const QString& s) { status = s; });

        QCOMPARE(m_download->run(*m_check), std::nullopt);

        QCOMPARE(m_prompts->messageTexts(), messages);
        QCOMPARE(status, lastStatus);
        QVERIFY(!QFile::exists(target));
        QCOMPARE(QDir(m_folder + u"TempDownloads"_s).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void noKeyNoDownload() {
        announce("pkg.zip", "x");
        QVERIFY(m_check->downloadable());
        m_check->setSigningKey(std::nullopt);
        QVERIFY(!m_check->downloadable());
        QVERIFY(m_check->updatesElsewhere());
    }

    void missingFolderThrowsAndWritesNothing() {
        announce("pkg.zip", "x");
        QVERIFY(QDir(m_folder + u"TempDownloads"_s).removeRecursively());
        QVERIFY_THROWS_EXCEPTION(AppError, std::ignore = m_download->run(*m_check));
        QVERIFY(!QFileInfo::exists(m_folder + u"TempDownloads"_s));
        QCOMPARE(m_server->requests().size(), 1); // the information file only
    }

    void timesTickOnlyDuringTheTransfer() {
        m_download.emplace(
            m_folder, [] { return kT0.addSecs(2); }, std::chrono::milliseconds(5));
        announce("pkg.zip", QByteArray(5000, 'p'), {}, 2500);
        QList<DownloadTimes> ticks;
        connect(&*m_download, &UpdateDownload::timesChanged, this,
                [&ticks](const DownloadTimes& t) { ticks << t; });
        bool released = false;
        connect(&*m_download, &UpdateDownload::timesChanged, this, [this, &released] {
            if (!released && m_download->client().receivedCount() == 2500) {
                released = true;
                m_server->release();
            }
        });
        QString status;
        connect(&*m_download, &UpdateDownload::statusChanged, this,
                [&status](const QString& s) { status = s; });
        QVERIFY2(m_download->run(*m_check), qPrintable(status + m_prompts->messageTexts().join(u'|')));
        QVERIFY(released);
        const qsizetype afterRun = ticks.size();
        QTest::qWait(30);
        QCOMPARE(ticks.size(), afterRun);
        // The start and every tick read the same injected moment: nothing elapsed.
        QCOMPARE(ticks.first().elapsed, u"00:00:00"_s);
        QCOMPARE(m_download->startTime(), kT0.addSecs(2));
    }

private:
    // Serves the package and has the check announce it; gives the target path.
    QString announce(const QByteArray& name, const QByteArray& body, const QByteArray& extraKey = {},
                     qsizetype holdAfter = -1) {
        auto response = HttpResponder::ok(body, "application/zip");
        response.holdAfter = holdAfter;
        m_server->route("/" + name, response);
        m_server->route("/" + name + ".minisig", HttpResponder::ok(m_signer->sign(body, u"version:2"_s)));
        m_server->route(kInfoPath,
                        HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=2\r\nDownloadFileURL=" +
                                          m_server->url(u"/"_s + QString::fromLatin1(name)).toLatin1() +
                                          "\r\n" + extraKey + "\r\n"));
        std::ignore = m_check->run(m_server->url(QString::fromLatin1(kInfoPath)), {});
        return m_folder + u"TempDownloads/"_s + QString::fromLatin1(name);
    }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    std::optional<HttpResponder> m_server;
    std::optional<ScriptedPrompts> m_prompts;
    std::optional<UpdateChecker> m_check;
    std::optional<UpdateDownload> m_download;
    std::optional<TestSigner> m_signer;
    std::optional<TestSigner> m_stranger;
};

QTEST_GUILESS_MAIN(TestUpdateDownload)
#include "tst_updatedownload.moc"
