#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "childprocess.h"
#include "settingsfiles.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

// "make run" as an operator ends it: Ctrl+C to the terminal's whole process group.
class TestRunScript : public QObject {
    Q_OBJECT
private slots:
    // The program closes as at "Afsluiten", its settings written, while the virtual display
    // still runs; then the display goes, and nothing alarming is printed.
    void ctrlCClosesTheProgramBeforeTheDisplay() {
        for (const char* tool : {"Xvfb", "xdpyinfo", "xwininfo", "import", "setsid"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(u"%1 is not installed"_s.arg(QString::fromLatin1(tool))));
        QTemporaryDir build;
        QTemporaryDir runtime;
        QVERIFY(QDir().mkpath(build.filePath(u"bin"_s)));
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), build.filePath(u"bin/RTCPIPCLIENT"_s)));

        ChildProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        run.setProcessEnvironment(env);
        // A session of its own stands for the terminal: the script leads the process group that
        // Ctrl+C reaches.
        run.start(u"setsid"_s, {u"bash"_s, QStringLiteral(RUN_SCRIPT), build.path()});
        QVERIFY(run.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(run.output().contains("press Ctrl+C"), 30000);
        const QString display = QRegularExpression(u"virtual display :(\\d+)"_s)
                                    .match(QString::fromUtf8(run.output()))
                                    .captured(1);
        QVERIFY(!display.isEmpty());
        QVERIFY(QFile::exists(u"/tmp/.X%1-lock"_s.arg(display)));

        QCOMPARE(::kill(-pid_t(run.processId()), SIGINT), 0);
        QVERIFY(run.waitForFinished(20000));
        const QByteArray printed = run.output() + run.errors();
        QCOMPARE(run.exitCode(), 0);
        QVERIFY2(!printed.contains("X11 connection broke"), printed.constData());
        QVERIFY2(!printed.contains("Killed") && !printed.contains("Terminated"), printed.constData());
        QCOMPARE(readFile(build.filePath(u"bin/RTCPIPCLIENT.xml"_s)),
                 settingsfiles::firstStart(QFile::encodeName(build.filePath(u"bin"_s)) + '/'));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(u"/tmp/.X%1-lock"_s.arg(display)), 5000);
    }
};

QTEST_GUILESS_MAIN(TestRunScript)
#include "tst_runscript.moc"
