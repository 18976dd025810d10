#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include "httpresponder.h"
#include "stagedinstall.h"
#include "testfiles.h"
#include "xdisplay.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kBinDir = QStringLiteral(INSTALL_BINDIR);
const QString kProgramDir = QStringLiteral(INSTALL_PROGRAMDIR);
const QString kDataDir = QStringLiteral(INSTALL_DATADIR);
const QString kUserUnitDir = QStringLiteral(INSTALL_USERUNITDIR);

QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// Which file a name stands for: a copy made anew is a new inode, whatever its times say.
std::pair<quint64, qint64> identity(const QString& path) {
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {0, 0};
    return {info.st_ino, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
}

// The [Desktop Entry] group as key → value, localised keys included.
QHash<QString, QString> desktopEntry(const QString& path) {
    QHash<QString, QString> entry;
    bool inGroup = false;
    for (const QByteArray& raw : readFile(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u"[Desktop Entry]";
        else if (inGroup && line.contains(u'=') && !line.startsWith(u'#'))
            entry.insert(line.section(u'=', 0, 0).trimmed(), line.section(u'=', 1).trimmed());
    }
    return entry;
}

} // namespace

// The tree `cmake --install` makes, and the launcher run from it the way the menu runs it.
class TestInstall : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_stage.emplace(QStringLiteral(CMAKE_COMMAND), QStringLiteral(BUILD_DIR));
        QVERIFY2(m_stage->install(), qPrintable(m_stage->errorString()));
        m_prefix = m_stage->prefix();
    }

    void layout_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        QTest::newRow("launcher") << kBinDir + u"/rtcpipclient"_s << true;
        QTest::newRow("program") << kProgramDir + u"/RTCPIPCLIENT"_s << true;
        QTest::newRow("simulator") << kProgramDir + u"/dispatchsim"_s << true;
        QTest::newRow("service") << kProgramDir + u"/rtcpipclient-service"_s << true;
        QTest::newRow("fetch helper") << kProgramDir + u"/rtcpipclient-fetch"_s << true;
        QTest::newRow("service unit") << kUserUnitDir + u"/rtcpipclient-service.service"_s << false;
        QTest::newRow("menu entry") << kDataDir + u"/applications/rtcpipclient.desktop"_s << false;
        QTest::newRow("scalable icon")
            << kDataDir + u"/icons/hicolor/scalable/apps/rtcpipclient.svg"_s << false;
    }
    void layout() {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo info(m_prefix + path);
        QVERIFY2(info.isFile(), qPrintable(info.filePath()));
        QCOMPARE(info.isExecutable(), executable);
    }

    void simulatorLinkRunsTheSimulator() {
        verifyRelativeLink(u"rtcpipclient-dispatchsim"_s, u"dispatchsim"_s);
        QProcess simulator;
        simulator.start(m_prefix + kBinDir + u"/rtcpipclient-dispatchsim"_s, {u"--help"_s});
        QVERIFY(simulator.waitForFinished(15000));
        QCOMPARE(simulator.exitCode(), 0);
        QVERIFY(simulator.readAllStandardOutput().contains("dispatch-host simulator"));
    }

    // The service runs from the read-only program folder as it is: it reads its own version
    // record, and --folder names the installation folder it works on.
    void serviceLinkRunsTheService() {
        verifyRelativeLink(u"rtcpipclient-service"_s, u"rtcpipclient-service"_s);
        const QString service = m_prefix + kBinDir + u"/rtcpipclient-service"_s;
        QProcess version;
        version.start(service, {u"--version"_s});
        QVERIFY(version.waitForFinished(15000));
        QCOMPARE(version.exitCode(), 0);
        QCOMPARE(version.readAllStandardOutput(), "rtcpipclient-service " PROJECT_VERSION "\n");

        QTemporaryDir folder(QDir::tempPath() + u"/rtcp folder XXXXXX"_s);
        QProcess check;
        check.start(service, {u"--folder"_s, folder.path(), u"--check"_s});
        QVERIFY(check.waitForFinished(15000));
        const QByteArray output = check.readAllStandardOutput();
        QVERIFY2(check.exitCode() == 0, check.readAllStandardError().constData());
        QVERIFY2(output.startsWith(QByteArray("Installatiemap: " + QFile::encodeName(folder.path()) + "/\n")),
                 output.constData());
        // A check reads and writes nothing: no settings file, no data folders.
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void iconsInTheHicolorTheme_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%dx%d", size, size) << size;
    }
    void iconsInTheHicolorTheme() {
        QFETCH(int, size);
        const QString path = m_prefix + kDataDir + u"/icons/hicolor/%1x%1/apps/rtcpipclient.png"_s.arg(size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), QSize(size, size));
    }

    void menuEntry() {
        const QString path = m_prefix + kDataDir + u"/applications/rtcpipclient.desktop"_s;
        const auto entry = desktopEntry(path);
        QCOMPARE(entry.value(u"Type"_s), u"Application"_s);
        QCOMPARE(entry.value(u"Exec"_s), u"rtcpipclient"_s);
        QCOMPARE(entry.value(u"Icon"_s), u"rtcpipclient"_s);
        QCOMPARE(entry.value(u"Terminal"_s), u"false"_s);
        QCOMPARE(entry.value(u"Categories"_s), u"Network;"_s);
        QVERIFY(!entry.value(u"Name"_s).isEmpty());
        QVERIFY(!entry.value(u"Name[nl]"_s).isEmpty());
        QVERIFY(!entry.value(u"Comment"_s).isEmpty());
        QVERIFY(!entry.value(u"Comment[nl]"_s).isEmpty());
        // What Exec names is the launcher installed beside it.
        QVERIFY(QFileInfo(m_prefix + kBinDir + u'/' + entry.value(u"Exec"_s)).isExecutable());

        const QString validator = QStringLiteral(DESKTOP_FILE_VALIDATE);
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {path});
        QVERIFY(validate.waitForFinished(15000));
        const QByteArray output = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && output.isEmpty(), output.constData());
    }

    // Where the operator's folder ends up for each way the environment can be set.
    void launcherStartsTheProgramInTheUsersFolder_data() {
        QTest::addColumn<QString>("xdgDataHome"); // relative to the test's home; "-" leaves it unset
        QTest::addColumn<QString>("userFolder");  // relative to the test's home
        QTest::addColumn<bool>("throughSymlink");
        QTest::newRow("XDG_DATA_HOME") << u"my data"_s << u"my data/rtcpipclient"_s << false;
        QTest::newRow("HOME only") << u"-"_s << u".local/share/rtcpipclient"_s << false;
        QTest::newRow("empty XDG_DATA_HOME") << QString() << u".local/share/rtcpipclient"_s << false;
        QTest::newRow("relative XDG_DATA_HOME") << u"@relative"_s << u".local/share/rtcpipclient"_s << false;
        QTest::newRow("launcher through a symlink") << u"-"_s << u".local/share/rtcpipclient"_s << true;
    }
    void launcherStartsTheProgramInTheUsersFolder() {
        QFETCH(QString, xdgDataHome);
        QFETCH(QString, userFolder);
        QFETCH(bool, throughSymlink);
        QTemporaryDir home(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        QTemporaryDir elsewhere;
        QProcessEnvironment env = userEnvironment(home.path());
        if (xdgDataHome == u"-")
            env.remove(u"XDG_DATA_HOME"_s);
        else if (xdgDataHome == u"@relative")
            env.insert(u"XDG_DATA_HOME"_s, u"relative/data"_s);
        else if (xdgDataHome.isEmpty())
            env.insert(u"XDG_DATA_HOME"_s, QString());
        else
            env.insert(u"XDG_DATA_HOME"_s, home.filePath(xdgDataHome));
        QString launcher = launcherPath();
        if (throughSymlink) {
            QVERIFY(QDir(home.path()).mkdir(u"bin"_s));
            QVERIFY(QFile::link(launcher, home.filePath(u"bin/rtcp"_s)));
            launcher = home.filePath(u"bin/rtcp"_s);
        }

        const QString folder = home.filePath(userFolder) + u'/';
        QProcess client;
        start(client, launcher, env, elsewhere.path());
        waitUntilRunning(client, folder);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QFileInfo(folder + u"RVxMMCLIENT/LOGS"_s).isDir());
        // The program itself runs from the copy, so that is where it writes.
        QCOMPARE(QFile::symLinkTarget(u"/proc/%1/exe"_s.arg(client.processId())),
                 QFileInfo(folder + u"RTCPIPCLIENT"_s).canonicalFilePath());
        QCOMPARE(digest(folder + u"RTCPIPCLIENT"_s), digest(packagedProgram()));
        verifyHelperLink(folder, m_prefix);
        stop(client);
        QVERIFY(QFileInfo(folder + u"RTCPIPCLIENT.xml"_s).isFile());
        QVERIFY(QDir(elsewhere.path()).isEmpty());
        QVERIFY(!QFileInfo::exists(home.filePath(u"relative"_s)));
        QCOMPARE(QDir(folder).entryList({u".RTCPIPCLIENT.*"_s, u".rtcpipclient-fetch.*"_s},
                                        QDir::AllEntries | QDir::Hidden | QDir::System),
                 QStringList());
    }

    // The user's copy checks for an update through the packaged fetch helper, under the package's
    // prefix and under one of the operator's choosing (cmake --install --prefix /usr/local): its
    // requests reach the update host (here a proxy on loopback), and the release notes named in
    // the answer are asked for next, so the answer came back to the program.
    void updateCheckOfTheUsersCopyReachesTheUpdateHost_data() {
        QTest::addColumn<bool>("ownPrefix");
        QTest::newRow("package root") << false;
        QTest::newRow("own prefix") << true;
    }
    void updateCheckOfTheUsersCopyReachesTheUpdateHost() {
        QFETCH(bool, ownPrefix);
        XDisplay x;
        if (!x.start())
            QSKIP(qPrintable(x.errorString()));
        std::optional<StagedInstall> other;
        QString prefix = m_prefix;
        if (ownPrefix) {
            other.emplace(QStringLiteral(CMAKE_COMMAND), QStringLiteral(BUILD_DIR),
                          StagedInstall::Mode::Prefix);
            QVERIFY2(other->install(), qPrintable(other->errorString()));
            prefix = other->prefix();
        }
        HttpResponder host;
        host.route(
            "/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt",
            HttpResponder::ok("[RTCPIPCLIENT]\r\nVersion=" PROJECT_VERSION "\r\n"
                              "ReadmeFileURL=http://update.rovenka.nl/liveupdate/RTCPIPCLIENT/lees.txt\r\n"));
        host.route("/liveupdate/RTCPIPCLIENT/lees.txt", HttpResponder::ok("Niets nieuws.\r\n"));

        QTemporaryDir home(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        QTemporaryDir elsewhere;
        QProcessEnvironment env = userEnvironment(home.path());
        env.remove(u"XDG_DATA_HOME"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"DISPLAY"_s, x.name());
        env.insert(u"http_proxy"_s, u"http://127.0.0.1:%1"_s.arg(host.port()));
        for (const char16_t* name : {u"HTTP_PROXY", u"all_proxy", u"no_proxy", u"NO_PROXY"})
            env.remove(QString::fromUtf16(name));
        QProcess client;
        start(client, prefix + kBinDir + u"/rtcpipclient"_s, env, elsewhere.path());
        const QString folder = home.path() + u"/.local/share/rtcpipclient/"_s;
        waitUntilRunning(client, folder);
        if (QTest::currentTestFailed())
            return;
        verifyHelperLink(folder, prefix);
        uint32_t window = 0;
        QTRY_VERIFY_WITH_TIMEOUT((window = x.shownWindow(client.processId())) != 0, 15000);
        QVERIFY(x.pressUpdateButton(window));
        QTRY_COMPARE_WITH_TIMEOUT(host.requests().size(), 2, 15000);
        QCOMPARE(host.requests()[0].target,
                 "http://update.rovenka.nl/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt");
        QCOMPARE(host.requests()[1].target, "http://update.rovenka.nl/liveupdate/RTCPIPCLIENT/lees.txt");
        stop(client);
    }

    void rerunKeepsTheCopy() {
        QTemporaryDir home(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        const QString folder = home.path() + u"/.local/share/rtcpipclient/"_s;
        QVERIFY(runOnce(home.path()));
        const auto before = identity(folder + u"RTCPIPCLIENT"_s);
        QVERIFY(before.first != 0);
        QVERIFY(runOnce(home.path()));
        QCOMPARE(identity(folder + u"RTCPIPCLIENT"_s), before);
    }

    // A package upgrade replaces the copy; the operator's settings, logs and archive stay.
    void upgradeRefreshesOnlyTheCopy() {
        QTemporaryDir home(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        const QString folder = home.path() + u"/.local/share/rtcpipclient/"_s;
        QVERIFY(runOnce(home.path()));
        const QString settingsPath = folder + u"RTCPIPCLIENT.xml"_s;
        QByteArray settings = readFile(settingsPath);
        QVERIFY(settings.contains("127.0.0.1"));
        QVERIFY(writeFile(settingsPath, settings.replace("127.0.0.1", "192.0.2.44")));
        QVERIFY(writeFile(folder + u"RVxMMCLIENT/LOGS/MM_IN_01012024.txt"_s, "old log\r\n"));
        QVERIFY(writeFile(folder + u"RVxMMCLIENT/XML/MC_01012024.XML"_s, "<packet/>\r\n"));

        // As dpkg does: the new file is written beside and renamed over the old one.
        QByteArray program = readFile(packagedProgram());
        QVERIFY(!program.isEmpty());
        program.append(QByteArray(64, '\0')); // a different build that runs all the same
        QVERIFY(writeFile(packagedProgram() + u".dpkg-new"_s, program));
        QVERIFY(
            QFile::setPermissions(packagedProgram() + u".dpkg-new"_s, QFile::permissions(packagedProgram())));
        QVERIFY(::rename(QFile::encodeName(packagedProgram() + u".dpkg-new"_s).constData(),
                         QFile::encodeName(packagedProgram()).constData()) == 0);

        QVERIFY(runOnce(home.path()));
        QCOMPARE(digest(folder + u"RTCPIPCLIENT"_s), digest(packagedProgram()));
        QVERIFY(readFile(settingsPath).contains("192.0.2.44"));
        QCOMPARE(readFile(folder + u"RVxMMCLIENT/LOGS/MM_IN_01012024.txt"_s), "old log\r\n");
        QCOMPARE(readFile(folder + u"RVxMMCLIENT/XML/MC_01012024.XML"_s), "<packet/>\r\n");
    }

    // The program's own updater replaced the user's copy: it stays until the package changes.
    void copyReplacedByTheUpdaterStays() {
        QTemporaryDir home(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        const QString copy = home.path() + u"/.local/share/rtcpipclient/RTCPIPCLIENT"_s;
        QVERIFY(runOnce(home.path()));
        QByteArray updated = readFile(copy);
        updated.append("updated");
        QVERIFY(writeFile(copy, updated));
        QVERIFY(runOnce(home.path()));
        QCOMPARE(readFile(copy), updated);
    }

    void failuresReportAndExitNonZero_data() {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("copy blocked") << u"copy"_s << QByteArray("rtcpipclient: cannot copy the program to ");
        QTest::newRow("folder blocked")
            << u"folder"_s << QByteArray("rtcpipclient: cannot create the folder ");
        QTest::newRow("program missing")
            << u"program"_s << QByteArray("rtcpipclient: the program is missing: ");
        QTest::newRow("no HOME") << u"home"_s << QByteArray("rtcpipclient: HOME is not set");
    }
    void failuresReportAndExitNonZero() {
        QFETCH(QString, blocker);
        QFETCH(QByteArray, message);
        QTemporaryDir home(QDir::tempPath() + u"/rtcp home XXXXXX"_s);
        const QString folder = home.path() + u"/.local/share/rtcpipclient/"_s;
        QProcessEnvironment env = userEnvironment(home.path());
        env.remove(u"XDG_DATA_HOME"_s);
        QString launcher = launcherPath();
        std::optional<QTemporaryDir> tree;
        if (blocker == u"copy") {
            // Not even root may put a file where a folder with contents is.
            QVERIFY(QDir().mkpath(folder + u"RTCPIPCLIENT/inside"_s));
        } else if (blocker == u"folder") {
            QVERIFY(QDir().mkpath(home.path() + u"/.local/share"_s));
            QVERIFY(writeFile(home.path() + u"/.local/share/rtcpipclient"_s, "a file"));
        } else if (blocker == u"program") {
            tree.emplace(QDir::tempPath() + u"/rtcp tree XXXXXX"_s);
            QVERIFY(QDir().mkpath(tree->filePath(kBinDir)));
            launcher = tree->filePath(kBinDir + u"/rtcpipclient"_s);
            QVERIFY(QFile::copy(launcherPath(), launcher));
        } else if (blocker == u"home") {
            env.remove(u"HOME"_s);
        }

        QProcess client;
        client.setProcessEnvironment(env);
        client.setWorkingDirectory(home.path());
        client.start(launcher, {});
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QVERIFY(client.exitCode() != 0);
        const QByteArray errors = client.readAllStandardError();
        QVERIFY2(errors.contains(message), errors.constData());
        QVERIFY(!QFileInfo::exists(folder + u"RVxMMCLIENT"_s));
        if (QFileInfo(folder).isDir())
            QCOMPARE(QDir(folder).entryList({u".RTCPIPCLIENT.*"_s}, QDir::AllEntries | QDir::Hidden),
                     QStringList());
    }

private:
    // A link in bin/ relative to its target in the program folder, so the tree works where dpkg
    // unpacks it and under any staging folder.
    void verifyRelativeLink(const QString& name, const QString& target) const {
        const QFileInfo link(m_prefix + kBinDir + u'/' + name);
        QVERIFY2(link.isSymLink(), qPrintable(link.filePath()));
        char pointsTo[4096] = {};
        QVERIFY(::readlink(QFile::encodeName(link.filePath()).constData(), pointsTo, sizeof pointsTo - 1) >
                0);
        QVERIFY2(pointsTo[0] != '/', pointsTo);
        QCOMPARE(link.canonicalFilePath(),
                 QFileInfo(m_prefix + kProgramDir + u'/' + target).canonicalFilePath());
    }

    // The fetch helper beside the user's copy is a link to the packaged one of this installation.
    static void verifyHelperLink(const QString& folder, const QString& prefix) {
        const QFileInfo link(folder + u"rtcpipclient-fetch"_s);
        QVERIFY2(link.isSymLink(), qPrintable(link.filePath()));
        QCOMPARE(link.canonicalFilePath(),
                 QFileInfo(prefix + kProgramDir + u"/rtcpipclient-fetch"_s).canonicalFilePath());
        QVERIFY(link.isExecutable());
    }

    QString launcherPath() const { return m_prefix + kBinDir + u"/rtcpipclient"_s; }
    QString packagedProgram() const { return m_prefix + kProgramDir + u"/RTCPIPCLIENT"_s; }

    static QProcessEnvironment userEnvironment(const QString& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        return env;
    }

    static void start(QProcess& client, const QString& launcher, const QProcessEnvironment& env,
                      const QString& workingFolder) {
        client.setProcessEnvironment(env);
        client.setWorkingDirectory(workingFolder);
        client.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        client.start(launcher, {});
    }

    // Up means: the launcher has handed over to the copy, the copy catches SIGTERM (so a stop is a
    // clean close, not a kill) and its data folders exist. A launcher that gave up ends first.
    static void waitUntilRunning(QProcess& client, const QString& folder) {
        QVERIFY(client.waitForStarted());
        const QString copy = QFileInfo(folder + u"RTCPIPCLIENT"_s).absoluteFilePath();
        const auto up = [&] {
            const QString proc = u"/proc/%1/"_s.arg(client.processId());
            return QFile::symLinkTarget(proc + u"exe"_s) == copy && catchesSigterm(proc + u"status"_s) &&
                   QFileInfo(folder + u"RVxMMCLIENT/XML"_s).isDir();
        };
        QTRY_VERIFY_WITH_TIMEOUT(up() || client.state() == QProcess::NotRunning, 15000);
        QVERIFY2(client.state() == QProcess::Running, client.readAllStandardError().constData());
    }

    static bool catchesSigterm(const QString& statusPath) {
        for (const QByteArray& line : readFile(statusPath).split('\n')) {
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        }
        return false;
    }

    // SIGTERM closes the program as "Afsluiten" does.
    static void stop(QProcess& client) {
        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
    }

    bool runOnce(const QString& home) const {
        QTemporaryDir elsewhere;
        QProcessEnvironment env = userEnvironment(home);
        env.remove(u"XDG_DATA_HOME"_s);
        QProcess client;
        start(client, launcherPath(), env, elsewhere.path());
        waitUntilRunning(client, home + u"/.local/share/rtcpipclient/"_s);
        if (QTest::currentTestFailed())
            return false;
        stop(client);
        return !QTest::currentTestFailed();
    }

    std::optional<StagedInstall> m_stage;
    QString m_prefix;
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
