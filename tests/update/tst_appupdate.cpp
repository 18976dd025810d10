#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "common/apperror.h"
#include "common/ui/widgetprompts.h"
#include "httpresponder.h"
#include "realinput.h"
#include "scriptedprompts.h"
#include "testsigner.h"
#include "update/packagefile.h"
#include "update/ui/appupdate.h"
#include "update/ui/updatedownloadbox.h"
#include "update/ui/updatenotifybox.h"
#include "update/ui/updatesearchbox.h"
#include "update/updatechecker.h"
#include "update/updatedownload.h"

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(THashType)

namespace {
const QByteArray kInfoPath("/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt");
const QString kNone = u"Er is geen nieuwe versie beschikbaar."_s;
const QString kStarting = u"Rovenka® LiveUpdate gaat nu starten"_s;
const QDateTime kT0(QDate(2026, 3, 1), QTime(10, 0, 0), Qt::UTC);

QString label(UpdateDownloadBox* box, const QString& name) {
    auto* l = box->findChild<QLabel*>(name);
    return l ? l->text() : u"<missing>"_s;
}
} // namespace

class TestAppUpdate : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl& url) { m_opened << url.toString(); }

private slots:
    void initTestCase() {
        m_signer.emplace();
        if (!m_signer->ready())
            QSKIP(qPrintable(m_signer->errorString()));
    }
    void init() {
        m_dir.emplace();
        m_folder = m_dir->path() + u'/';
        m_server.emplace();
        m_prompts.emplace();
        m_opened.clear();
        m_shown = 0;
        m_onShow = {};
        m_onBox = {};
        m_box = nullptr;
        m_now = kT0;
        QDesktopServices::setUrlHandler(u"https"_s, this, "openUrl");
        QDesktopServices::setUrlHandler(u"http"_s, this, "openUrl");
        m_update = std::make_unique<AppUpdate>(m_folder, u"RTCPIPCLIENT"_s, [this] { return m_now; });
        m_update->setUpdateFileURL(m_server->url(QString::fromLatin1(kInfoPath)));
        m_update->setUpdatePageURL(u"https://www.rovenka.nl"_s);
        m_update->setVersion(u"9.0.1.3"_s);
        m_update->setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        m_update->setSigningKey(parseSigningKey(m_signer->publicKey()).value());
        m_update->setShowModal([this](UpdateNotifyBox& box) {
            ++m_shown;
            m_memo = box.ReadmeMemo()->toPlainText();
            m_downloadEnabled = box.DownloadButton()->isEnabled();
            if (m_onShow)
                m_onShow(box);
        });
    }
    void cleanup() {
        // A started updater writes into the folder: let it finish before the folder goes.
        if (m_handedOver)
            QVERIFY(
                QTest::qWaitFor([this] { return QFile::exists(m_folder + u"updater-args.txt"_s); }, 10000));
        m_handedOver = false;
        QDesktopServices::unsetUrlHandler(u"https"_s);
        QDesktopServices::unsetUrlHandler(u"http"_s);
        m_update.reset();
        m_prompts.reset();
        m_server.reset();
        m_dir.reset();
    }

    void versionDecidesTheDialog_data() {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("announced");
        QTest::addColumn<bool>("newer");
        QTest::newRow("9.0.1.4 is newer") << u"9.0.1.3"_s << u"9.0.1.4"_s << true;
        QTest::newRow("9.0.1.10 is not") << u"9.0.1.9"_s << u"9.0.1.10"_s << false;
        QTest::newRow("10.0.0.0 is not") << u"9.0.1.3"_s << u"10.0.0.0"_s << false;
        QTest::newRow("equal") << u"9.0.1.3"_s << u"9.0.1.3"_s << false;
        QTest::newRow("9.0.1.3a is newer") << u"9.0.1.3"_s << u"9.0.1.3a"_s << true;
        QTest::newRow("running empty") << QString() << u"1"_s << true;
    }
    void versionDecidesTheDialog() {
        QFETCH(QString, running);
        QFETCH(QString, announced);
        QFETCH(bool, newer);
        m_server->route(kInfoPath,
                        HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=" + announced.toLatin1() + "\r\n"));
        m_update->setVersion(running);
        QCOMPARE(m_update->CheckForUpdate(false), newer);
        QCOMPARE(m_shown, newer ? 1 : 0);
        QCOMPARE(m_prompts->messageTexts(), newer ? QStringList() : QStringList{kNone});
        if (!newer)
            QCOMPARE(m_prompts->messages().value(0).icon, prompts::Icon::Information);
    }

    void silentSaysNothing() {
        m_server->route(kInfoPath, HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.3\r\n"));
        QVERIFY(!m_update->CheckForUpdate(true));
        QCOMPARE(m_prompts->messageTexts(), QStringList());
        m_server->route(kInfoPath, HttpResponder::status(404, "Not Found"));
        QVERIFY(!m_update->CheckForUpdate(true));
        QCOMPARE(m_prompts->messageTexts(), QStringList());
    }

    void failedCheckOffersTheWebsite_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void failedCheckOffersTheWebsite() {
        QFETCH(bool, yes);
        m_server->route(kInfoPath, HttpResponder::status(404, "Not Found"));
        m_prompts->answerNext(yes ? prompts::Answer::Yes : prompts::Answer::No);
        QVERIFY(!m_update->CheckForUpdate(false));
        QCOMPARE(m_prompts->messages().size(), 1);
        QCOMPARE(m_prompts->messages().value(0).text, kNone + u"\rWenst u de website te openen?"_s);
        QCOMPARE(m_prompts->messages().value(0).buttons, prompts::Buttons::YesNo);
        QCOMPARE(m_opened, yes ? QStringList{u"https://www.rovenka.nl"_s} : QStringList());
    }

    void missingSectionCountsAsFailure() {
        m_server->route(kInfoPath, HttpResponder::ok("[OTHER]\r\nVersion=99\r\n"));
        QVERIFY(!m_update->CheckForUpdate(false));
        QCOMPARE(m_prompts->messages().value(0).buttons, prompts::Buttons::YesNo);
    }

    void emptyUpdateFileUrlMakesNoRequest() {
        m_update->setUpdateFileURL(QString());
        QVERIFY(!m_update->CheckForUpdate(false));
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(m_prompts->messageTexts(), QStringList{kNone});
    }

    void keysInAnyCaseAndQuotedValues() {
        m_server->route(kInfoPath, HttpResponder::ok("[rtcpipclient]\r\nversion = \"9.0.1.4\"\r\n"
                                                     "readmefileurl='" +
                                                     m_server->url(u"/notes.txt"_s).toLatin1() +
                                                     "'\r\nDOWNLOADFILEURL=\"http://h/pkg.zip\"\r\n"));
        m_server->route("/notes.txt", HttpResponder::ok("Nieuw:\r\n- caf\xE9\r\n"));
        m_onShow = [this](UpdateNotifyBox& box) {
            QCOMPARE(box.info().Version, u"9.0.1.4"_s);
            QCOMPARE(box.info().DownloadFileURL, u"http://h/pkg.zip"_s);
            box.findChild<QPushButton*>(u"OpenWebPageButton"_s)->click();
        };
        QVERIFY(m_update->CheckForUpdate(false));
        QCOMPARE(m_shown, 1);
        QCOMPARE(m_memo, u"Nieuw:\n- caf\u00E9"_s);
        QVERIFY(m_downloadEnabled);
        // The file names no page: the component's takes its place.
        QCOMPARE(m_opened, QStringList{u"https://www.rovenka.nl"_s});
        const auto& request = m_server->requests().value(0);
        QCOMPARE(request.header("User-Agent"), QByteArray("Mozilla/4.0 (compatible; ICS)"));
        QCOMPARE(request.header("Pragma"), QByteArray("no-cache"));
    }

    void notesFailureIsShownInTheMemo_data() {
        QTest::addColumn<QByteArray>("notes");
        QTest::addColumn<QString>("memo");
        QTest::newRow("404") << QByteArray("/missing.txt") << u"Mislukt: 404 Not Found"_s;
        QTest::newRow("redirected to 500") << QByteArray("/moved.txt") << u"Mislukt: 500 Server Broke"_s;
    }
    void notesFailureIsShownInTheMemo() {
        QFETCH(QByteArray, notes);
        QFETCH(QString, memo);
        m_server->route("/moved.txt", HttpResponder::redirect("/broken.txt"));
        m_server->route("/broken.txt", HttpResponder::status(500, "Server Broke"));
        m_server->route(
            kInfoPath,
            HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.4\r\nReadmeFileURL=" +
                              m_server->url(QString::fromLatin1(notes)).toLatin1() +
                              "\r\nDownloadFileURL=http://h/p.zip\r\nUpdatePageURL=https://own/\r\n"));
        m_onShow = [](UpdateNotifyBox& box) {
            box.OpenWebPageButtonClick();
        };
        QVERIFY(m_update->CheckForUpdate(false));
        QCOMPARE(m_memo, memo);
        QVERIFY(m_downloadEnabled);
        QCOMPARE(m_opened, QStringList{u"https://own/"_s});
    }

    void notesBehind401AreStillShown() {
        m_server->route("/auth.txt", HttpResponder::status(401, "Unauthorized", "still notes"));
        m_server->route(kInfoPath, HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.4\r\nReadmeFileURL=" +
                                                     m_server->url(u"/auth.txt"_s).toLatin1() + "\r\n"));
        QVERIFY(m_update->CheckForUpdate(false));
        QCOMPARE(m_memo, u"still notes"_s);
        QVERIFY(!m_downloadEnabled);
    }

    void secondCheckIsRefusedWhileOneRuns() {
        auto slow = HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.3\r\n");
        slow.holdAfter = 4;
        m_server->route(kInfoPath, slow);
        std::optional<bool> second;
        connect(m_update.get(), &AppUpdate::notifyBoxCreated, this, [this, &second](UpdateNotifyBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, this, [this, &second] {
                if (second)
                    return;
                QVERIFY(m_update->checking());
                second = m_update->CheckForUpdate(false);
                m_server->release();
            });
        });
        QVERIFY(!m_update->CheckForUpdate(false));
        QCOMPARE(second, std::optional<bool>(false));
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(!m_update->checking());
    }

    // A check that waits on a silent server shows that it runs, and ends by its cancel, by its
    // limit, or by a quit of the application, without a word afterwards.
    void silentServerEnds_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("AFBREKEN") << u"cancel"_s;
        QTest::newRow("close box of the search box") << u"close"_s;
        QTest::newRow("limit") << u"limit"_s;
        QTest::newRow("quit") << u"quit"_s;
    }
    void silentServerEnds() {
        QFETCH(QString, how);
        auto silent = HttpResponder::ok("x");
        silent.silent = true;
        m_server->route(kInfoPath, silent);
        m_update->setLimits(std::chrono::milliseconds(60000),
                            std::chrono::milliseconds(how == u"limit"_s ? 300 : 60000));
        QPointer<UpdateSearchBox> search;
        bool shown = false;
        connect(m_update.get(), &AppUpdate::searchBoxCreated, this,
                [&](UpdateSearchBox* box) { search = box; });
        QElapsedTimer clock;
        connect(&*m_server, &HttpResponder::requestReceived, this, [&] {
            clock.start();
            QTimer::singleShot(100, this, [&] {
                shown = search && search->isVisible();
                if (how == u"cancel"_s)
                    search->findChild<QPushButton*>(u"searchCancelButton"_s)->click();
                else if (how == u"close"_s)
                    search->close();
                else if (how == u"quit"_s)
                    QCoreApplication::quit();
            });
        });
        std::optional<bool> result;
        if (how == u"quit"_s) {
            QTimer::singleShot(0, this, [&] { result = m_update->CheckForUpdate(false); });
            QCoreApplication::exec();
        } else {
            result = m_update->CheckForUpdate(false);
        }
        QCOMPARE(result, std::optional<bool>(false));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(shown);
        QVERIFY(!search); // gone with the check
        QVERIFY(!m_update->checking());
        // A limit is a failed check: the usual question; a cancel or a quit says nothing.
        QCOMPARE(m_prompts->messages().size(), how == u"limit"_s ? 1 : 0);
    }

    void buildWithoutKeyTellsWhereTheUpdateComesFrom() {
        preparePackage("pkg.zip", QByteArray(10, 'p'));
        m_update->setSigningKey(std::nullopt);
        QVERIFY(m_update->CheckForUpdate(false));
        QVERIFY(!m_downloadEnabled);
        QVERIFY2(m_memo.startsWith(u"Versie 9.0.1.4 is beschikbaar (deze versie: 9.0.1.3)."_s),
                 qPrintable(m_memo));
        QVERIFY(m_memo.contains(u"pakketbeheerder"_s));
    }

    void serverTextIsShownAsText() {
        preparePackage("<i>pkg.zip", QByteArray(10, 'p'), 5);
        QString shownName;
        Qt::TextFormat format = Qt::AutoText;
        m_onBox = [this, &shownName, &format](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [this, box, &shownName, &format] {
                auto* file = box->findChild<QLabel*>(u"FileLabel"_s);
                shownName = file->text();
                format = file->textFormat();
                m_server->release();
            });
        };
        QVERIFY(runDownload());
        QCOMPARE(shownName, u"<i>pkg.zip"_s);
        QCOMPARE(format, Qt::PlainText);
    }

    // Download and hand-over.

    void handOverStartsTheUpdaterWithThePathInApostrophes() {
        const QString target = preparePackage("my pkg.zip", QByteArray(5000, 'p'));
        QSignalSpy ending(m_update.get(), &AppUpdate::applicationEndRequested);
        QVERIFY(runDownload());
        QCOMPARE(ending.size(), 1);
        QCOMPARE(m_prompts->messageTexts(), QStringList{kStarting});
        QVERIFY(QFile::exists(target));
        QFile args(m_folder + u"updater-args.txt"_s);
        QTRY_VERIFY(args.exists());
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(args.readAll()), u'\'' + target + u"'\n"_s);
        const QByteArray methods =
            m_server->requests().value(1).method + ' ' + m_server->requests().value(2).method;
        QCOMPARE(methods, QByteArray("HEAD GET"));
    }

    void announcedSize_data() {
        QTest::addColumn<QByteArray>("headLine");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("lower case") << QByteArray("content-length: 1048576") << true;
        QTest::newRow("upper case") << QByteArray("CONTENT-LENGTH: 1048576") << true;
        QTest::newRow("no header") << QByteArray("X-Other: 1048576") << false;
        QTest::newRow("zero") << QByteArray("Content-Length: 0") << false;
        QTest::newRow("above 32 bits") << QByteArray("Content-Length: 2147483648") << false;
    }
    void announcedSize() {
        QFETCH(QByteArray, headLine);
        QFETCH(bool, downloads);
        const QString target = preparePackage("pkg.zip", QByteArray(1048576, 'q'));
        m_server->route("HEAD", "/pkg.zip", {"HTTP/1.1 200 OK\r\n" + headLine + "\r\n", {}});
        int maximum = -1;
        m_onBox = [&maximum](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [box, &maximum] {
                maximum = box->findChild<QProgressBar*>(u"ProgressBar1"_s)->maximum();
            });
        };
        QCOMPARE(runDownload(), downloads);
        QCOMPARE(QFile::exists(target), downloads);
        if (downloads) {
            QCOMPARE(maximum, 1048576);
        } else {
            QCOMPARE(m_prompts->messageTexts(), QStringList());
            QCOMPARE(m_server->requests().size(), 2); // the information file and the HEAD
        }
    }

    void labelsAtGivenMoments() {
        preparePackage("pkg.zip", QByteArray(5000, 'p'), 2500);
        QStringList seen;
        m_onBox = [this, &seen](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [this, box, &seen] {
                if (box->HttpCli1().receivedCount() != 2500)
                    return;
                QCOMPARE(box->startTime(), kT0);
                QVERIFY(box->isVisible());
                seen << label(box, u"FileLabel"_s) << label(box, u"TransferLabel"_s)
                     << label(box, u"StatusLabel"_s) << label(box, u"SpeedLabel"_s);
                m_now = kT0.addMSecs(500);
                box->Timer1Timer();
                seen << label(box, u"SpeedLabel"_s) << label(box, u"ElapsedTimeLabel"_s);
                m_now = kT0.addSecs(3);
                box->Timer1Timer();
                seen << label(box, u"SpeedLabel"_s);
                m_now = kT0.addSecs(10);
                box->Timer1Timer();
                seen << label(box, u"RemainingTimeLabel"_s) << label(box, u"ElapsedTimeLabel"_s);
                m_now = kT0.addSecs(86400 + 61);
                box->Timer1Timer();
                seen << label(box, u"ElapsedTimeLabel"_s);
                m_server->release();
            });
        };
        QVERIFY(runDownload());
        QCOMPARE(seen, (QStringList{u"pkg.zip"_s, u"2 KB of 4 KB (50%)"_s, u"Download bestand"_s,
                                    u"0 KB/sec"_s, u"0 B/sec"_s, u"00:00:00"_s, u"833 B/sec"_s, u"00:00:10"_s,
                                    u"00:00:10"_s, u"00:01:01"_s}));
    }

    void percentageIsTruncated() {
        preparePackage("p.bin", QByteArray("abc"), 1);
        QString transfer;
        m_onBox = [this, &transfer](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [this, box, &transfer] {
                if (box->HttpCli1().receivedCount() == 1) {
                    transfer = label(box, u"TransferLabel"_s);
                    m_server->release();
                }
            });
        };
        QVERIFY(runDownload());
        QCOMPARE(transfer, u"1 B of 3 B (33%)"_s);
    }

    void cancel_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("answered yes") << true;
        QTest::newRow("answered no") << false;
    }
    void cancel() {
        QFETCH(bool, yes);
        const QString target = preparePackage("pkg.zip", QByteArray(5000, 'p'), 2500);
        m_onBox = [this, yes](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [this, box, yes] {
                if (box->HttpCli1().receivedCount() != 2500)
                    return;
                m_prompts->answerNext(yes ? prompts::Answer::Yes : prompts::Answer::No);
                box->findChild<QPushButton*>(u"CancelButton"_s)->click();
                QCOMPARE(box->findChild<QPushButton*>(u"CancelButton"_s)->isEnabled(), !yes);
                if (!yes)
                    m_server->release();
            });
        };
        QSignalSpy ending(m_update.get(), &AppUpdate::applicationEndRequested);
        QCOMPARE(runDownload(), !yes);
        QCOMPARE(QFile::exists(target), !yes);
        QCOMPARE(ending.size(), yes ? 0 : 1);
        if (yes)
            QCOMPARE(m_prompts->messageTexts(), (QStringList{u"Deze software update afbreken?"_s,
                                                             u"De software update werd afgebroken."_s}));
        else
            QCOMPARE(m_prompts->messageTexts(),
                     (QStringList{u"Deze software update afbreken?"_s, kStarting}));
        QCOMPARE(m_prompts->messages().value(0).buttons, prompts::Buttons::YesNo);
    }

    void failedTransfersAreDeleted_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("status 500") << 0;
        QTest::newRow("body shorter than announced") << 1;
        QTest::newRow("write error") << 2;
    }
    void failedTransfersAreDeleted() {
        QFETCH(int, kind);
        const QString target = preparePackage("pkg.zip", QByteArray(5000, 'p'));
        if (kind == 0)
            m_server->route("GET", "/pkg.zip", HttpResponder::status(500, "Server Broke"));
        if (kind == 1) {
            auto cut = HttpResponder::ok(QByteArray(5000, 'p'));
            cut.cutAfter = 1000;
            m_server->route("GET", "/pkg.zip", cut);
        }
        if (kind == 2) {
            if (!QFileInfo::exists(u"/dev/full"_s))
                QSKIP("no /dev/full here");
            // The download goes to its hidden name first: that is where the disk is full.
            QVERIFY(QFile::link(u"/dev/full"_s, packagefile::partialPath(target)));
        }
        QSignalSpy ending(m_update.get(), &AppUpdate::applicationEndRequested);
        QVERIFY(!runDownload());
        QVERIFY(!QFileInfo(target).exists() && !QFileInfo(target).isSymLink());
        QCOMPARE(QDir(m_folder + u"TempDownloads"_s).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList());
        QCOMPARE(ending.size(), 0);
        QCOMPARE(m_prompts->messageTexts(), QStringList());
        QVERIFY(!QFile::exists(m_folder + u"updater-args.txt"_s));
    }

    void digests_data() {
        QTest::addColumn<THashType>("type");
        QTest::addColumn<QByteArray>("published");
        QTest::addColumn<bool>("passes");
        // Of the bytes "123456789".
        QTest::newRow("CRC32 match") << THashType::CRC32 << QByteArray("CBF43926") << true;
        QTest::newRow("CRC32 lower case") << THashType::CRC32 << QByteArray("cbf43926") << false;
        QTest::newRow("MD5 match") << THashType::MD5 << QByteArray("25F9E794323B453885F5181F1B624D0B")
                                   << true;
        QTest::newRow("MD5 empty") << THashType::MD5 << QByteArray() << false;
        QTest::newRow("SHA1 match") << THashType::SHA1
                                    << QByteArray("F7C3BC1D808E04732ADF679965CCC34CA7AE3441") << true;
        QTest::newRow("SHA1 empty") << THashType::SHA1 << QByteArray() << false;
        QTest::newRow("SHA1 other file")
            << THashType::SHA1 << QByteArray("A9993E364706816ABA3E25717850C26C9CD0D89D") << false;
        QTest::newRow("None passes") << THashType::None << QByteArray("whatever") << true;
    }
    void digests() {
        QFETCH(THashType, type);
        QFETCH(QByteArray, published);
        QFETCH(bool, passes);
        const QByteArray key = type == THashType::CRC32 ? "CRC32Hash"
                               : type == THashType::MD5 ? "MD5Hash"
                                                        : "SHA1Hash";
        const QString target =
            preparePackage("pkg.zip", QByteArray("123456789"), -1, key + '=' + published + "\r\n");
        m_update->setHashType(type);
        QCOMPARE(runDownload(), passes);
        QCOMPARE(QFile::exists(target), passes);
        QCOMPARE(m_prompts->messageTexts(),
                 passes ? QStringList{kStarting} : QStringList{u"De download is beschadigd."_s});
        QCOMPARE(m_prompts->messages().value(0).icon,
                 passes ? prompts::Icon::Information : prompts::Icon::Error);
    }

    void missingTempDownloads() {
        preparePackage("pkg.zip", QByteArray(10, 'p'));
        QVERIFY(QDir(m_folder + u"TempDownloads"_s).removeRecursively());
        bool threw = false;
        m_onShow = [&threw](UpdateNotifyBox& box) {
            try {
                box.DownloadButtonClick();
            } catch (const AppError& e) {
                threw = e.message().startsWith(u"Cannot create file"_s);
            }
            QVERIFY(!box.downloading());
        };
        QVERIFY(m_update->CheckForUpdate(false));
        QVERIFY(threw);
        QVERIFY(!QFileInfo::exists(m_folder + u"TempDownloads"_s));
        QCOMPARE(m_server->requests().size(), 1);
    }

    void fileNamesLeavingTheFolderAreRefused_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("backslashes") << QByteArray("..\\evil.zip");
        QTest::newRow("dot dot") << QByteArray("..");
        QTest::newRow("trailing slash") << QByteArray("");
    }
    void fileNamesLeavingTheFolderAreRefused() {
        QFETCH(QByteArray, name);
        preparePackage(name, QByteArray(10, 'p'));
        bool threw = false;
        m_onShow = [&threw](UpdateNotifyBox& box) {
            try {
                box.DownloadButtonClick();
            } catch (const AppError&) {
                threw = true;
            }
        };
        QVERIFY(m_update->CheckForUpdate(false));
        QVERIFY(threw);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files), QStringList{u"RovenkaUpdater"_s});
        QCOMPARE(QDir(m_folder + u"TempDownloads"_s).entryList(QDir::Files), QStringList());
    }

    void secondDownloadIsRefusedWhileOneRuns() {
        preparePackage("pkg.zip", QByteArray(5000, 'p'), 2500);
        m_onBox = [this](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [this, box] {
                if (box->HttpCli1().receivedCount() != 2500)
                    return;
                QVERIFY(m_box->downloading());
                m_box->DownloadButtonClick();
                m_server->release();
            });
        };
        QVERIFY(runDownload());
        QCOMPARE(m_boxes, 1);
    }

    void dialogLayouts() {
        UpdateChecker check(u"RTCPIPCLIENT"_s);
        UpdateNotifyBox notify(check);
        QCOMPARE(notify.windowTitle(), u"Nieuwe versie is beschikbaar"_s);
        QCOMPARE(notify.size(), QSize(690, 313));
        QCOMPARE(notify.ReadmeMemo()->geometry(), QRect(8, 8, 461, 257));
        QVERIFY(notify.ReadmeMemo()->isReadOnly());
        const auto button = [&notify](const QString& name) {
            return notify.findChild<QPushButton*>(name);
        };
        QCOMPARE(button(u"DownloadButton"_s)->text(), u"Download en installeer"_s);
        QCOMPARE(button(u"DownloadButton"_s)->geometry(), QRect(7, 278, 229, 25));
        QCOMPARE(button(u"OpenWebPageButton"_s)->text(), u"Open webpagina"_s);
        QCOMPARE(button(u"OpenWebPageButton"_s)->geometry(), QRect(249, 278, 131, 25));
        QCOMPARE(button(u"OKButton"_s)->text(), u"OK"_s);
        QCOMPARE(button(u"OKButton"_s)->geometry(), QRect(395, 278, 74, 25));
        QVERIFY(button(u"OKButton"_s)->isDefault());

        UpdateDownload download(m_folder, [] { return kT0; });
        UpdateDownloadBox box(download);
        QCOMPARE(box.windowTitle(), u"Download nieuwe versie"_s);
        QCOMPARE(box.size(), QSize(690, 313));
        const QStringList firstTexts{label(&box, u"FileLabel"_s),          label(&box, u"SpeedLabel"_s),
                                     label(&box, u"StatusLabel"_s),        label(&box, u"ElapsedTimeLabel"_s),
                                     label(&box, u"RemainingTimeLabel"_s), label(&box, u"TransferLabel"_s)};
        QCOMPARE(firstTexts, (QStringList{u"-"_s, u"0 KB/sec"_s, u"Downloading file"_s, u"00:00:00"_s,
                                          u"00:00:00"_s, u"0 KB of 0 KB"_s}));
        QCOMPARE(box.findChild<QProgressBar*>(u"ProgressBar1"_s)->geometry(), QRect(7, 200, 460, 44));
        auto* cancel = box.findChild<QPushButton*>(u"CancelButton"_s);
        QCOMPARE(cancel->text(), u"AFBREKEN"_s);
        QCOMPARE(cancel->geometry(), QRect(7, 259, 460, 38));
        QStringList captions;
        for (auto* l : box.findChildren<QLabel*>())
            if (l->objectName().isEmpty())
                captions << l->text();
        QCOMPARE(captions, (QStringList{u"Bestand:"_s, u"Snelheid:"_s, u"Status :"_s, u"Verstreken tijd :"_s,
                                        u"Resterende tijd :"_s, u"Overdracht :"_s}));
    }

    void proxyIsNamedInTheStatus() {
        // The update server is reached through the responder acting as a proxy.
        preparePackage("pkg.zip", QByteArray(10, 'p'), 5);
        m_update->setUpdateFileURL(u"http://update.invalid"_s + QString::fromLatin1(kInfoPath));
        m_update->setProxyAddress(u"127.0.0.1"_s);
        m_update->setProxyPort(QString::number(m_server->port()));
        QString status;
        m_onBox = [this, &status](UpdateDownloadBox* box) {
            connect(&box->HttpCli1(), &HttpClient::documentData, box, [this, box, &status] {
                status = label(box, u"StatusLabel"_s);
                m_server->release();
            });
        };
        QVERIFY(runDownload());
        QCOMPARE(status, u"Download bestand via proxy server (127.0.0.1:%1)"_s.arg(m_server->port()));
    }

    // Real input: the new-version dialog runs modally as in the program, the questions are real
    // message boxes, and each is answered through the window system, where Qt drops the input of
    // a window that a modal dialog shuts out.

    void downloadBoxTakesRealInput_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("yes");
        for (const char* input : {"AFBREKEN", "Escape", "close box"}) {
            QTest::addRow("%s, yes", input) << QString::fromLatin1(input) << true;
            QTest::addRow("%s, no", input) << QString::fromLatin1(input) << false;
        }
    }
    void downloadBoxTakesRealInput() {
        QFETCH(QString, input);
        QFETCH(bool, yes);
        const QString target = preparePackage("pkg.zip", QByteArray(5000, 'p'), 2500);
        m_answers = {yes ? QMessageBox::Yes : QMessageBox::No, QMessageBox::Ok};
        bool delivered = false;
        bool shownAfter = false;
        bool cancelEnabledAfter = false;
        const bool handed = runWithRealDialogs([&, this](UpdateDownloadBox* box) {
            auto* cancel = box->findChild<QPushButton*>(u"CancelButton"_s);
            if (input == u"AFBREKEN"_s)
                delivered = realinput::click(cancel);
            else if (input == u"Escape"_s)
                delivered = realinput::keyClick(box, Qt::Key_Escape);
            else
                delivered = !realinput::closeBox(box); // refused: the box stays
            shownAfter = box->isVisible();
            cancelEnabledAfter = cancel->isEnabled();
            if (m_realTexts.isEmpty())
                rescue(); // the input never arrived; the transfer would wait for ever
            else if (!yes)
                m_server->release();
        });
        QVERIFY(!m_rescued);
        QVERIFY(delivered);
        QVERIFY(shownAfter);
        QCOMPARE(cancelEnabledAfter, !yes);
        QCOMPARE(handed, !yes);
        QCOMPARE(QFile::exists(target), !yes);
        QCOMPARE(m_realTexts, yes ? (QStringList{u"Deze software update afbreken?"_s,
                                                 u"De software update werd afgebroken."_s})
                                  : (QStringList{u"Deze software update afbreken?"_s, kStarting}));
        QCOMPARE(m_unanswered, 0);
    }

    void newVersionDialogStaysUntilTheTransferEnds() {
        preparePackage("pkg.zip", QByteArray(5000, 'p'), 2500);
        m_answers = {QMessageBox::Ok};
        bool delivered = false;
        bool bothShown = false;
        const bool handed = runWithRealDialogs([&, this](UpdateDownloadBox* box) {
            delivered = realinput::click(m_box->findChild<QPushButton*>(u"OKButton"_s));
            bothShown = m_box->isVisible() && box->isVisible();
            m_server->release();
        });
        QVERIFY(!m_rescued);
        QVERIFY(delivered);
        QVERIFY(bothShown);
        QVERIFY(handed);
        QCOMPARE(m_realTexts, QStringList{kStarting});
    }

