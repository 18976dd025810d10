#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "app/logmemo.h"
#include "app/logmemoedit.h"
#include "common/apperror.h"
#include "engine/shutdownsignals.h"
#include "hexview/hexview.h"
#include "httpresponder.h"
#include "scriptedprompts.h"
#include "update/ui/appupdate.h"
#include "windowfixture.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Throws from inside event dispatch, where only the application's hook can catch it.
class Thrower : public QObject {
public:
    bool standard = false;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            if (standard)
                throw std::runtime_error("plain failure");
            throw AppError(u"Socket Error # 10054\r\nConnection reset by peer."_s);
        }
        return QObject::event(e);
    }
};

} // namespace

class TestHoofdscherm : public QObject, WindowFixture {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_folder = m_dir->path() + u'/';
        m_window = std::make_unique<THoofdscherm>(testWindowConfig(m_folder));
        qobject_cast<Application*>(qApp)->setErrorHook(
            [w = m_window.get()](const QString& m) { w->reportUncaught(m); });
    }
    void cleanup() {
        qobject_cast<Application*>(qApp)->setErrorHook({});
        m_window.reset();
        m_dir.reset();
    }

    void captionCarriesTheExecutablesVersion() {
        QCOMPARE(m_window->windowTitle(), u"Rovenka®  TCP/IP Cliënt - v9.0.1.3"_s);
        QCOMPARE(m_window->runningVersion(), u"9.0.1.3"_s);
        QCOMPARE(Application::title(), u"Rovenka® TCP / IP cliënt"_s);
    }

    // The pictures the menu entry installs, compiled in: a window icon from a resource that was not
    // linked is silently empty.
    void windowIconIsTheMenuEntrysIcon() {
        // The large sizes follow on the first pass of the event loop, after the first frame.
        QTRY_VERIFY(m_window->windowIcon().availableSizes().contains(QSize(256, 256)));
        const QIcon icon = m_window->windowIcon();
        const QList<QSize> sizes = icon.availableSizes();
        for (const int size : {16, 32, 48, 256})
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage small = icon.pixmap(QSize(16, 16)).toImage();
        QCOMPARE(small.size(), QSize(16, 16));
        QVERIFY(qAlpha(small.pixel(8, 8)) == 255);
    }

    void openBestandShowsTheChosenFileOnTheHexTab() {
        ScriptedPrompts prompts;
        const QString first = m_folder + u"first.bin"_s;
        const QString second = m_folder + u"second.bin"_s;
        const auto put = [](const QString& path, const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        put(first, QByteArray("ABCDEFGHIJKLMNOPQ"));
        put(second, QByteArray("x"));
        auto* view = m_window->findChild<HexView*>(u"HexView1"_s);
        auto* button = m_window->findChild<QPushButton*>(u"Button2"_s);
        QVERIFY(view && button);

        prompts.cancelNextFile();
        button->click();
        QCOMPARE(prompts.dialogTitles(), QStringList{u"Selecteer bestand"_s});
        QVERIFY(view->fileName().isEmpty());

        prompts.chooseNextFile(first);
        button->click();
        QCOMPARE(view->fileName(), first);
        QCOMPARE(view->fileSize(), qint64(17));
        // The same file again is not read again, even though it changed; another and back is.
        put(first, QByteArray(40, 'z'));
        prompts.chooseNextFile(first);
        button->click();
        QCOMPARE(view->fileSize(), qint64(17));
        prompts.chooseNextFile(second);
        button->click();
        prompts.chooseNextFile(first);
        button->click();
        QCOMPARE(view->fileSize(), qint64(40));
        QVERIFY(prompts.messages().isEmpty());

        prompts.chooseNextFile(m_folder + u"missing.bin"_s);
        button->click();
        QCOMPARE(prompts.messages().size(), 1);
        QCOMPARE(prompts.messages()[0].title, u"Viewer"_s);
    }

    // The pictures of the menus and the browse button come after the first frame, on the first
    // pass of the event loop; by then every menu item and the browse button carries one, and the
    // window's own icon was there from construction.
    void menuPicturesArriveOnTheFirstPassOfTheEventLoop() {
        const QStringList actions{u"Bestandverzenden1"_s, u"Sluiten1"_s, u"SMSberichtverzenden1"_s,
                                  u"SMSverzenden1"_s,     u"Details1"_s, u"Afsluiten1"_s};
        HoofdschermConfig config = testWindowConfig(m_folder);
        THoofdscherm window(config);
        QVERIFY(!window.windowIcon().isNull());
        auto* browse = window.findChild<QToolButton*>(u"AutoLocatieBrowseButton"_s);
        QVERIFY(browse);
        QVERIFY(browse->icon().isNull());
        QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
        QVERIFY(!browse->icon().isNull());
        for (const QString& name : actions) {
            auto* action = window.findChild<QAction*>(name);
            QVERIFY2(action && !action->icon().isNull(), qPrintable(name));
        }
    }

    void captionWithoutAVersionRecord() {
        QFile plain(m_folder + u"plain"_s);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("no record");
        plain.close();
        HoofdschermConfig config;
        config.executableFolder = m_folder;
        config.executableFile = plain.fileName();
        config.trayIcon = false;
        THoofdscherm window(config);
        QCOMPARE(window.windowTitle(), u"Rovenka®  TCP/IP Cliënt - v"_s);
    }

    void dataFoldersAreCreatedBesideTheExecutable() {
        QVERIFY(QFileInfo(m_folder + u"RVxMMCLIENT/LOGS"_s).isDir());
        QVERIFY(QFileInfo(m_folder + u"RVxMMCLIENT/XML"_s).isDir());
    }

    void firstStartShowsTheDefaults() {
        auto* pages = m_window->findChild<QTabWidget*>(u"PageControl1"_s);
        QVERIFY(pages);
        QCOMPARE(pages->count(), 4);
        QCOMPARE(pages->currentIndex(), 0);
        QStringList tabs;
        for (int i = 0; i < pages->count(); ++i)
            tabs << pages->tabText(i);
        QCOMPARE(tabs, (QStringList{u"Instellingen"_s, u"Parameters"_s, u"Communicatie"_s, u"Hex"_s}));
        QCOMPARE(m_window->findChild<QLineEdit*>(u"edtHost"_s)->text(), u"127.0.0.1"_s);
        QCOMPARE(m_window->findChild<QLineEdit*>(u"edtPoort"_s)->text(), u"4000"_s);
        QCOMPARE(m_window->findChild<QLineEdit*>(u"AutoLocatie"_s)->text(), m_folder);
        QCOMPARE(m_window->findChild<QPushButton*>(u"SpeedButton4"_s)->text(), u"UPDATE CONTROLE"_s);
        QCOMPARE(m_window->findChild<QPushButton*>(u"Button1"_s)->text(), u"Verzenden"_s);
        QCOMPARE(m_window->findChild<QPushButton*>(u"Button2"_s)->text(), u"Open bestand"_s);
        auto* onOff = m_window->findChild<QPushButton*>(u"aanUitButton"_s);
        QCOMPARE(onOff->text(), u"AAN / UIT"_s);
        QVERIFY(onOff->font().bold());
        QVERIFY(!m_window->linkReady());
    }

    void options_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("checked");
        QTest::newRow("SOH") << u"SOH"_s << u"sOH karakter verzenden"_s << false;
        QTest::newRow("STX") << u"STX"_s << u"sTx karakter + pakketlengte verzenden"_s << false;
        QTest::newRow("EOT") << u"EOT"_s << u"eOT karakter verzenden"_s << false;
        QTest::newRow("ToonHex") << u"ToonHex"_s << u"Toon HEX waarden in logboeken"_s << false;
        QTest::newRow("Logbewaren") << u"Logbewaren"_s << u"Logboeken bewaren op schijf"_s << false;
        QTest::newRow("XMLBestandenBewaren")
            << u"XMLBestandenBewaren"_s << u"Ontvangen pakket als XML bestand bewaren"_s << true;
        QTest::newRow("enc64verzenden")
            << u"enc64verzenden"_s << u"Verstuur pakket BASE64 gecodeerd"_s << false;
        QTest::newRow("enc64ontvangst")
            << u"enc64ontvangst"_s << u"Ontvang pakket BASE64 gecodeerd"_s << false;
        QTest::newRow("AutoConnect") << u"AutoConnect"_s << u"Automatisch verbroken verbinding opbouwen"_s
                                     << false;
        QTest::newRow("ACKDisconnect")
            << u"ACKDisconnect"_s << u"Verbinding verbreken na ontvangst ACK bericht"_s << false;
        QTest::newRow("AutoBestanden") << u"AutoBestanden"_s << u"Automatisch bestanden verzenden"_s << false;
    }
    void options() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(bool, checked);
        auto* box = m_window->findChild<QCheckBox*>(name);
        QVERIFY2(box, qPrintable(name));
        QCOMPARE(box->text(), caption);
        QCOMPARE(box->isChecked(), checked);
    }

    void menus() {
        const auto action = [this](const QString& name) {
            return m_window->findChild<QAction*>(name);
        };
        QCOMPARE(action(u"Bestandverzenden1"_s)->text(), u"Bestand verzenden"_s);
        QCOMPARE(action(u"Sluiten1"_s)->text(), u"Toepassing verbergen"_s);
        QCOMPARE(action(u"SMSberichtverzenden1"_s)->text(), u"SMS bericht verzenden"_s);
        QCOMPARE(action(u"SMSverzenden1"_s)->text(), u"SMS verzenden"_s);
        QCOMPARE(action(u"Details1"_s)->text(), u"Details"_s);
        QCOMPARE(action(u"Afsluiten1"_s)->text(), u"Afsluiten"_s);
        QStringList titles;
        for (QAction* a : m_window->menuBar()->actions())
            titles << a->text();
        // The design's two menus as they are; what is new sits after them.
        QCOMPARE(titles, (QStringList{u"Bestand"_s, u"SMS"_s, u"Beeld"_s}));
    }

    void timersRunWithTheirIntervals() {
        const auto timer = [this](const QString& name) {
            return m_window->findChild<QTimer*>(name);
        };
        QCOMPARE(timer(u"General"_s)->interval(), 500);
        QCOMPARE(timer(u"Timer1"_s)->interval(), 15000);
        QCOMPARE(timer(u"FileChecker"_s)->interval(), 1000);
        QVERIFY(timer(u"General"_s)->isActive());
        QVERIFY(timer(u"Timer1"_s)->isActive());
        QVERIFY(timer(u"FileChecker"_s)->isActive());
    }

    void uncaughtErrorReplacesTheIncomingLog() {
        m_window->logs().incoming().add(u"Verbinding opgebouwd"_s);
        m_window->logs().incoming().add(u"earlier"_s);
        Thrower thrower;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        auto* memo = m_window->findChild<QPlainTextEdit*>(u"Inkomend"_s);
        QCOMPARE(m_window->logs().incoming().lines(),
                 (QStringList{u"Socket Error # 10054"_s, u"Connection reset by peer."_s}));
        QCOMPARE(memo->toPlainText(), u"Socket Error # 10054\nConnection reset by peer."_s);

        thrower.standard = true;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(memo->toPlainText(), u"plain failure"_s);
    }

    void memosMirrorTheLogs() {
        auto* memo = m_window->findChild<QPlainTextEdit*>(u"Uitgaand"_s);
        m_window->logs().outgoing().add(QString());
        m_window->logs().outgoing().add(u"a\r\nb"_s);
        // Lines added in one pass of the event loop are laid out together on the next.
        QTRY_COMPARE(memo->document()->blockCount(), 3);
        QCOMPARE(memo->toPlainText(), u"\na\nb"_s);
        m_window->logs().outgoing().add(u"c"_s);
        m_window->logs().outgoing().add(u"d"_s);
        QTRY_COMPARE(memo->toPlainText(), u"\na\nb\nc\nd"_s);
        // A rotation empties the memo, and lines still waiting are not shown after it.
        m_window->logs().outgoing().add(u"e"_s);
        m_window->logs().outgoing().clear();
        m_window->logs().outgoing().add(u"f"_s);
        QTRY_COMPARE(memo->toPlainText(), u"f"_s);
        QTest::qWait(20);
        QCOMPARE(memo->toPlainText(), u"f"_s);
    }

    void veryLongLinesShowTheirStart() {
        for (const char* name : {"Inkomend", "Uitgaand", "Status"})
            QVERIFY2(m_window->findChild<LogMemoEdit*>(QString::fromLatin1(name)), name);
        auto* memo = m_window->findChild<LogMemoEdit*>(u"Inkomend"_s);
        const QString huge = QString(LogMemo::kShownPerEntry, u'a') + QString(10, u'b');
        m_window->logs().incoming().add(u"kort"_s);
        m_window->logs().incoming().add(huge);
        const QString shown = QString(LogMemo::kShownPerEntry, u'a') + u'\n' + LogMemo::cutNotice(10);
        QTRY_COMPARE(memo->text(), u"kort\n"_s + shown);
        // The log keeps the whole line; so does the file saved from it.
        QCOMPARE(m_window->logs().incoming().lines().last(), huge);
        m_window->logs().incoming().replace(huge);
        QCOMPARE(memo->text(), shown);
        m_window->logs().incoming().replace(QString(LogMemo::kShownPerEntry, u'c'));
        QCOMPARE(memo->text(), QString(LogMemo::kShownPerEntry, u'c'));
    }

    void closeFlushesTheLogs_data() {
        QTest::addColumn<bool>("keep");
        QTest::newRow("Logbewaren on") << true;
        QTest::newRow("Logbewaren off") << false;
    }
    void closeFlushesTheLogs() {
        QFETCH(bool, keep);
        m_window->findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(keep);
        m_window->show();
        m_window->logs().incoming().add(u"Verbinding opgebouwd"_s);
        QSignalSpy closed(m_window.get(), &THoofdscherm::closed);
        m_window->findChild<QAction*>(u"Afsluiten1"_s)->trigger();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!m_window->isVisible());
        const QStringList files = QDir(m_folder + u"RVxMMCLIENT/LOGS"_s).entryList(QDir::Files);
        if (keep) {
            QCOMPARE(files.size(), 1);
            QVERIFY(files[0].startsWith(u"MM_IN_"_s));
        } else {
            QCOMPARE(files, QStringList());
        }
    }

    void failedFlushKeepsTheWindowOpen() {
        m_window->findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(true);
        m_window->show();
        m_window->logs().incoming().add(u"keep me"_s);
        QVERIFY(QDir(m_folder + u"RVxMMCLIENT/LOGS"_s).removeRecursively());
        QSignalSpy closed(m_window.get(), &THoofdscherm::closed);
        QVERIFY(!m_window->close());
        QCOMPARE(closed.size(), 0);
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_window->logs().incoming().lineCount(), 1);
        QVERIFY2(m_window->logs().incoming().lines()[0].startsWith(u"Cannot create file"_s),
                 qPrintable(m_window->logs().incoming().text()));
    }

    // Without a notification area nothing could bring a hidden window back: "Toepassing
    // verbergen" minimises it, and the timers and the logs go on.
    void hideWithoutANotificationAreaMinimises() {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->logs().incoming().add(u"still here"_s);
        m_window->findChild<QAction*>(u"Sluiten1"_s)->trigger();
        QVERIFY(m_window->isVisible());
        QTRY_VERIFY(m_window->isMinimized());
        QVERIFY(m_window->findChild<QTimer*>(u"General"_s)->isActive());
        m_window->findChild<QAction*>(u"Details1"_s)->trigger();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        QTRY_COMPARE(m_window->findChild<QPlainTextEdit*>(u"Inkomend"_s)->toPlainText(), u"still here"_s);
    }

    // A click on the tray icon reports Trigger on some trays and a double click on others: both
    // bring the window back, hidden or minimised.
    void trayIconShowsTheWindow_data() {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("minimised");
        QTest::newRow("Trigger, hidden") << QSystemTrayIcon::Trigger << false;
        QTest::newRow("DoubleClick, hidden") << QSystemTrayIcon::DoubleClick << false;
        QTest::newRow("Trigger, minimised") << QSystemTrayIcon::Trigger << true;
    }
    void trayIconShowsTheWindow() {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(bool, minimised);
        HoofdschermConfig config;
        config.executableFolder = m_folder;
        config.executableFile = QCoreApplication::applicationFilePath();
        config.trayIcon = true;
        m_window.reset();
        m_window = std::make_unique<THoofdscherm>(config);
        auto* tray = m_window->findChild<QSystemTrayIcon*>(u"TrayIcon1"_s);
        QVERIFY(tray);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        if (minimised) {
            m_window->showMinimized();
            QTRY_VERIFY(m_window->isMinimized());
        } else {
            m_window->hide();
        }
        emit tray->activated(QSystemTrayIcon::Context);
        QVERIFY(minimised || !m_window->isVisible());
        emit tray->activated(reason);
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
    }

    void pollRotatesTheLogs() {
        m_window->findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(true);
        for (int i = 0; i < 501; ++i)
            m_window->logs().incoming().add(u"x"_s);
        m_window->GeneralTimer();
        QCOMPARE(m_window->logs().incoming().lineCount(), 0);
        QCOMPARE(QDir(m_folder + u"RVxMMCLIENT/LOGS"_s).entryList(QDir::Files).size(), 1);
    }

    void failedRotationAddsOneLinePerTick() {
        m_window->findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(true);
        for (int i = 0; i < 501; ++i)
            m_window->logs().incoming().add(u"x"_s);
        QVERIFY(QDir(m_folder + u"RVxMMCLIENT/LOGS"_s).removeRecursively());
        m_window->GeneralTimer();
        m_window->GeneralTimer();
        QCOMPARE(m_window->logs().incoming().lineCount(), 503);
        QVERIFY(m_window->logs().incoming().lines().last().startsWith(u"Cannot create file"_s));
    }

    void updateButtonRunsAnInteractiveCheck() {
        AppUpdate& update = m_window->appUpdate();
        QCOMPARE(update.version(), u"9.0.1.3"_s);
        QCOMPARE(update.updateFileURL(), AppUpdate::defaultUpdateFileURL());
        QVERIFY(update.updateFileURL().endsWith(u"/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt"_s));
        QCOMPARE(update.font().pixelSize(), 12);
        HttpResponder server;
        server.route("/info.txt",
                     HttpResponder::ok("[" + update.sectionName().toLatin1() + "]\r\nVersion=9.0.1.3\r\n"));
        update.setUpdateFileURL(server.url(u"/info.txt"_s));
        update.setFetchProgram(QStringLiteral(FETCH_PROGRAM));
        ScriptedPrompts answers;
        m_window->findChild<QPushButton*>(u"SpeedButton4"_s)->click();
        QCOMPARE(answers.messageTexts(), QStringList{u"Er is geen nieuwe versie beschikbaar."_s});
        QCOMPARE(server.requests().size(), 1);
    }

    void handOverEndsWithoutTheCloseQuery() {
        m_window->findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(true);
        m_window->show();
        m_window->logs().incoming().add(u"not flushed"_s);
        QSignalSpy closed(m_window.get(), &THoofdscherm::closed);
        emit m_window->appUpdate().applicationEndRequested();
        QVERIFY(m_window->close());
        QCOMPARE(closed.size(), 0);
        QCOMPARE(QDir(m_folder + u"RVxMMCLIENT/LOGS"_s).entryList(QDir::Files), QStringList());
    }

    void sigtermClosesLikeAfsluiten() {
        m_window->findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(true);
        m_window->show();
        m_window->logs().outgoing().add(u"frame"_s);
        ShutdownSignals shutdown;
        connect(&shutdown, &ShutdownSignals::requested, m_window.get(), &THoofdscherm::Afsluiten1Click);
        QSignalSpy closed(m_window.get(), &THoofdscherm::closed);
        std::raise(SIGTERM);
        QTRY_COMPARE(closed.size(), 1);
        const QStringList files = QDir(m_folder + u"RVxMMCLIENT/LOGS"_s).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(files[0].startsWith(u"MM_UIT_"_s));
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
};

RTCP_WINDOW_TEST_MAIN(TestHoofdscherm)

#include "tst_hoofdscherm.moc"
