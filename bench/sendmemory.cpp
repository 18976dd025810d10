// What one large outbox file costs the service in memory: the real service on an installation
// folder of its own sends a file of N MB (lines of XML with a few Windows-1252 letters) to a host
// in this program that reads everything. Reported against the file's size: the service's peak
// resident memory (VmHWM) above what it held idle with the link up, and what it still holds
// once the file is gone. The host must receive exactly the frame's bytes.
//
//   bench_sendmemory [--megabytes N[,N...]] [--logbewaren 0|1]     (defaults: 50,200, off)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>

#include "benchsupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

void runUntil(const std::function<bool()>& done, qint64 ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QByteArray settingsFile(quint16 port, bool logbewaren) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
           "    <edtPoort_Text>" +
           QByteArray::number(port) +
           "</edtPoort_Text>\r\n"
           "    <SOH_Checked>TRUE</SOH_Checked>\r\n    <STX_Checked>TRUE</STX_Checked>\r\n"
           "    <EOT_Checked>TRUE</EOT_Checked>\r\n    <AutoConnect_Checked>TRUE</AutoConnect_Checked>\r\n"
           "    <AutoBestanden_Checked>TRUE</AutoBestanden_Checked>\r\n    <Logbewaren_Checked>" +
           (logbewaren ? "TRUE" : "FALSE") +
           "</Logbewaren_Checked>\r\n"
           "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

// The extra options: a size limit that lets the file in.
QByteArray extraFile(int megabytes) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
           "    <MaxBestandsGrootte_Text>" +
           QByteArray::number(megabytes + 1) +
           "</MaxBestandsGrootte_Text>\r\n"
           "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

// Lines of about 100 bytes ending in CR LF, one in eight with "é" (0xE9), which goes as "e".
QByteArray fileOf(qint64 size, QByteArray* wire) {
    QByteArray bytes;
    bytes.reserve(size + 128);
    for (qint64 n = 0; bytes.size() < size; ++n)
        bytes += "  <rit nr=\"" + QByteArray::number(n) + "\" van=\"Stationsplein\" naar=\"" +
                 (n % 8 == 0 ? "Caf\xE9 de Kroon" : "Cafe de Kroon") + "\" tijd=\"12:00\"/>\r\n";
    QByteArray text = bytes;
    text.replace('\xE9', 'e');
    *wire = "\x01" + QByteArray::number(text.size()) + "\x02" + text + "\x04";
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QList<int> sizes{50, 200};
    if (const qsizetype at = args.indexOf(u"--megabytes"_s); at >= 0 && at + 1 < args.size()) {
        sizes.clear();
        for (const QString& n : args[at + 1].split(u','))
            sizes.append(n.toInt());
    }
    const bool logbewaren = intOption(args, u"--logbewaren", 0) != 0;
    const QString service = QCoreApplication::applicationDirPath() + u"/../bin/rtcpipclient-service"_s;
    int failures = 0;
    std::printf("Logbewaren %s\n", logbewaren ? "on" : "off");
    std::printf("%8s %10s %10s %10s %10s %8s %8s\n", "file MB", "idle MiB", "peak MiB", "peak-idle",
                "after MiB", "peak/f", "incr/f");
    for (const int megabytes : sizes) {
        QTemporaryDir folder;
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        QByteArray received;
        QTcpSocket* host = nullptr;
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            host = server.nextPendingConnection();
            QObject::connect(host, &QTcpSocket::readyRead, [&] { received += host->readAll(); });
        });
        const QString exe = folder.filePath(u"rtcpipclient-service"_s);
        QFile settings(folder.filePath(u"RTCPIPCLIENT.xml"_s));
        QFile extra(folder.filePath(u"RTCPIPCLIENT.extra"_s));
        if (!QFile::copy(service, exe) || !settings.open(QIODevice::WriteOnly) ||
            settings.write(settingsFile(server.serverPort(), logbewaren)) < 0 ||
            !extra.open(QIODevice::WriteOnly) || extra.write(extraFile(megabytes)) < 0) {
            std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder.path()));
            return 1;
        }
        settings.close();
        extra.close();

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, folder.path());
        program.setProcessEnvironment(env);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(exe, {});
        program.waitForStarted();
        const qint64 pid = program.processId();
        runUntil([&] { return host != nullptr; }, 20000);
        runUntil([] { return false; }, 1500);
        const long idle = statusKiB(pid, "VmHWM");

        QByteArray wire;
        const QByteArray bytes = fileOf(qint64(megabytes) * 1000 * 1000, &wire);
        const QString file = folder.filePath(u"groot.xml"_s);
        QFile f(folder.filePath(u".groot"_s));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
            std::fprintf(stderr, "cannot write the file\n");
            return 1;
        }
        f.close();
        QFile::rename(f.fileName(), file);
        runUntil([&] { return !QFile::exists(file) && received.size() >= wire.size(); }, 180000);
        runUntil([] { return false; }, 1500);
        const long peak = statusKiB(pid, "VmHWM");
        const long after = statusKiB(pid, "VmRSS");
        program.terminate();
        program.waitForFinished(10000);
        const bool whole = received == wire && !QFile::exists(file);
        failures += !whole;
        const double fileMiB = double(bytes.size()) / (1024 * 1024);
        std::printf("%8d %10.1f %10.1f %10.1f %10.1f %8.2f %8.2f%s\n", megabytes, idle / 1024.0,
                    peak / 1024.0, (peak - idle) / 1024.0, after / 1024.0, peak / 1024.0 / fileMiB,
                    (peak - idle) / 1024.0 / fileMiB, whole ? "" : "  host's bytes differ from the frame");
    }
    return failures == 0 ? 0 : 2;
}
