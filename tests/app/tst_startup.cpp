#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "syndropper.h"

using namespace Qt::Literals::StringLiterals;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// True while a socket of this machine waits for the answer to its SYN to the given local port.
bool synSentTo(quint16 port) {
    const QByteArray remote = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QList<QByteArray> lines = readFile(u"/proc/net/tcp"_s).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[2].endsWith(remote) && fields[3] == "02")
            return true;
    }
    return false;
}

} // namespace

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

    // An outbox file waits and the host swallows every SYN: the program sits in a connect that
    // would last 21 s. SIGTERM ends it within a second, as a close does: settings written, the
    // incoming log flushed.
    void sigtermDuringAConnectEndsAtOnce() {
        SynDropper host;
        if (!host.ready())
            QSKIP("no listener with a full queue on this machine");
        QTemporaryDir install;
        const QString exe = install.filePath(u"RTCPIPCLIENT"_s);
        QVERIFY(QFile::copy(QStringLiteral(CLIENT_EXECUTABLE), exe));
        const QString outbox = install.filePath(u"outbox"_s);
        QVERIFY(QDir().mkpath(outbox));
        QVERIFY(writeFile(outbox + u"/rit.xml"_s, "<rit/>"));
        const QString settings = install.filePath(u"RTCPIPCLIENT.xml"_s);
        QVERIFY(writeFile(settings, "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                                    "<Configuration>\r\n  <Hoofdscherm>\r\n"
                                    "    <edtPoort_Text>" +
                                        QByteArray::number(host.port()) +
                                        "</edtPoort_Text>\r\n"
                                        "    <AutoBestanden_Checked>TRUE</AutoBestanden_Checked>\r\n"
                                        "    <AutoLocatie_Text>" +
                                        outbox.toUtf8() +
                                        "</AutoLocatie_Text>\r\n"
                                        "    <Logbewaren_Checked>TRUE</Logbewaren_Checked>\r\n"
                                        "  </Hoofdscherm>\r\n</Configuration>\r\n"));

        QProcess client;
        client.setProgram(exe);
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start();
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(synSentTo(host.port()), 15000);

        QElapsedTimer ending;
        ending.start();
        client.terminate();
        QVERIFY(client.waitForFinished(15000));
        QVERIFY2(ending.elapsed() < 1000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        // Written at the end: the keys the prepared file lacked are there now.
        QVERIFY(
            readFile(settings).contains("<XMLBestandenBewaren_Checked>TRUE</XMLBestandenBewaren_Checked>"));
        const QDir logs(install.filePath(u"RVxMMCLIENT/LOGS"_s));
        const QStringList flushed = logs.entryList({u"MM_IN_*"_s}, QDir::Files);
        QCOMPARE(flushed.size(), 1);
        const QByteArray incoming = readFile(logs.filePath(flushed[0]));
        QVERIFY2(incoming.contains("Socket Error # 10004\r\nInterrupted system call.\r\n"),
                 incoming.constData());
        QVERIFY(QFile::exists(outbox + u"/rit.xml"_s));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
