// What the frame inspector costs the receive path: a 100 MB frame from a host on loopback through
// the engine's receive poll (1 ms timers), with the inspector keeping nothing (InspecteurAantal
// 0, the poll as it was before the inspector) against the default of 1,000 frames, in the same
// run. Reports the time until every byte was logged and the CPU time of the poll ticks alone,
// then, off the receive path, what analysing every kept row costs the inspector.
//
// Usage: bench_frames [--megabytes N] [--runs N]   (defaults: 100 MB, 3 runs of each)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "benchsupport.h"
#include "engine/linkengine.h"
#include "frames/framelog.h"

#include <time.h>

using namespace Qt::Literals::StringLiterals;

namespace {

double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Run {
    double wallSeconds = 0;
    double pollCpuSeconds = 0;
    int rows = 0;
    double analyseSeconds = 0;
};

Run runOnce(const QByteArray& frame, int capacity) {
    QTemporaryDir dir;
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    LinkParameters parameters;
    parameters.portText = QString::number(server.serverPort());
    parameters.inspecteurAantal = QString::number(capacity);
    parameters.xmlBestandenBewaren = true;
    LinkEngine engine({.executableFolder = dir.path() + u'/',
                       .generalInterval = std::chrono::milliseconds(1),
                       .reconnectInterval = std::chrono::hours(1),
                       .fileCheckerInterval = std::chrono::hours(1)},
                      [&parameters] { return parameters; });
    engine.dataFolders().create();
    engine.onOff();
    server.waitForNewConnection(5000);
    QTcpSocket* peer = server.nextPendingConnection();
    if (!peer) {
        std::fprintf(stderr, "no connection\n");
        std::exit(1);
    }
    // Qt made the socket non-blocking; the host thread's plain send loop needs it blocking.
    const int fd = ::dup(int(peer->socketDescriptor()));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    qsizetype logged = 0;
    QObject::connect(&engine.logs().incoming(), &TrafficLog::appended, &engine,
                     [&logged](const QStringList& lines) {
                         for (const QString& line : lines)
                             logged += line.size();
                     });
    Run run;
    QTimer* general = engine.findChild<QTimer*>(u"General"_s);
    QObject::disconnect(general, &QTimer::timeout, &engine, nullptr);
    QObject::connect(general, &QTimer::timeout, &engine, [&engine, &run] {
        const double before = threadCpuSeconds();
        engine.generalTick();
        run.pollCpuSeconds += threadCpuSeconds() - before;
    });
    engine.logs().incoming().clear();
    logged = 0;

    QElapsedTimer wall;
    wall.start();
    std::thread host([fd, &frame] {
        std::ignore = sendAll(fd, frame);
        ::close(fd);
    });
    engine.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (logged >= frame.size())
            loop.quit();
    });
    check.start(1);
    loop.exec();
    run.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    host.join();

    FrameLog& frames = engine.frames();
    run.rows = frames.rowCount();
    QElapsedTimer analyse;
    analyse.start();
    for (int row = 0; row < frames.rowCount(); ++row)
        std::ignore = frames.summary(row);
    run.analyseSeconds = double(analyse.nsecsElapsed()) / 1e9;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype megabytes = intOption(args, u"--megabytes", 100);
    const int runs = std::max(1, intOption(args, u"--runs", 3));
    const QByteArray xml = "<rit>" + QByteArray(megabytes * 1'000'000 / 4 * 3, 'x') + "</rit>";
    const QByteArray payload = xml.toBase64();
    const QByteArray frame = '\x01' + QByteArray::number(payload.size()) + '\x02' + payload + '\x04';

    std::vector<double> wallOff, wallOn, pollOff, pollOn;
    Run last;
    for (int i = 0; i < runs; ++i) {
        const Run off = runOnce(frame, 0);
        const Run on = runOnce(frame, FrameLog::kDefaultCapacity);
        wallOff.push_back(off.wallSeconds);
        wallOn.push_back(on.wallSeconds);
        pollOff.push_back(off.pollCpuSeconds);
        pollOn.push_back(on.pollCpuSeconds);
        last = on;
    }
    std::printf("%lld MB frame through the receive poll, median of %d runs:\n",
                static_cast<long long>(frame.size() / 1'000'000), runs);
    std::printf("  inspector off: %.2f s until logged, poll CPU %.2f s\n", median(wallOff), median(pollOff));
    std::printf("  inspector on (%d frames): %.2f s until logged, poll CPU %.2f s; ratio %.2f / %.2f\n",
                FrameLog::kDefaultCapacity, median(wallOn), median(pollOn), median(wallOn) / median(wallOff),
                median(pollOn) / median(pollOff));
    std::printf("  off the receive path: %d rows kept, their verdicts made in %.3f s\n", last.rows,
                last.analyseSeconds);
    return 0;
}
