#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "childprocess.h"
#include "closedport.h"
#include "engine/singleinstance.h"
#include "hostframe.h"
#include "loopbackpeer.h"
#include "notifysocket.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

QByteArray settingsFile(const QByteArray& values) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n" +
           values + "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

QByteArray value(const char* key, const QByteArray& text) {
    return "    <" + QByteArray(key) + ">" + text + "</" + QByteArray(key) + ">\r\n";
}

// CPU time (user and system) the process has used so far, from the kernel's accounting.
double cpuSeconds(qint64 pid) {
    const QByteArray stat = readFile(u"/proc/%1/stat"_s.arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

int openDescriptors(qint64 pid) {
    return int(QDir(u"/proc/%1/fd"_s.arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// Reads the metrics file over and over while the service rewrites it, each time whole with
// Prometheus's own parser; fails on half a file, a missing figure or a counter that went down.
constexpr char kMetricsReader[] = R"(
import sys, time
from prometheus_client.parser import text_string_to_metric_families
path, seconds = sys.argv[1], float(sys.argv[2])
wanted = {"rtcpipclient_link_up", "rtcpipclient_link_state_since_timestamp_seconds",
          "rtcpipclient_connects", "rtcpipclient_connect_attempts", "rtcpipclient_received_frames",
          "rtcpipclient_received_bytes", "rtcpipclient_sent_frames", "rtcpipclient_sent_bytes",
          "rtcpipclient_outbox_files", "rtcpipclient_outbox_oldest_file_age_seconds",
          "rtcpipclient_outbox_delivered_files", "rtcpipclient_last_acknowledgement_timestamp_seconds",
          "rtcpipclient_archive_failures", "rtcpipclient_write_failures"}
last, reads, end = {}, 0, time.time() + seconds
while time.time() < end:
    try:
        text = open(path).read()
    except FileNotFoundError:
        continue
    families = {f.name: f for f in text_string_to_metric_families(text)}
    if set(families) != wanted or not text.endswith("\n"):
        sys.exit("incomplete: %r" % sorted(set(families) ^ wanted))
    for f in families.values():
        if f.type == "counter":
            v = f.samples[0].value
            if v < last.get(f.name, 0):
                sys.exit("%s went down: %s < %s" % (f.name, v, last[f.name]))
            last[f.name] = v
    reads += 1
print("reads", reads, "received_bytes", int(last.get("rtcpipclient_received_bytes", -1)))
)";

// A value of the metrics file, by its sample's name.
double metric(const QByteArray& text, const QByteArray& name) {
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(QByteArray(name + ' ')))
            return line.mid(name.size() + 1).toDouble();
    }
    return -1;
}

} // namespace

// The service as systemd and a monitoring system see it: the real program with a stand-in
// notification socket, its standard output as the journal's stream, its metrics file read by
// Prometheus's parser, and a flood of idle peers on its folder guard.
class TestServiceSystemd : public QObject {
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

    // READY once it runs, a status that follows the link, pings at half the watchdog's interval
    // that stop while the process is frozen and come back after, STOPPING at the end. The
    // program runs with writable memory never executable, as MemoryDenyWriteExecute makes it.
    void tellsTheServiceManagerWhatItDoes() {
        // The outbox sender's connects are refused, so its file stays and shows in the status.
        const quint16 port = closedPort();
        QVERIFY(port != 0);
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s),
                          settingsFile(value("edtPoort_Text", QByteArray::number(port)) +
                                       value("AutoBestanden_Checked", "TRUE"))));
        QVERIFY(writeFile(m_install->filePath(u"rit.xml"_s), "<rit/>"));
        NotifySocket notify(m_runtime->filePath(u"notify"_s));
        QVERIFY(notify.isValid());
        ChildProcess service;
        QProcessEnvironment env = environment();
        env.insert(u"NOTIFY_SOCKET"_s, notify.path());
        env.insert(u"WATCHDOG_USEC"_s, u"300000"_s);
        service.setChildProcessModifier([] {
            // PR_SET_MDWE, PR_MDWE_REFUSE_EXEC_GAIN: inherited across exec, as systemd applies it.
            ::prctl(65, 1, 0, 0, 0);
        });
        start(service, env);

        QTRY_VERIFY_WITH_TIMEOUT(notify.count("READY=1") == 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            notify.last("STATUS"),
            "verbroken 127.0.0.1:" + QByteArray::number(port) + ", 1 bestand(en) in de uitgaande map", 15000);
        QTRY_VERIFY_WITH_TIMEOUT(notify.count("WATCHDOG=1") >= 4, 5000);

        QCOMPARE(::kill(pid_t(service.processId()), SIGSTOP), 0);
        QTest::qWait(100); // a ping already on its way
        notify.clear();
        QTest::qWait(1000); // more than three intervals of 150 ms
        QCOMPARE(notify.count("WATCHDOG=1"), 0);
        QCOMPARE(::kill(pid_t(service.processId()), SIGCONT), 0);
        QTRY_VERIFY_WITH_TIMEOUT(notify.count("WATCHDOG=1") >= 2, 5000);

        service.terminate();
        QVERIFY(service.waitForFinished(15000));
        QCOMPARE(service.exitCode(), 0);
        QTRY_COMPARE(notify.count("STOPPING=1"), 1);
    }

    // With standard output the journal's stream, each line carries its priority: the faults at
    // err or warning, the link's state as notices, traffic as information.
    void journalLinesCarryTheirPriority() {
        writeSettings(value("AutoConnect_Checked", "TRUE"));
        // A file where the archive's folder belongs: no frame can be stored.
        QVERIFY(QDir().mkpath(m_install->filePath(u"RVxMMCLIENT"_s)));
        QVERIFY(writeFile(m_install->filePath(u"RVxMMCLIENT/XML"_s), "no folder"));
        const QString journalPath = m_runtime->filePath(u"journal"_s);
        QVERIFY(writeFile(journalPath, {}));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(journalPath).constData(), &status), 0);
        QProcessEnvironment env = environment();
        env.insert(u"JOURNAL_STREAM"_s, u"%1:%2"_s.arg(status.st_dev).arg(status.st_ino));
        NotifySocket notify(m_runtime->filePath(u"notify"_s));
        env.insert(u"NOTIFY_SOCKET"_s, notify.path());
        // Pings asked of another process: this one sends none.
        env.insert(u"WATCHDOG_USEC"_s, u"300000"_s);
        env.insert(u"WATCHDOG_PID"_s, u"1"_s);
        ChildProcess service;
        service.setStandardOutputFile(journalPath, QIODevice::Append);
        start(service, env);

        QTRY_COMPARE_WITH_TIMEOUT(m_peer->connectionCount(), 1, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(notify.last("STATUS"),
                                  "verbonden 127.0.0.1:" + QByteArray::number(m_peer->port()) +
                                      ", 0 bestand(en) in de uitgaande map",
                                  15000);
        QCOMPARE(notify.count("WATCHDOG=1"), 0);
        m_peer->send(frame("<opdracht/>"));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(journalPath).contains("Frame in |"), 5000);
        m_peer->send("geen frame");
        QTRY_VERIFY_WITH_TIMEOUT(readFile(journalPath).contains("geen volledig frame"), 5000);
        m_peer->reset();
        QTRY_VERIFY_WITH_TIMEOUT(readFile(journalPath).contains(" Fout "), 5000);
        service.terminate();
        QVERIFY(service.waitForFinished(15000));

        const QString journal = QString::fromUtf8(readFile(journalPath));
        const QString stamp = u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s;
        const auto has = [&](const QString& pattern) {
            return QRegularExpression(u"(^|\\n)"_s + pattern + u"\\n"_s).match(journal).hasMatch();
        };
        for (const QString& line :
             QStringList{u"<5>"_s + stamp + u"Service Start in .* verbindt vanzelf.*"_s,
                         u"<5>"_s + stamp + u"Status Connected\\."_s,
                         u"<5>"_s + stamp + u"Verbinding verbonden 127\\.0\\.0\\.1:.*"_s,
                         u"<6>"_s + stamp + u"Inkomend Verbinding opgebouwd"_s,
                         u"<6>"_s + stamp + u"Inkomend geen frame"_s,
                         // Stored nowhere: the archive's folder is a file.
                         u"<3>"_s + stamp + u"Frame in \\| SOH.*\\| niet bewaard: [^|]*"_s,
                         u"<4>"_s + stamp + u"Frame in \\| geen \\|.*\\| niet bewaard: geen volledig frame"_s,
                         u"<3>"_s + stamp + u"Fout Socket Error # 100\\d\\d\\\\x0D\\\\x0A.*"_s})
            QVERIFY2(has(line), qPrintable(line + u" not in:\n"_s + journal));
        // Every line has its priority; no fault hides among the information.
        for (const QString& line : journal.split(u'\n', Qt::SkipEmptyParts)) {
            QVERIFY2(QRegularExpression(u"^<[3-6]>"_s + stamp).match(line).hasMatch(), qPrintable(line));
            if (line.startsWith(u"<6>"_s) || line.startsWith(u"<5>"_s))
                QVERIFY2(!line.contains(u" Fout "_s) && !line.contains(u" Frame in "_s), qPrintable(line));
        }
    }

    // The metrics file is always whole while it is rewritten every few milliseconds and frames
    // stream in, its counters never go down, and at the close it holds the run's figures. What
    // the service made is its user's alone, whatever umask it was started with.
    void metricsFileIsWholeAndFilesAreTheUsers() {
        writeSettings(value("AutoConnect_Checked", "TRUE") + value("AutoBestanden_Checked", "TRUE") +
                      value("Logbewaren_Checked", "TRUE"));
        QVERIFY(writeFile(m_install->filePath(u"rit.xml"_s), "<rit/>"));
        const QString metricsPath = m_runtime->filePath(u"rtcpipclient.prom"_s);
        const mode_t umaskBefore = ::umask(0);
        ChildProcess service;
        start(service, environment(), {u"--metrics-file"_s, metricsPath, u"--metrics-interval"_s, u"5"_s});
        ::umask(umaskBefore);
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->received(), QByteArray("<rit/>\r\n"), 15000);

        ChildProcess reader;
        reader.start(u"/usr/bin/python3"_s,
                     {u"-c"_s, QString::fromLatin1(kMetricsReader), metricsPath, u"3"_s});
        QVERIFY(reader.waitForStarted());
        qsizetype sent = 0;
        QElapsedTimer streaming;
        streaming.start();
        while (reader.state() == QProcess::Running && streaming.elapsed() < 2500) {
            const QByteArray block = frame("<opdracht nr=\"" + QByteArray::number(sent) + "\"/>");
            m_peer->send(block);
            sent += block.size();
            QTest::qWait(20);
        }
        QVERIFY(reader.waitForFinished(30000));
        QVERIFY2(reader.exitCode() == 0, reader.errors().constData());
        QVERIFY2(reader.output().startsWith("reads "), reader.output().constData());
        QVERIFY2(reader.output().split(' ').value(1).toInt() >= 20, reader.output().constData());
        QTRY_COMPARE_WITH_TIMEOUT(metric(readFile(metricsPath), "rtcpipclient_received_bytes_total"),
                                  double(sent), 10000);

        service.terminate();
        QVERIFY(service.waitForFinished(15000));
        QCOMPARE(service.exitCode(), 0);
        const QByteArray final = readFile(metricsPath);
        QCOMPARE(metric(final, "rtcpipclient_link_up"), 1.0);
        QCOMPARE(metric(final, "rtcpipclient_connects_total"), 1.0);
        QCOMPARE(metric(final, "rtcpipclient_connect_attempts_total"), 1.0);
        QCOMPARE(metric(final, "rtcpipclient_sent_frames_total"), 1.0);
        QCOMPARE(metric(final, "rtcpipclient_sent_bytes_total"), 8.0);
        QCOMPARE(metric(final, "rtcpipclient_outbox_delivered_files_total"), 1.0);
        QCOMPARE(metric(final, "rtcpipclient_outbox_files"), 0.0);
        QCOMPARE(metric(final, "rtcpipclient_archive_failures_total"), 0.0);
        QVERIFY(metric(final, "rtcpipclient_last_acknowledgement_timestamp_seconds") >
                double(QDateTime::currentSecsSinceEpoch() - 60));
        QVERIFY(final.contains("# TYPE rtcpipclient_received_frames_total counter\n"));
        QVERIFY(final.contains("# HELP rtcpipclient_link_up "));
        // The collector runs as a user of its own and must read it; only its temporary files are
        // the service's alone, and none is left.
        QCOMPARE(QFileInfo(metricsPath).permissions() & 0x0777, QFileDevice::Permissions(0x0644));
        QCOMPARE(QDir(m_runtime->path()).entryList({u"rtcpipclient.prom*"_s}, QDir::Files).size(), 1);

        for (const QString& folder : {u"RVxMMCLIENT"_s, u"RVxMMCLIENT/LOGS"_s, u"RVxMMCLIENT/XML"_s})
            QCOMPARE(mode(m_install->filePath(folder)), 0700u);
        const QDir xml(m_install->filePath(u"RVxMMCLIENT/XML"_s));
        const QDir logs(m_install->filePath(u"RVxMMCLIENT/LOGS"_s));
        QVERIFY(!xml.isEmpty() && !logs.isEmpty());
        for (const QDir& dir : {xml, logs}) {
            for (const QString& name : dir.entryList(QDir::Files))
                QCOMPARE(mode(dir.filePath(name)), 0600u);
        }
    }

    // The first line tells a newcomer what this start will do, and where to change it.
    void firstLineSaysWhatItWillDo_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("says");
        QTest::newRow("both off")
            << QByteArray()
            << u"doet niets uit zichzelf, want AutoConnect en AutoBestanden staan uit; zet "
               u"ze aan in het venster RTCPIPCLIENT of in %1RTCPIPCLIENT.xml"_s;
        QTest::newRow("connects") << value("AutoConnect_Checked", "TRUE")
                                  << u"verbindt vanzelf en opnieuw na elke verbreking"_s;
        QTest::newRow("sends the outbox")
            << value("AutoBestanden_Checked", "TRUE") << u"verzendt de bestanden in de uitgaande map %1"_s;
    }
    void firstLineSaysWhatItWillDo() {
        QFETCH(QByteArray, settings);
        QFETCH(QString, says);
        const QString folder = m_install->path() + u'/';
        writeSettings(settings);
        ChildProcess service;
        start(service, environment());
        QTRY_VERIFY_WITH_TIMEOUT(service.output().contains('\n'), 10000);
        const QString first = QString::fromUtf8(service.output().split('\n').first());
        service.terminate();
        QVERIFY(service.waitForFinished(15000));
        const QString expected =
            u"Service Start in %1 met host 127.0.0.1, poort %2: "_s.arg(folder).arg(m_peer->port()) +
            QString(says).replace(u"%1"_s, folder);
        QVERIFY2(first.endsWith(expected), qPrintable(first + u"\n"_s + expected));
    }

    // 1,500 peers that connect to the folder guard and say nothing: the service neither spins
    // nor stops archiving, with the usual 1,024 descriptors and with almost none left.
    void idlePeersNeitherSpinNorStopTheArchive_data() {
        QTest::addColumn<int>("spareDescriptors");
        QTest::newRow("1,024 descriptors") << 0;
        QTest::newRow("out of descriptors") << 3;
    }
    void idlePeersNeitherSpinNorStopTheArchive() {
        QFETCH(int, spareDescriptors);
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizers probe memory through a pipe of their own when they check a type, so a
        // process without spare descriptors fails inside them, not in our code.
        if (spareDescriptors > 0)
            QSKIP("the sanitizers need descriptors of their own");
#endif
        constexpr int kPeers = 1500;
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        if (limit.rlim_max < rlim_t(kPeers + 200))
            QSKIP("the hard limit on descriptors is too low for the peers");
        const rlimit before = limit;
        limit.rlim_cur = limit.rlim_max;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        const auto restore = qScopeGuard([before] { ::setrlimit(RLIMIT_NOFILE, &before); });

        writeSettings(value("AutoConnect_Checked", "TRUE"));
        ChildProcess service;
        service.setChildProcessModifier([] {
            const rlimit field{1024, 1024};
            ::setrlimit(RLIMIT_NOFILE, &field);
        });
        start(service, environment());
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->connectionCount(), 1, 15000);
        const pid_t pid = pid_t(service.processId());
        if (spareDescriptors > 0) {
            const rlimit tight{rlim_t(openDescriptors(pid) + spareDescriptors), 1024};
            QCOMPARE(::prlimit(pid, RLIMIT_NOFILE, &tight, nullptr), 0);
        }

        const QByteArray path =
            QFile::encodeName(SingleInstance(m_install->path() + u'/', m_runtime->path()).serverName());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        std::vector<int> peers;
        const auto closePeers = qScopeGuard([&peers] {
            for (const int p : peers)
                ::close(p);
        });
        for (int i = 0; i < kPeers; ++i) {
            const int p = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            QVERIFY(p >= 0);
            peers.push_back(p);
            // Past the backlog the connect waits (EAGAIN); what matters is what the service does.
            std::ignore = ::connect(p, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }
        const double cpuBefore = cpuSeconds(pid);
        QElapsedTimer idle;
        idle.start();
        QTest::qWait(2000);
        const double share = (cpuSeconds(pid) - cpuBefore) / (double(idle.elapsed()) / 1000.0);
        qInfo("CPU while %d peers wait: %.1f %%", kPeers, share * 100);
        QVERIFY2(service.state() == QProcess::Running, service.errors().constData());
        QVERIFY2(share < 0.25, qPrintable(QString::number(share)));

        if (spareDescriptors > 0) {
            // Descriptors come back (the peers leave); the archive must work again at once.
            const rlimit field{1024, 1024};
            QCOMPARE(::prlimit(pid, RLIMIT_NOFILE, &field, nullptr), 0);
        }
        m_peer->send(frame("<opdracht/>"));
        const QDir archive(m_install->filePath(u"RVxMMCLIENT/XML"_s));
        QTRY_COMPARE_WITH_TIMEOUT(archive.entryList(QDir::Files).size(), 1, 10000);
        QCOMPARE(service.state(), QProcess::Running);
        service.terminate();
        QVERIFY(service.waitForFinished(15000));
    }

private:
    static unsigned mode(const QString& path) {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
    }

    void writeSettings(const QByteArray& values) {
        QVERIFY(writeFile(m_install->filePath(u"RTCPIPCLIENT.xml"_s),
                          settingsFile(value("edtPoort_Text", QByteArray::number(m_peer->port())) + values)));
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        env.remove(u"NOTIFY_SOCKET"_s);
        env.remove(u"JOURNAL_STREAM"_s);
        env.remove(u"WATCHDOG_USEC"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runtime->path());
        return env;
    }

    void start(ChildProcess& process, const QProcessEnvironment& env, const QStringList& arguments = {}) {
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::tempPath());
        process.start(m_install->filePath(u"rtcpipclient-service"_s), arguments);
        QVERIFY(process.waitForStarted());
    }

    std::optional<QTemporaryDir> m_install;
    std::optional<QTemporaryDir> m_runtime;
    std::unique_ptr<LoopbackPeer> m_peer;
};

QTEST_GUILESS_MAIN(TestServiceSystemd)
#include "tst_servicesystemd.moc"
