// Resident memory of the headless service and of the desktop program while a host streams at
// full speed: first nothing but line breaks, then random bytes. Each program runs from an
// installation folder of its own with AutoConnect on and a host of its own on loopback that
// writes as fast as the program takes it in. VmRSS and VmHWM are read from /proc every second.
// Figures per stream and program: bytes taken, the peak (VmHWM at the end), the resident size at
// the end, and the growth over the second half of the run, against the limits below.
//
//   bench_streammemory [--seconds N] [--keep-logs 0|1] [--bin FOLDER]
//     (defaults: 120 s per stream; Logbewaren off, as a fresh installation has it; the programs
//     of this build tree)
// The desktop program runs on $DISPLAY when set, otherwise on the offscreen platform.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "benchsupport.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr long kServiceLimitKiB = 64 * 1024;
constexpr long kDesktopLimitKiB = 256 * 1024;

/// A host that accepts one connection at a time and writes `pattern` into it over and over until
/// the peer goes or the host is stopped.
class StreamingHost {
public:
    explicit StreamingHost(QByteArray pattern)
        : m_pattern(std::move(pattern)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 4) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~StreamingHost() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }
    StreamingHost(const StreamingHost&) = delete;
    StreamingHost& operator=(const StreamingHost&) = delete;

    quint16 port() const { return m_port; }
    qint64 sent() const { return m_sent; }
    int connections() const { return m_connections; }

private:
    bool wait(int fd, short events) const {
        while (!m_stop) {
            pollfd p{fd, events, 0};
            const int n = ::poll(&p, 1, 100);
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR)
                return false;
        }
        return false;
    }
    void run() {
        while (wait(m_listener, POLLIN)) {
            const int peer = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (peer < 0)
                continue;
            ++m_connections;
            qsizetype at = 0;
            while (wait(peer, POLLOUT)) {
                const ssize_t n =
                    ::send(peer, m_pattern.constData() + at, size_t(m_pattern.size() - at), MSG_NOSIGNAL);
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                if (n <= 0)
                    break;
                m_sent += n;
                at = (at + n) % m_pattern.size();
            }
            ::close(peer);
        }
    }

    QByteArray m_pattern;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_sent = 0;
    std::atomic<int> m_connections = 0;
};

/// VmRSS and VmHWM of a process in KiB; -1 each when unreadable.
struct Memory {
    long resident = -1;
    long peak = -1;
};

Memory memoryOf(qint64 pid) {
    Memory m;
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return m;
    for (const QByteArray& line : status.readAll().split('\n')) {
        long* field = line.startsWith("VmRSS:") ? &m.resident : line.startsWith("VmHWM:") ? &m.peak : nullptr;
        if (!field)
            continue;
        const QList<QByteArray> parts = line.mid(6).simplified().split(' ');
        bool ok = false;
        const long kib = parts.value(0).toLong(&ok);
        if (ok && parts.value(1) == "kB")
            *field = kib;
    }
    return m;
}

struct Program {
    Program(QString n, QString e, long limit)
        : name(std::move(n))
        , executable(std::move(e))
        , limitKiB(limit) {}
    QString name;
    QString executable;
    long limitKiB;
    QTemporaryDir folder;
    QProcess process;
    std::vector<Memory> samples;
};

bool start(Program& program, quint16 port, bool keepLogs) {
    const QString exe = program.folder.filePath(QFileInfo(program.executable).fileName());
    QFile settings(program.folder.filePath(u"RTCPIPCLIENT.xml"_s));
    if (!QFile::copy(program.executable, exe) || !settings.open(QIODevice::WriteOnly))
        return false;
    settings.write("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
                   "    <edtPoort_Text>" +
                   QByteArray::number(port) +
                   "</edtPoort_Text>\r\n"
                   "    <AutoConnect_Checked>TRUE</AutoConnect_Checked>\r\n"
                   "    <Logbewaren_Checked>" +
                   (keepLogs ? "TRUE" : "FALSE") +
                   "</Logbewaren_Checked>\r\n"
                   "  </Hoofdscherm>\r\n</Configuration>\r\n");
    settings.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(u"DISPLAY"_s) && !env.contains(u"QT_QPA_PLATFORM"_s))
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, program.folder.path());
    program.process.setProcessEnvironment(env);
    program.process.setStandardOutputFile(QProcess::nullDevice());
    program.process.setStandardErrorFile(QProcess::nullDevice());
    program.process.start(exe, {});
    return program.process.waitForStarted();
}

