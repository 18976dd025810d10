#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <optional>

#include "childprocess.h"
#include "loopbackpeer.h"
#include "settingsfiles.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray settingsFile(const QByteArray& values) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n" +
           values + "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

QByteArray value(const char* key, const QByteArray& text) {
    return "    <" + QByteArray(key) + ">" + text + "</" + QByteArray(key) + ">\r\n";
}

} // namespace

// The headless service as a service manager runs it: the real program in an installation folder
// of its own, no display, a real host on loopback, signals to end it.
class TestService : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_install.emplace();
        m_runtime.emplace();
        m_peer = std::make_unique<LoopbackPeer>();
        QVERIFY(
            QFile::copy(QStringLiteral(SERVICE_EXECUTABLE), m_install->filePath(u"rtcpipclient-service"_s)));
    }
    void cleanup() {
        m_peer.reset();
        m_runtime.reset();
        m_install.reset();
    }

    // With no arguments, beside the desktop program's settings: it connects by itself for the
    // waiting outbox file, sends and deletes it, archives what the host sends, tells the journal,
    // and on SIGTERM flushes the incoming log and ends with status 0, the settings untouched.
    void runsTheLinkBesideItsSettings() {
        const QByteArray settings =
            settingsFile(value("edtPoort_Text", QByteArray::number(m_peer->port())) +
                         value("AutoConnect_Checked", "TRUE") + value("AutoBestanden_Checked", "TRUE") +
                         value("Logbewaren_Checked", "TRUE"));
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s), settings));
        QVERIFY(writeFile(m_install->filePath(u"rit.xml"_s), "<rit nr=\"1\"/>"));
        ChildProcess service;
        start(service);

        QTRY_COMPARE_WITH_TIMEOUT(m_peer->received(), QByteArray("<rit nr=\"1\"/>\r\n"), 10000);
        QTRY_VERIFY(!QFile::exists(m_install->filePath(u"rit.xml"_s)));
        const QByteArray xml = "<opdracht/>";
        const QByteArray payload = xml.toBase64();
        m_peer->send('\x01' + QByteArray::number(payload.size()) + '\x02' + payload + '\x04');
        const QDir archive(m_install->filePath(u"RVxMMCLIENT/XML"_s));
        QTRY_COMPARE_WITH_TIMEOUT(archive.entryList(QDir::Files).size(), 1, 5000);
        QCOMPARE(readFile(archive.filePath(archive.entryList(QDir::Files).first())), xml + "\r\n");

        QElapsedTimer ending;
        ending.start();
        service.terminate();
        QVERIFY(service.waitForFinished(15000));
        QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QCOMPARE(service.errors(), QByteArray());
        QCOMPARE(readFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s)), settings);

        const QString journal = QString::fromUtf8(service.output());
        const QString stamp = u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s;
        for (const QString& line :
             QStringList{u"Inkomend Verbinding opgebouwd"_s, u"Inkomend Pakket verzenden"_s,
                         u"Uitgaand <rit nr=\"1\"/>"_s, u"Status Connected\\."_s,
                         u"Inkomend \\\\x01\\d+\\\\x02PG9wZHJhY2h0Lz4=\\\\x04"_s}) {
            QVERIFY2(QRegularExpression(u"(^|\\n)"_s + stamp + line + u"\\n"_s).match(journal).hasMatch(),
                     qPrintable(line + u" not in:\n"_s + journal));
        }
        const QDir logs(m_install->filePath(u"RVxMMCLIENT/LOGS"_s));
        const QStringList flushed = logs.entryList({u"MM_IN_*"_s}, QDir::Files);
        QCOMPARE(flushed.size(), 1);
        QVERIFY(readFile(logs.filePath(flushed[0])).startsWith("Bestanden gevonden\r\n"));
    }

    // Asked for debug messages, it writes them to standard error: standard output holds journal
    // lines alone. Not asked, there are none at all.
    void standardOutputHoldsOnlyJournalLines_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("debugShown");
        QTest::newRow("asked for") << u"transport.debug=true"_s << true;
        QTest::newRow("not asked for") << QString() << false;
    }
    void standardOutputHoldsOnlyJournalLines() {
        QFETCH(QString, rules);
        QFETCH(bool, debugShown);
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s),
                          settingsFile(value("edtPoort_Text", QByteArray::number(m_peer->port())) +
                                       value("AutoConnect_Checked", "TRUE") +
                                       value("AutoBestanden_Checked", "TRUE"))));
        QVERIFY(writeFile(m_install->filePath(u"rit.xml"_s), "<rit/>"));
        ChildProcess service;
        start(service, {}, u"rtcpipclient-service"_s, rules);
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->received(), QByteArray("<rit/>\r\n"), 10000);
        service.terminate();
        QVERIFY(service.waitForFinished(15000));
        QCOMPARE(service.exitCode(), 0);
        const QRegularExpression journalLine(
            u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (Service|Fout|Inkomend|Uitgaand|Status|Verbinding|Uitgaandemap|Aflevering|Frame) "_s);
        const QList<QByteArray> lines = service.output().split('\n');
        QVERIFY(lines.size() > 3);
        QCOMPARE(lines.last(), QByteArray());
        for (const QByteArray& line : lines.first(lines.size() - 1))
            QVERIFY2(journalLine.match(QString::fromUtf8(line)).hasMatch(), line.constData());
        QCOMPARE(service.errors().contains("transport: connecting to"), debugShown);
        if (!debugShown)
            QCOMPARE(service.errors(), QByteArray());
    }

    // The six extra options: from the extra file the desktop program writes, and from an older
    // main file that still holds them while the extra file is missing. Only read, never written.
    void readsTheExtraOptionsOfBothFiles() {
        const QByteArray folder = QFile::encodeName(m_install->path()) + '/';
        const QByteArray old =
            settingsfiles::withExtrasInside(folder, {{"BevestigdAfleveren_Checked", "TRUE"},
                                                     {"BevestigingsTijd_Text", "12"},
                                                     {"WachtWaarschuwing_Text", "7"},
                                                     {"InspecteurAantal_Text", "20"},
                                                     {"TijdInLogboeken_Checked", "TRUE"},
                                                     {"TijdInLogbestanden_Checked", "Y"}});
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s), old));
        // In --check's lines, sorted.
        const QStringList carried{u"BevestigdAfleveren: aan"_s, u"BevestigingsTijd: 12 s"_s,
                                  u"InspecteurAantal: 20"_s,    u"TijdInLogbestanden: aan"_s,
                                  u"TijdInLogboeken: aan"_s,    u"WachtWaarschuwing: 7 s"_s};
        QCOMPARE(checkLines(carried), carried);
        QCOMPARE(readFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s)), old);
        QVERIFY(!QFile::exists(m_install->filePath(u"RTCPIPCLIENT.extra"_s)));

        // The desktop program carries them over and ends; the service reads them from their file.
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), m_install->filePath(u"RTCPIPCLIENT"_s)));
        {
            ChildProcess desktop;
            start(desktop, {}, u"RTCPIPCLIENT"_s);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_install->filePath(u"RVxMMCLIENT/XML"_s)), 15000);
            desktop.terminate();
            QVERIFY(desktop.waitForFinished(15000));
            QCOMPARE(desktop.exitCode(), 0);
        }
        QCOMPARE(readFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s)), settingsfiles::firstStart(folder));
        QCOMPARE(checkLines(carried), carried);
        const QByteArray extra = readFile(m_install->filePath(u"RTCPIPCLIENT.extra"_s));
        QVERIFY(extra.contains("<InspecteurAantal_Text>20</InspecteurAantal_Text>"));

        // Changed in the extra file by hand, the service follows it.
        QByteArray changed = extra;
        changed.replace("<WachtWaarschuwing_Text>7<", "<WachtWaarschuwing_Text>90<");
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.extra"_s), changed));
        QVERIFY(checkLines(carried).contains(u"WachtWaarschuwing: 90 s"_s));
        QCOMPARE(readFile(m_install->filePath(u"RTCPIPCLIENT.extra"_s)), changed);
    }

    // A file nested 30,000 levels deep is a damaged file, for --check and for a run alike: said
    // so, nothing else done, the file left for the desktop program to keep aside.
    void tooDeepAFileIsDamaged_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("main file, --check") << u"RTCPIPCLIENT.xml"_s << QStringList{u"--check"_s};
        QTest::newRow("main file, run") << u"RTCPIPCLIENT.xml"_s << QStringList();
        QTest::newRow("extra file, --check") << u"RTCPIPCLIENT.extra"_s << QStringList{u"--check"_s};
    }
    void tooDeepAFileIsDamaged() {
        QFETCH(QString, fileName);
        QFETCH(QStringList, arguments);
        const QByteArray deep = settingsfiles::nested(30000);
        QVERIFY(writeFile(m_install->filePath(fileName), deep));
        ChildProcess service;
        start(service, arguments);
        QVERIFY(service.waitForFinished(15000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 2);
        QVERIFY2(service.errors().contains("beschadigd") && service.errors().contains("256 niveaus"),
                 service.errors().constData());
        QCOMPARE(readFile(m_install->filePath(fileName)), deep);
        QCOMPARE(m_peer->connectionCount(), 0);
    }

    // It refuses what it cannot run, says why, and changes nothing.
    void refusesWhatItCannotRun_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("why");
        QTest::newRow("damaged settings file")
            << QByteArray("<Configuration><Hoofdscherm><edtPoort_Text>4000") << QStringList()
            << u"beschadigd"_s;
        QTest::newRow("port text of letters")
            << settingsFile(value("edtPoort_Text", "poort")) << QStringList() << u"geen poortnummer"_s;
        QTest::newRow("folder that does not exist")
            << QByteArray() << QStringList{u"--folder"_s, u"/nonexistent/rtcp"_s} << u"bestaat niet"_s;
        QTest::newRow("unknown argument") << QByteArray() << QStringList{u"--verbose"_s} << u"verbose"_s;
    }
    void refusesWhatItCannotRun() {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, arguments);
        QFETCH(QString, why);
        if (!settings.isEmpty())
            QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s), settings));
        ChildProcess service;
        start(service, arguments);
        QVERIFY(service.waitForFinished(15000));
        QVERIFY(service.exitCode() != 0);
        QVERIFY2(QString::fromUtf8(service.errors()).contains(why), service.errors().constData());
        QCOMPARE(m_peer->connectionCount(), 0);
        QStringList left = QDir(m_install->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QStringList expected{u"rtcpipclient-service"_s};
        if (!settings.isEmpty())
            expected.append(u"RTCPIPCLIENT.xml"_s);
        std::sort(left.begin(), left.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(left, expected);
    }

    // --check tells the options and folders that hold, without connecting or making anything.
    void checkShowsTheEffectiveOptions() {
        QVERIFY(
            writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s),
                      settingsFile(value("edtPoort_Text", " 70000") + value("AutoConnect_Checked", "YES"))));
        ChildProcess service;
        start(service, {u"--check"_s});
        QVERIFY(service.waitForFinished(15000));
        QCOMPARE(service.exitCode(), 0);
        const QString out = QString::fromUtf8(service.output());
        const QString folder = m_install->path() + u'/';
        for (const QString& line :
             QStringList{u"Installatiemap: "_s + folder, u"Logboeken: "_s + folder + u"RVxMMCLIENT/LOGS/"_s,
                         u"Poort: 4464 (\" 70000\")"_s, u"AutoConnect: aan"_s, u"XMLBestandenBewaren: aan"_s,
                         u"AutoBestanden: uit"_s, u"AutoLocatie: "_s + folder})
            QVERIFY2(out.split(u'\n').contains(line), qPrintable(line + u" not in:\n"_s + out));
        QCOMPARE(m_peer->connectionCount(), 0);
        QVERIFY(!QFile::exists(m_install->filePath(u"RVxMMCLIENT"_s)));
    }

    void versionAndHelp() {
        ChildProcess version;
        start(version, {u"--version"_s});
        QVERIFY(version.waitForFinished(15000));
        QCOMPARE(version.output(), QByteArray("rtcpipclient-service " PROJECT_VERSION "\n"));
        ChildProcess help;
        start(help, {u"--help"_s});
        QVERIFY(help.waitForFinished(15000));
        QCOMPARE(help.exitCode(), 0);
        for (const char* option : {"--folder", "--check", "--version"})
            QVERIFY(help.output().contains(option));
    }

    // One program per folder: the desktop program and the service keep each other out, each
    // with a clear message and a non-zero status, and the one running carries on.
    void desktopAndServiceKeepEachOtherOut() {
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), m_install->filePath(u"RTCPIPCLIENT"_s)));
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s),
                          settingsFile(value("edtPoort_Text", QByteArray::number(m_peer->port())))));
        {
            ChildProcess desktop;
            start(desktop, {}, u"RTCPIPCLIENT"_s);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_install->filePath(u"RVxMMCLIENT/XML"_s)), 15000);
            ChildProcess service;
            start(service);
            QVERIFY(service.waitForFinished(15000));
            QVERIFY(service.exitCode() != 0);
            QVERIFY2(service.errors().contains("RTCPIPCLIENT draait al"), service.errors().constData());
            QCOMPARE(desktop.state(), QProcess::Running);
            desktop.terminate();
            QVERIFY(desktop.waitForFinished(15000));
        }
        ChildProcess service;
        start(service);
        // It holds its folder before it makes its data folders.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_install->filePath(u"RVxMMCLIENT/LOGS"_s)), 15000);
        ChildProcess desktop;
        start(desktop, {}, u"RTCPIPCLIENT"_s);
        QVERIFY(desktop.waitForFinished(15000));
        QVERIFY(desktop.exitCode() != 0);
        QVERIFY2(desktop.errors().contains("rtcpipclient-service draait al"), desktop.errors().constData());
        QCOMPARE(service.state(), QProcess::Running);
        service.terminate();
        QVERIFY(service.waitForFinished(15000));
        QCOMPARE(service.exitCode(), 0);
    }

private:
    // The lines of --check that begin as one of these do.
    QStringList checkLines(const QStringList& wanted) {
        ChildProcess check;
        start(check, {u"--check"_s});
        if (!check.waitForFinished(15000) || check.exitCode() != 0)
            return {QString::fromUtf8(check.errors())};
        QStringList found;
        for (const QString& line : QString::fromUtf8(check.output()).split(u'\n'))
            for (const QString& start : wanted)
                if (line.startsWith(start.section(u':', 0, 0) + u':'))
                    found.append(line);
        std::sort(found.begin(), found.end());
        return found;
    }

    void start(ChildProcess& process, const QStringList& arguments = {},
               const QString& program = u"rtcpipclient-service"_s,
               const QString& loggingRules = u"*.debug=false"_s) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (loggingRules.isEmpty())
            env.remove(u"QT_LOGGING_RULES"_s);
        else
            env.insert(u"QT_LOGGING_RULES"_s, loggingRules);
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime->path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::tempPath());
        process.start(m_install->filePath(program), arguments);
        QVERIFY(process.waitForStarted());
    }

    std::optional<QTemporaryDir> m_install;
    std::optional<QTemporaryDir> m_runtime;
    std::unique_ptr<LoopbackPeer> m_peer;
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
