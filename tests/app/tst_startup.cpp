#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The real program, started the way an operator or a service manager starts it.
class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void foldersAppearBesideTheExecutableAndSigtermEndsIt() {
        QTemporaryDir install;
        QTemporaryDir elsewhere;
        const QString exe = install.filePath(u"RTCPIPCLIENT"_s);
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), exe));

        QProcess client;
        client.setProgram(exe);
        client.setWorkingDirectory(elsewhere.path());
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start();
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(install.filePath(u"RVxMMCLIENT/XML"_s)).isDir(), 15000);
        QVERIFY(QFileInfo(install.filePath(u"RVxMMCLIENT/LOGS"_s)).isDir());
        QVERIFY(!QFileInfo::exists(elsewhere.filePath(u"RVxMMCLIENT"_s)));

        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