void runEvents(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QByteArray pattern(bool random) {
    QByteArray bytes(1 << 20, '\n');
    if (random) {
        std::mt19937 generator(20260307);
        for (char& c : bytes)
            c = char(generator() & 0xFF);
    }
    return bytes;
}

/// One stream against both programs; false when a program failed to run or passed its limit.
bool measure(const char* title, bool random, int seconds, bool keepLogs, const QString& bin) {
    StreamingHost serviceHost(pattern(random));
    StreamingHost desktopHost(pattern(random));
    Program service(u"rtcpipclient-service"_s, bin + u"rtcpipclient-service"_s, kServiceLimitKiB);
    Program desktop(u"RTCPIPCLIENT"_s, bin + u"RTCPIPCLIENT"_s, kDesktopLimitKiB);
    if (serviceHost.port() == 0 || desktopHost.port() == 0) {
        std::fputs("cannot listen on loopback\n", stderr);
        return false;
    }
    if (!start(service, serviceHost.port(), keepLogs) || !start(desktop, desktopHost.port(), keepLogs)) {
        std::fputs("cannot start the programs\n", stderr);
        return false;
    }
    for (int s = 0; s < seconds; ++s) {
        runEvents(1000);
        for (Program* p : {&service, &desktop})
            p->samples.push_back(memoryOf(p->process.processId()));
    }
    const qint64 taken[] = {serviceHost.sent(), desktopHost.sent()};
    const int connections[] = {serviceHost.connections(), desktopHost.connections()};
    std::printf("\n%s, %d s, Logbewaren %s\n", title, seconds, keepLogs ? "on" : "off");
    std::printf("%-22s %11s %6s %12s %12s %16s %12s\n", "program", "streamed", "links", "peak RSS", "end RSS",
                "2nd half growth", "limit");
    bool ok = true;
    int i = 0;
    for (Program* p : {&service, &desktop}) {
        const bool running = p->process.state() == QProcess::Running;
        const Memory end = p->samples.back();
        const Memory half = p->samples[p->samples.size() / 2];
        long peak = end.peak;
        for (const Memory& m : p->samples)
            peak = std::max(peak, m.resident);
        const bool within = running && end.resident > 0 && peak > 0 && peak < p->limitKiB;
        ok = ok && within;
        std::printf("%-22s %7.1f MiB %6d %8.1f MiB %8.1f MiB %12.1f MiB %8ld MiB %s\n", qPrintable(p->name),
                    double(taken[i]) / (1 << 20), connections[i], peak / 1024.0, end.resident / 1024.0,
                    (end.resident - half.resident) / 1024.0, p->limitKiB / 1024,
                    !running ? "ENDED EARLY"
                    : within ? "ok"
                             : "OVER");
        ++i;
    }
    for (Program* p : {&service, &desktop}) {
        p->process.terminate();
        if (!p->process.waitForFinished(30000))
            p->process.kill();
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int seconds = std::max(intOption(args, u"--seconds", 120), 2);
    const bool keepLogs = intOption(args, u"--keep-logs", 0) != 0;
    QString bin = QCoreApplication::applicationDirPath() + u"/../bin/"_s;
    if (const qsizetype at = args.lastIndexOf(u"--bin"_s); at > 0 && at + 1 < args.size())
        bin = args[at + 1] + u'/';
    bool ok = measure("a stream of line breaks (LF)", false, seconds, keepLogs, bin);
    ok = measure("a stream of random bytes", true, seconds, keepLogs, bin) && ok;
    return ok ? 0 : 2;
}
