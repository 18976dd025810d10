// The link under a steady stream: the real main window (offscreen) against the dispatch-host
// simulator sending framed Base64 XML packets on a short period. Reports what the host sent
// against what the client logged (nothing may be lost), the files archived, the resident memory
// at the start and right after each rotation of the incoming log (the log's own size is a saw
// tooth of up to 500 lines; what must not climb is the floor), and the CPU the production poll
// costs while the link is up and quiet, against a bare event loop with one 500 ms timer.
//
// Usage: bench_soak [--seconds N] [--period MS] [--poll MS]   (defaults: 60 s, 5 ms, 50 ms; a
// shorter poll than the production 500 ms makes the 500-line rotations come sooner)

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include <sys/resource.h>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "tools/dispatchsim/dispatchhost.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// NaN when unreadable: it prints as "nan" rather than passing for a reading of 0 MiB.
double residentMiB() {
    const long kib = residentKiB();
    return kib < 0 ? std::nan("") : kib / 1024.0;
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runFor(std::chrono::milliseconds span) {
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU seconds per wall second spent in the event loop for the given span.
double cpuShare(std::chrono::milliseconds span) {
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(span);
    return (cpuSeconds() - before) / (wall.nsecsElapsed() / 1e9);
}

int countFiles(const QString& folder) {
    return static_cast<int>(QDir(folder).entryList(QDir::Files).size());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    int seconds = 60;
    int periodMs = 5;
    int pollMs = 50;
    const QStringList args = QCoreApplication::arguments();
    seconds = intOption(args, u"--seconds", seconds);
    periodMs = intOption(args, u"--period", periodMs);
    pollMs = intOption(args, u"--poll", pollMs);
    if (seconds <= 0 || periodMs <= 0 || pollMs <= 0) {
        std::fprintf(stderr, "usage: bench_soak [--seconds N] [--period MS] [--poll MS]\n");
        return 2;
    }
    constexpr auto kIdle = std::chrono::seconds(4);

    // Baseline: the bare event loop with one 500 ms timer, in this same process.
    QTimer bare;
    bare.start(500);
    const double bareCpu = cpuShare(kIdle);
    bare.stop();

    QThread hostThread;
    QTextStream sink(stderr);
    DispatchHost::Options hostOptions;
    hostOptions.quiet = true;
    hostOptions.acknowledge = false;
    auto* host = new DispatchHost(hostOptions, sink);
    host->moveToThread(&hostThread);
    hostThread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        host,
        [&] {
            if (host->listen(u"127.0.0.1"_s, 0))
                port = host->port();
        },
        Qt::BlockingQueuedConnection);
    if (port == 0)
        return 1;

    QTemporaryDir dir;
    HoofdschermConfig config = benchWindowConfig(dir.path() + u'/');
    THoofdscherm window(config);
    window.show();
    window.findChild<QLineEdit*>(u"edtPoort"_s)->setText(QString::number(port));
    window.findChild<QCheckBox*>(u"Logbewaren"_s)->setChecked(true);
    window.findChild<QCheckBox*>(u"XMLBestandenBewaren"_s)->setChecked(true);

    // What the poll took: the stream holds no line breaks (Base64 payloads), so every block is
    // one entry and its length is its byte count.
    qint64 received = 0;
    QObject::connect(&window.logs().incoming(), &TrafficLog::appended, &window,
                     [&](const QStringList& lines) {
                         for (const QString& line : lines)
                             if (line != u"Verbinding opgebouwd"_s)
                                 received += line.size();
                     });
    window.findChild<QPushButton*>(u"aanUitButton"_s)->click();
    runFor(std::chrono::seconds(1));
    if (!window.tcpClient().Connected()) {
        std::fprintf(stderr, "soak: the client did not connect\n");
        return 1;
    }
    const double idleCpu = cpuShare(kIdle);
    // The stream runs with the chosen poll; the idle figure above is the production one.
    if (auto* general = window.findChild<QTimer*>(u"General"_s))
        general->setInterval(pollMs);

    const QString xml = dir.path() + u"/RVxMMCLIENT/XML"_s;
    const QString logs = dir.path() + u"/RVxMMCLIENT/LOGS"_s;
    QMetaObject::invokeMethod(host, [&] { host->setPeriod(std::chrono::milliseconds(periodMs)); });
    runFor(std::chrono::seconds(2)); // the memo and the logs reach their working size
    const double rssStart = residentMiB();
    double rssMax = rssStart;
    QList<double> afterRotation;
    int rotations = countFiles(logs);
    QElapsedTimer soak;
    soak.start();
    while (soak.elapsed() < seconds * 1000LL) {
        runFor(std::chrono::milliseconds(200));
        const double rss = residentMiB();
        rssMax = std::max(rssMax, rss);
        if (const int n = countFiles(logs); n != rotations) {
            rotations = n;
            afterRotation.append(rss);
        }
    }
    const double rssEnd = residentMiB();
    QMetaObject::invokeMethod(
        host, [&] { host->setPeriod(std::chrono::milliseconds(0)); }, Qt::BlockingQueuedConnection);
    runFor(std::chrono::milliseconds(1500)); // the last ticks take what is still buffered
    qint64 sent = 0;
    QMetaObject::invokeMethod(
        host, [&] { sent = host->bytesSent(); }, Qt::BlockingQueuedConnection);
    const bool connected = window.tcpClient().Connected();

    std::printf("soak: %d s stream, a packet every %d ms, poll every %d ms\n", seconds + 2, periodMs, pollMs);
    std::printf("  host sent        %lld bytes\n", static_cast<long long>(sent));
    std::printf("  client logged    %lld bytes   ratio %.6f\n", static_cast<long long>(received),
                sent ? static_cast<double>(received) / sent : 0.0);
    std::printf("  files archived   %d (one per block that starts with a complete frame)\n", countFiles(xml));
    std::printf("  log files        %d (rotation above 500 lines)\n", countFiles(logs));
    std::printf("  resident memory  %.1f MiB at start, %.1f MiB at end, %.1f MiB peak; end/start %.3f\n",
                rssStart, rssEnd, rssMax, rssEnd / rssStart);
    QString floors;
    for (const double rss : std::as_const(afterRotation))
        floors += QString::number(rss, 'f', 1) + u' ';
    std::printf("  after each rotation: %s MiB", qPrintable(floors));
    if (afterRotation.size() >= 2)
        std::printf("; last/first %.3f", afterRotation.last() / afterRotation.first());
    std::printf("\n");
    std::printf("  idle CPU, link up and quiet: %.4f%%; bare 500 ms timer loop: %.4f%%\n", idleCpu * 100,
                bareCpu * 100);
    std::printf("  link still up at the end: %s\n", connected ? "yes" : "no");

    QMetaObject::invokeMethod(
        host, [host] { delete host; }, Qt::BlockingQueuedConnection);
    hostThread.quit();
    hostThread.wait();
    window.close();
    return received == sent && connected ? 0 : 1;
}
