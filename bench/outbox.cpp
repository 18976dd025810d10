// Files per second through the outbox: the real main window (offscreen) sends every file dropped
// into its outbox to the dispatch-host simulator, which acknowledges each frame with EOT. With
// "Verbinding verbreken na ontvangst ACK bericht" off a file goes out per pass of the link-ready
// flag; with it on, one per connection. The baseline, measured in the same run against the same
// host: a plain loop that lists, reads, frames, writes over one blocking socket and deletes the
// same files. Every run checks that the bytes the host received are exactly the files' frames,
// each file once, and that the outbox is empty afterwards.
//
// Usage: bench_outbox [--files N] [--interval MS] [--production-files N]
//   (defaults: 400 files with 1 ms timers, then 4 files with the production timers)

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMutex>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "tools/dispatchsim/dispatchhost.h"

using namespace Qt::Literals::StringLiterals;

namespace {

void runFor(std::chrono::milliseconds span) {
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

// The simulator in a thread of its own, as a separate host process would be; it records every
// frame it cuts from the stream.
class Host {
public:
    Host() {
        m_options.quiet = true;
        m_options.acknowledge = true;
        m_host = new DispatchHost(m_options, m_sink);
        QObject::connect(
            m_host, &DispatchHost::frameReceived, m_host,
            [this](const QByteArray& frame) {
                const QMutexLocker lock(&m_mutex);
                m_frames.append(frame);
            },
            Qt::DirectConnection);
        m_host->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_host, [this] { m_port = m_host->listen(u"127.0.0.1"_s, 0) ? m_host->port() : 0; },
            Qt::BlockingQueuedConnection);
    }
    ~Host() {
        QMetaObject::invokeMethod(
            m_host, [this] { delete m_host; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    quint16 port() const { return m_port; }
    const DispatchHost::Options& options() const { return m_options; }
    qsizetype frameCount() {
        const QMutexLocker lock(&m_mutex);
        return m_frames.size();
    }
    QList<QByteArray> takeFrames() {
        const QMutexLocker lock(&m_mutex);
        return std::exchange(m_frames, {});
    }
    qint64 bytesReceived() {
        qint64 n = 0;
        QMetaObject::invokeMethod(
            m_host, [&] { n = m_host->bytesReceived(); }, Qt::BlockingQueuedConnection);
        return n;
    }

private:
    DispatchHost::Options m_options;
    QTextStream m_sink{stderr};
    QThread m_thread;
    DispatchHost* m_host = nullptr;
    quint16 m_port = 0;
    QMutex m_mutex;
    QList<QByteArray> m_frames;
};

// A fresh outbox holding n packets, and the frames the host must see for them, made by the
// simulator's own framing (SOH, length, STX, Base64, EOT) rather than the client's.
struct Outbox {
    QTemporaryDir dir;
    QList<QByteArray> expected;
    qint64 expectedBytes = 0;

    Outbox(int n, const DispatchHost::Options& framing) {
        for (int i = 0; i < n; ++i) {
            const QByteArray xml =
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Bericht>\r\n  <Volgnummer>" +
                QByteArray::number(i) +
                "</Volgnummer>\r\n  <Tekst>Rit 42: Stationsplein 1, 2 personen</Tekst>\r\n"
                "</Bericht>\r\n";
            QFile f(dir.filePath(u"pakket%1.xml"_s.arg(i, 5, 10, QChar(u'0'))));
            if (!f.open(QIODevice::WriteOnly) || f.write(xml) != xml.size())
                std::fprintf(stderr, "outbox: cannot write %s\n", qPrintable(f.fileName()));
            expected.append(DispatchHost::frameOf(xml, framing));
            expectedBytes += expected.last().size();
        }
    }
    bool empty() const { return QDir(dir.path()).entryList({u"*.xml"_s}, QDir::Files).isEmpty(); }
};

struct RunResult {
    double seconds = 0;
    bool exact = false;
};

// The host's frames against the files': the same multiset, byte for byte, and nothing else.
bool exact(Host& host, qint64 bytesBefore, Outbox& outbox) {
    QList<QByteArray> got = host.takeFrames();
    QList<QByteArray> want = outbox.expected;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    return got == want && host.bytesReceived() - bytesBefore == outbox.expectedBytes && outbox.empty();
}

bool waitForFrames(Host& host, qsizetype n, std::chrono::seconds limit) {
    QElapsedTimer t;
    t.start();
    while (host.frameCount() < n) {
        if (t.elapsed() > std::chrono::milliseconds(limit).count())
            return false;
        runFor(std::chrono::milliseconds(1));
    }
    return true;
}

RunResult baseline(Host& host, int files) {
    Outbox outbox(files, host.options());
    const qint64 before = host.bytesReceived();
    RunResult result;
    QElapsedTimer t;
    t.start();
    const int s = connectToLoopback(host.port());
    if (s < 0)
        return result;
    const QDir dir(outbox.dir.path());
    for (const QString& name : dir.entryList({u"*.xml"_s}, QDir::Files, QDir::Unsorted)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray frame = DispatchHost::frameOf(f.readAll(), host.options());
        f.close();
        std::ignore = sendAll(s, frame);
        QFile::remove(dir.filePath(name));
    }
    const bool arrived = waitForFrames(host, files, std::chrono::seconds(120));
    result.seconds = t.nsecsElapsed() / 1e9;
    ::close(s);
    result.exact = arrived && exact(host, before, outbox);
    return result;
}

RunResult throughWindow(Host& host, int files, bool ackDisconnect,
                        std::optional<std::chrono::milliseconds> interval) {
    QTemporaryDir home;
    HoofdschermConfig config = benchWindowConfig(home.path() + u'/');
    if (interval) {
        config.generalInterval = *interval;
        config.fileCheckerInterval = *interval;
    }
    THoofdscherm window(config);
    Outbox outbox(files, host.options());
    window.findChild<QLineEdit*>(u"edtPoort"_s)->setText(QString::number(host.port()));
    window.findChild<QLineEdit*>(u"AutoLocatie"_s)->setText(outbox.dir.path());
    for (const char* name : {"SOH", "STX", "EOT", "enc64verzenden"})
        window.findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(true);
    window.findChild<QCheckBox*>(u"ACKDisconnect"_s)->setChecked(ackDisconnect);
    window.findChild<QCheckBox*>(u"XMLBestandenBewaren"_s)->setChecked(false);
    const qint64 before = host.bytesReceived();

    RunResult result;
    QElapsedTimer t;
    t.start();
    window.findChild<QCheckBox*>(u"AutoBestanden"_s)->setChecked(true);
    const bool arrived = waitForFrames(host, files, std::chrono::seconds(interval ? 300 : 120));
    result.seconds = t.nsecsElapsed() / 1e9;
    window.findChild<QCheckBox*>(u"AutoBestanden"_s)->setChecked(false);
    runFor(std::chrono::milliseconds(50)); // the last delete follows the last write
    result.exact = arrived && exact(host, before, outbox);
    return result;
}

void report(const char* what, int files, const RunResult& r, double baselineRate) {
    const double rate = r.seconds > 0 ? files / r.seconds : 0;
    std::printf("  %-44s %5d files in %7.3f s  %9.1f files/s", what, files, r.seconds, rate);
    if (baselineRate > 0)
        std::printf("  ratio %.3f", rate / baselineRate);
    std::printf("  frames exact: %s\n", r.exact ? "yes" : "NO");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    int files = 400;
    int intervalMs = 1;
    int productionFiles = 4;
    const QStringList args = QCoreApplication::arguments();
    files = intOption(args, u"--files", files);
    intervalMs = intOption(args, u"--interval", intervalMs);
    productionFiles = intOption(args, u"--production-files", productionFiles);
    if (files <= 0 || intervalMs <= 0 || productionFiles < 0) {
        std::fprintf(stderr, "usage: bench_outbox [--files N] [--interval MS] [--production-files N]\n");
        return 2;
    }
    Host host;
    if (host.port() == 0)
        return 1;

    const RunResult plain = baseline(host, files);
    const double plainRate = plain.seconds > 0 ? files / plain.seconds : 0;
    const auto fast = std::chrono::milliseconds(intervalMs);
    const RunResult ackOff = throughWindow(host, files, false, fast);
    const RunResult ackOn = throughWindow(host, files, true, fast);
    std::printf("outbox: frames with SOH, length + STX, Base64 and EOT; the host acknowledges each\n");
    std::printf(" timers of %d ms, against the plain loop:\n", intervalMs);
    report("plain loop: list, read, frame, send, delete", files, plain, 0);
    report("window, ACKDisconnect off", files, ackOff, plainRate);
    report("window, ACKDisconnect on", files, ackOn, plainRate);
    bool ok = plain.exact && ackOff.exact && ackOn.exact;
    if (productionFiles > 0) {
        const RunResult prodOff = throughWindow(host, productionFiles, false, std::nullopt);
        const RunResult prodOn = throughWindow(host, productionFiles, true, std::nullopt);
        std::printf(" production timers (poll 500 ms, outbox 1000 ms), against the plain loop:\n");
        report("window, ACKDisconnect off", productionFiles, prodOff, plainRate);
        report("window, ACKDisconnect on", productionFiles, prodOn, plainRate);
        ok = ok && prodOff.exact && prodOn.exact;
    }
    return ok ? 0 : 1;
}