private:
    // Serves an information file announcing 9.0.1.4 with the package, prepares the folder and
    // the updater; gives the target path.
    QString preparePackage(const QByteArray& name, const QByteArray& body, qsizetype holdAfter = -1,
                           const QByteArray& extraKeys = {}) {
        QDir(m_folder).mkdir(u"TempDownloads"_s);
        QFile::copy(QStringLiteral(FAKE_UPDATER), AppUpdate::updaterPath(m_folder));
        auto response = HttpResponder::ok(body, "application/zip");
        response.holdAfter = holdAfter;
        m_server->route("/" + name, response);
        m_server->route("/" + name + ".minisig",
                        HttpResponder::ok(m_signer->sign(body, u"version:9.0.1.4"_s)));
        m_server->route(kInfoPath,
                        HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=9.0.1.4\r\nDownloadFileURL=http://" +
                                          QByteArray(m_update->proxyAddress().isEmpty() ? "" : "") +
                                          "127.0.0.1:" + QByteArray::number(m_server->port()) + "/" + name +
                                          "\r\n" + extraKeys));
        return m_folder + u"TempDownloads/"_s + QString::fromUtf8(name);
    }
    // Runs a check whose dialogs all run as in the program: the new-version dialog modally, the
    // questions as real message boxes answered in turn from m_answers. "Download en installeer"
    // is clicked; duringTransfer gets the download box once the server holds the body back.
    // True when handed over.
    bool runWithRealDialogs(std::function<void(UpdateDownloadBox*)> duringTransfer) {
        WidgetPrompts real(u"RTCPIPCLIENT"_s);
        struct Restore {
            prompts::Handler* scripted = prompts::handler();
            ~Restore() { prompts::setHandler(scripted); }
        } restore;
        prompts::setHandler(&real);
        m_update->setShowModal({});
        m_realTexts.clear();
        m_unanswered = 0;
        m_rescued = false;
        m_download = nullptr;
        bool downloadClicked = false;
        realinput::ShownWindows answer([this, &downloadClicked](QWidget* window) {
            if (auto* box = qobject_cast<QMessageBox*>(window)) {
                m_realTexts << box->text();
                QAbstractButton* button = m_answers.isEmpty() ? nullptr : box->button(m_answers.takeFirst());
                if (!button || !realinput::click(button)) {
                    ++m_unanswered;
                    box->reject();
                }
            } else if (window == m_box && !downloadClicked) {
                downloadClicked = true;
                if (!realinput::click(m_box->DownloadButton()))
                    m_box->reject();
            }
        });
        bool handed = false;
        bool held = false;
        auto created =
            connect(m_update.get(), &AppUpdate::notifyBoxCreated, this, [&, this](UpdateNotifyBox* notify) {
                m_box = notify;
                connect(notify, &UpdateNotifyBox::handOverRequested, this,
                        [this, &handed] { handed = m_handedOver = true; });
                connect(notify, &UpdateNotifyBox::downloadBoxCreated, this,
                        [&, this](UpdateDownloadBox* box) {
                            m_download = box;
                            connect(&box->HttpCli1(), &HttpClient::documentData, box, [&, box] {
                                if (held || box->HttpCli1().receivedCount() != 2500)
                                    return;
                                held = true;
                                // From the request's own loop, as a user's input arrives.
                                QTimer::singleShot(0, box, [box, &duringTransfer] { duringTransfer(box); });
                            });
                        });
            });
        // Only fires when an input was lost and nothing else ends the flow.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, &TestAppUpdate::rescue);
        watchdog.start(10000);
        const bool checked = m_update->CheckForUpdate(false);
        disconnect(created);
        if (!checked)
            qWarning("the check found no newer version");
        return handed;
    }
    // Ends a flow whose input went astray: answers the open question No and stops the transfer.
    void rescue() {
        m_rescued = true;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->reject();
        if (m_download)
            m_download->HttpCli1().abort();
    }

    // Runs a check whose dialog presses "Download en installeer"; true when handed over.
    bool runDownload() {
        bool handed = false;
        m_boxes = 0;
        auto box =
            connect(m_update.get(), &AppUpdate::notifyBoxCreated, this, [this, &handed](UpdateNotifyBox* b) {
                m_box = b;
                connect(b, &UpdateNotifyBox::handOverRequested, this,
                        [this, &handed] { handed = m_handedOver = true; });
                connect(b, &UpdateNotifyBox::downloadBoxCreated, this, [this](UpdateDownloadBox* d) {
                    ++m_boxes;
                    if (m_onBox)
                        m_onBox(d);
                });
            });
        m_onShow = [](UpdateNotifyBox& b) {
            b.findChild<QPushButton*>(u"DownloadButton"_s)->click();
        };
        const bool checked = m_update->CheckForUpdate(false);
        disconnect(box);
        if (!checked)
            qWarning("the check found no newer version");
        return handed;
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    std::optional<HttpResponder> m_server;
    std::optional<ScriptedPrompts> m_prompts;
    std::unique_ptr<AppUpdate> m_update;
    QStringList m_opened;
    int m_shown = 0;
    bool m_handedOver = false;
    int m_boxes = 0;
    QString m_memo;
    bool m_downloadEnabled = false;
    QDateTime m_now;
    UpdateNotifyBox* m_box = nullptr;
    QPointer<UpdateDownloadBox> m_download;
    QList<QMessageBox::StandardButton> m_answers;
    QStringList m_realTexts;
    int m_unanswered = 0;
    bool m_rescued = false;
    std::function<void(UpdateNotifyBox&)> m_onShow;
    std::optional<TestSigner> m_signer;
    std::function<void(UpdateDownloadBox*)> m_onBox;
};

QTEST_MAIN(TestAppUpdate)
#include "tst_appupdate.moc"
