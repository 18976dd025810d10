#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "childprocess.h"
#include "httpresponder.h"
#include "testfiles.h"
#include "xdisplay.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The program's own update host, as a proxy sees it asked for.
constexpr char kInfoPath[] = "/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt";

// Processes running the executable at path.
int runningFrom(const QString& path) {
    int count = 0;
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(u"/proc/"_s + pid + u"/exe"_s) == path)
            ++count;
    }
    return count;
}

} // namespace

// The real program on an X server, its update check started with the keyboard as an operator
// would, against an update host that takes the request and never answers.
class TestUpdateQuit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!m_x.start())
            QSKIP(qPrintable(m_x.errorString()));
    }
    void init() {
        m_runtime.emplace();
        m_folder.emplace();
        // The helper copied beside the program, as in an installation, so that its processes
        // are this test's and no other's.
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), program()));
        QVERIFY(QFile::copy(QStringLiteral(FETCH_EXECUTABLE), helper()));
    }
    void cleanup() {
        m_folder.reset();
        m_runtime.reset();
    }

    // A quit while the request waits ends the program within a second, the helper with it, and
    // the folder is free: the next start shows its window.
    void quitDuringACheckEndsAtOnceAndTheNextStartShowsItsWindow_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("SIGTERM") << false;
        QTest::newRow("close box") << true;
    }
    void quitDuringACheckEndsAtOnceAndTheNextStartShowsItsWindow() {
        QFETCH(bool, closeBox);
        HttpResponder host;
        HttpResponder::Response silent;
        silent.silent = true;
        host.route(kInfoPath, silent);
        ChildProcess client;
        const uint32_t window = launch(client, host);
        QVERIFY(window != 0);
        QVERIFY(m_x.pressUpdateButton(window));
        QTRY_COMPARE_WITH_TIMEOUT(host.requests().size(), 1, 15000);
        QCOMPARE(host.requests().first().target, "http://update.rovenka.nl" + QByteArray(kInfoPath));
        QCOMPARE(runningFrom(helper()), 1);

        QElapsedTimer ending;
        ending.start();
        if (closeBox)
            QVERIFY(m_x.closeBox(window));
        else
            client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QVERIFY2(client.exitCode() == 0, client.errors().constData());
        QTRY_COMPARE_WITH_TIMEOUT(runningFrom(helper()), 0, 1000);

        ChildProcess next;
        QVERIFY(launch(next, host) != 0);
        QCOMPARE(next.state(), QProcess::Running);
        next.terminate();
        QVERIFY(next.waitForFinished(15000));
        QCOMPARE(next.exitCode(), 0);
    }

private:
    QString program() const { return m_folder->filePath(u"RTCPIPCLIENT"_s); }
    QString helper() const { return m_folder->filePath(u"rtcpipclient-fetch"_s); }

    // Starts the program with its update requests going through host as the proxy; its window.
    uint32_t launch(ChildProcess& client, const HttpResponder& host) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime->path());
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"DISPLAY"_s, m_x.name());
        env.insert(u"http_proxy"_s, u"http://127.0.0.1:%1"_s.arg(host.port()));
        env.remove(u"HTTP_PROXY"_s);
        env.remove(u"all_proxy"_s);
        env.remove(u"no_proxy"_s);
        env.remove(u"NO_PROXY"_s);
        client.setProcessEnvironment(env);
        client.start(program(), {});
        if (!client.waitForStarted())
            return 0;
        uint32_t window = 0;
        std::ignore = QTest::qWaitFor(
            [&] {
                return (window = m_x.shownWindow(client.processId())) != 0 ||
                       client.state() == QProcess::NotRunning;
            },
            15000);
        if (window == 0)
            qWarning("no window: %s", client.errors().constData());
        return window;
    }

    XDisplay m_x;
    std::optional<QTemporaryDir> m_runtime;
    std::optional<QTemporaryDir> m_folder;
};

QTEST_GUILESS_MAIN(TestUpdateQuit)
#include "tst_updatequit.moc"
