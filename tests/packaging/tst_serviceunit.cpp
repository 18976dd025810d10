#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <tuple>
#include <utility>

#include "childprocess.h"
#include "stagedinstall.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The [Service] group of a unit file: each key with its values in the order given.
QHash<QString, QStringList> serviceSection(const QString& path) {
    QHash<QString, QStringList> keys;
    bool inGroup = false;
    for (const QByteArray& raw : readFile(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u"[Service]";
        else if (inGroup && line.contains(u'=') && !line.startsWith(u'#') && !line.startsWith(u';'))
            keys[line.section(u'=', 0, 0).trimmed()].append(line.section(u'=', 1).trimmed());
    }
    return keys;
}

// A command line of the unit as systemd runs it for the user whose home is given: words split at
// blanks outside double quotes, %h filled in and %% made %.
QStringList commandWords(const QString& command, const QString& home) {
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == u' ' && !quoted) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else if (c == u'%' && i + 1 < command.size()) {
            const QChar specifier = command.at(++i);
            word += specifier == u'h' ? home : QString(specifier);
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

QByteArray settingsFile(const QByteArray& values) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n" +
           values + "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

} // namespace

// The systemd user unit as installed: what systemd-analyze says of it, and its commands run the way
// the user manager runs them, beside the window the launcher starts for the same user.
class TestServiceUnit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The staging folder is the prefix, so the unit names the service where it really is.
        m_stage.emplace(QStringLiteral(CMAKE_COMMAND), QStringLiteral(BUILD_DIR),
                        StagedInstall::Mode::Prefix);
        QVERIFY2(m_stage->install(), qPrintable(m_stage->errorString()));
        m_unit = m_stage->prefix() + QStringLiteral(INSTALL_USERUNITDIR) + u"/rtcpipclient-service.service"_s;
        QVERIFY2(QFileInfo(m_unit).isFile(), qPrintable(m_unit));
        m_service = serviceSection(m_unit);
    }

    void init() {
        m_home.emplace(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        m_runtime.emplace();
        QVERIFY(m_home->isValid() && m_runtime->isValid());
    }

    // It checks what the user manager would refuse or ignore: unknown keys, values it cannot
    // parse, programs it cannot find. It says nothing of a good unit, and exits 0 even when it
    // complains, so its output is the verdict.
    void systemdAnalyzeFindsNothing() {
        const QString analyze = QStringLiteral(SYSTEMD_ANALYZE);
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        QProcess verify;
        // A user manager needs its runtime folder; the test's own stands in for /run/user/UID.
        verify.setProcessEnvironment(environment());
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze, {u"--user"_s, u"verify"_s, m_unit});
        QVERIFY(verify.waitForFinished(30000));
        const QByteArray said = verify.readAll();
        QVERIFY2(verify.exitStatus() == QProcess::NormalExit && verify.exitCode() == 0, said.constData());
        QVERIFY2(said.isEmpty(), said.constData());
    }

    // What a user manager can enforce is set, and systemd's own assessment of the unit's exposure
    // stays below 7 of 10 (8.0 without the filter, the umask and the memory settings).
    void unitIsHardenedAsFarAsAUserManagerAllows() {
        for (const auto& [key, expected] : std::initializer_list<std::pair<const char16_t*, const char16_t*>>{
                 {u"Type", u"notify"},
                 {u"WatchdogSec", u"30"},
                 {u"UMask", u"0077"},
                 {u"SystemCallFilter", u"@system-service"},
                 {u"SystemCallErrorNumber", u"EPERM"},
                 {u"MemoryDenyWriteExecute", u"yes"},
                 {u"NoNewPrivileges", u"yes"}})
            QCOMPARE(m_service.value(QString::fromUtf16(key)), QStringList{QString::fromUtf16(expected)});
        QCOMPARE(m_service.value(u"MemoryMax"_s).size(), 1);
        const QString analyze = QStringLiteral(SYSTEMD_ANALYZE);
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed");
        QProcess security;
        security.setProcessEnvironment(environment());
        security.setProcessChannelMode(QProcess::MergedChannels);
        security.start(analyze,
                       {u"security"_s, u"--offline=true"_s, u"--user"_s, u"--threshold=70"_s, m_unit});
        QVERIFY(security.waitForFinished(30000));
        const QString said = QString::fromUtf8(security.readAll());
        const QRegularExpressionMatch level =
            QRegularExpression(u"Overall exposure level for rtcpipclient-service.service: (\\d+\\.\\d)"_s)
                .match(said);
        QVERIFY2(level.hasMatch(), qPrintable(said));
        qInfo("systemd-analyze security: %s", qPrintable(level.captured(1)));
        QVERIFY2(security.exitCode() == 0 && level.captured(1).toDouble() <= 7.0, qPrintable(said));
    }

    // The unit makes the folder, and the service it starts works on the one the launcher gives
    // the window.
    void runsTheInstalledServiceOnTheUsersFolder() {
        QCOMPARE(m_service.value(u"ExecStartPre"_s).size(), 1);
        QCOMPARE(m_service.value(u"ExecStart"_s).size(), 1);
        const QStringList start = command(u"ExecStart"_s);
        QCOMPARE(start.first(),
                 m_stage->prefix() + QStringLiteral(INSTALL_BINDIR) + u"/rtcpipclient-service"_s);
        QVERIFY(QFileInfo(start.first()).isExecutable());

        const QStringList prepare = command(u"ExecStartPre"_s);
        QProcess mkdir;
        mkdir.setProcessEnvironment(environment());
        mkdir.start(prepare.first(), prepare.mid(1));
        QVERIFY(mkdir.waitForFinished(15000));
        QCOMPARE(mkdir.exitCode(), 0);

        ChildProcess check;
        run(check, start + QStringList{u"--check"_s});
        QVERIFY(check.waitForFinished(15000));
        QVERIFY2(check.exitCode() == 0, check.errors().constData());
        const QString folder = m_home->path() + u"/.local/share/rtcpipclient/"_s;
        QVERIFY2(check.output().startsWith(QByteArray("Installatiemap: " + QFile::encodeName(folder) + '\n')),
                 check.output().constData());
    }

    // The stop signal the unit sends ends the service cleanly within the time the unit allows,
    // so a stop is never a kill and never counts as a failure to restart after.
    void stopSignalEndsTheServiceCleanly() {
        QCOMPARE(m_service.value(u"KillSignal"_s), QStringList{u"SIGTERM"_s});
        QCOMPARE(m_service.value(u"TimeoutStopSec"_s).size(), 1);
        const int allowedMs = m_service.value(u"TimeoutStopSec"_s).first().chopped(1).toInt() * 1000;
        QVERIFY(allowedMs >= 5000);
        const QString folder = makeFolder();

        ChildProcess service;
        run(service, command(u"ExecStart"_s));
        // It holds its folder before it makes its data folders.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder + u"RVxMMCLIENT/LOGS"_s).isDir() ||
                                     service.state() == QProcess::NotRunning,
                                 30000);
        QVERIFY2(service.state() == QProcess::Running, service.errors().constData());
        service.terminate(); // SIGTERM, as the unit's KillSignal
        QVERIFY(service.waitForFinished(allowedMs));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
    }

    // A crash is restarted, slowly; the statuses that a restart cannot mend are not: the window
    // holding the folder (3) and settings the service cannot run on (2). Both are the service's
    // real statuses, with the window started by the launcher as the menu starts it.
    void restartsOnlyWhatARestartCanMend() {
        QCOMPARE(m_service.value(u"Restart"_s), QStringList{u"on-failure"_s});
        QCOMPARE(m_service.value(u"RestartSec"_s).size(), 1);
        QVERIFY(m_service.value(u"RestartSec"_s).first().chopped(1).toInt() >= 1);
        QCOMPARE(m_service.value(u"RestartPreventExitStatus"_s).size(), 1);
        const QStringList prevented = m_service.value(u"RestartPreventExitStatus"_s).first().split(u' ');
        const QString folder = makeFolder();

        {
            ChildProcess window;
            QProcessEnvironment env = environment();
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            window.setProcessEnvironment(env);
            window.setWorkingDirectory(m_home->path());
            window.start(m_stage->prefix() + QStringLiteral(INSTALL_BINDIR) + u"/rtcpipclient"_s, {});
            QVERIFY(window.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder + u"RVxMMCLIENT/XML"_s).isDir() ||
                                         window.state() == QProcess::NotRunning,
                                     30000);
            QVERIFY2(window.state() == QProcess::Running, window.errors().constData());

            ChildProcess service;
            run(service, command(u"ExecStart"_s));
            QVERIFY(service.waitForFinished(15000));
            QVERIFY2(service.errors().contains("Het programma RTCPIPCLIENT draait al in deze map"),
                     service.errors().constData());
            QVERIFY2(prevented.contains(QString::number(service.exitCode())),
                     qPrintable(QString::number(service.exitCode())));
            QCOMPARE(window.state(), QProcess::Running);
            window.terminate();
            QVERIFY(window.waitForFinished(15000));
        }

        QVERIFY(writeFile(folder + u"RTCPIPCLIENT.xml"_s,
                          settingsFile("    <edtPoort_Text>geen poort</edtPoort_Text>\r\n")));
        ChildProcess service;
        run(service, command(u"ExecStart"_s));
        QVERIFY(service.waitForFinished(15000));
        QVERIFY2(service.errors().contains("geen poortnummer"), service.errors().constData());
        QVERIFY2(prevented.contains(QString::number(service.exitCode())),
                 qPrintable(QString::number(service.exitCode())));
    }

    void logsToTheJournal() {
        QCOMPARE(m_service.value(u"StandardOutput"_s), QStringList{u"journal"_s});
        QCOMPARE(m_service.value(u"StandardError"_s), QStringList{u"journal"_s});
    }

private:
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, m_home->path());
        env.remove(u"XDG_DATA_HOME"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime->path());
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        return env;
    }

    QStringList command(const QString& key) const {
        return commandWords(m_service.value(key).value(0), m_home->path());
    }

    QString makeFolder() const {
        const QString folder = m_home->path() + u"/.local/share/rtcpipclient/"_s;
        std::ignore = QDir().mkpath(folder);
        return folder;
    }

    void run(ChildProcess& process, const QStringList& words) const {
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_home->path());
        process.start(words.first(), words.mid(1));
        QVERIFY(process.waitForStarted());
    }

    std::optional<StagedInstall> m_stage;
    QString m_unit;
    QHash<QString, QStringList> m_service;
    std::optional<QTemporaryDir> m_home;
    std::optional<QTemporaryDir> m_runtime;
};

QTEST_GUILESS_MAIN(TestServiceUnit)
#include "tst_serviceunit.moc"
