// Start-up as the operator sees it: the time from exec to the first map of the program's top-level
// window on a real X server, against a bare Qt window with the same widgets (bench_barewindow),
// interleaved in one run; and the resident memory and the CPU time each process has used 3 s
// after its map. This program plays the desktop: it watches the root window for MapNotify and
// takes the first top-level window whose _NET_WM_PID is the process it started.
//
// The program runs from a temporary installation (a copy of its executable), so its settings
// file and data folders stay out of the build tree; the first round of each warms the caches
// and settles the installation and is not counted. Each process ends with SIGTERM after its
// figures are taken.
//
// Usage: bench_firstmap [--runs N] [--client PATH] [--bare PATH]
//   (defaults: 7 counted runs each, the RTCPIPCLIENT and bench_barewindow of this build tree)
// Always starts an Xvfb of its own, so that no window manager or desktop stands between the
// map request and its notification.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "benchsupport.h"
#include "xprocess.h"

#include <xcb/xcb.h>

using namespace Qt::Literals::StringLiterals;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr auto kMapLimit = std::chrono::seconds(30);
constexpr auto kSettle = std::chrono::seconds(3);
constexpr auto kExitLimit = std::chrono::seconds(20);

struct Figures {
    double mapMs = 0;
    double residentMiB = 0;
    double cpuMs = 0;
};

class MapWatcher {
public:
    explicit MapWatcher(const std::string& display) {
        m_c = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_pidAtom = atom("_NET_WM_PID");
        // Top-level windows are the root's children: their maps come as the root's substructure.
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~MapWatcher() { xcb_disconnect(m_c); }
    MapWatcher(const MapWatcher&) = delete;
    MapWatcher& operator=(const MapWatcher&) = delete;

    bool ok() const { return xcb_connection_has_error(m_c) == 0; }

    /// Events left from an earlier process are not this one's.
    void discardPending() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
            std::free(e);
    }

    /// The moment the first top-level window of pid was reported mapped; nothing when none was
    /// within the limit.
    std::optional<Clock::time_point> waitForMapOf(pid_t pid, Clock::time_point deadline) {
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const auto now = Clock::now();
                const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(e, &std::free);
                if ((e->response_type & 0x7f) != XCB_MAP_NOTIFY)
                    continue;
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(e);
                if (!map->override_redirect && windowPid(map->window) == pid)
                    return now;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || xcb_connection_has_error(m_c))
                return std::nullopt;
            pollfd p{xcb_get_file_descriptor(m_c), POLLIN, 0};
            std::ignore = ::poll(&p, 1, static_cast<int>(left));
        }
    }

private:
    xcb_atom_t atom(const char* name) {
        const auto cookie = xcb_intern_atom(m_c, 0, static_cast<uint16_t>(std::strlen(name)), name);
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(m_c, cookie, nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    pid_t windowPid(xcb_window_t w) {
        const auto cookie = xcb_get_property(m_c, 0, w, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1);
        const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(m_c, cookie, nullptr), &std::free);
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
            return -1;
        return static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(reply.get())));
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
};

double cpuMsPrecise(pid_t pid) {
    const double seconds = cpuSeconds(pid);
    return seconds < 0 ? -1 : seconds * 1000;
}

/// Waits until pid has ended, up to limit; true when it did.
bool waitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    const int pidfd = bench::openPidfd(pid);
    bool ended = false;
    for (;;) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            ended = true;
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            std::ignore = ::poll(&p, 1, static_cast<int>(left));
        } else {
            ::usleep(1000);
        }
    }
    if (pidfd >= 0)
        ::close(pidfd);
    return ended;
}

std::optional<Figures> measure(MapWatcher& watcher, const std::string& display, const std::string& exe) {
    watcher.discardPending();
    const auto started = Clock::now();
    const pid_t pid = bench::spawn(
        {exe}, bench::environmentWith({"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "LANG=C.UTF-8"}), {});
    if (pid < 0)
        return std::nullopt;
    const std::optional<Clock::time_point> mapped = watcher.waitForMapOf(pid, started + kMapLimit);
    // A process that ends early is noticed here; it has no figures and nothing left to stop.
    if (mapped &&
        waitForExit(pid, std::chrono::ceil<std::chrono::milliseconds>(*mapped + kSettle - Clock::now())))
        return std::nullopt;
    std::optional<Figures> figures;
    const long kib = residentKiB(pid);
    const double cpu = cpuMsPrecise(pid);
    if (mapped && kib > 0 && cpu >= 0)
        figures = Figures{Millis(*mapped - started).count(), kib / 1024.0, cpu};
    ::kill(pid, SIGTERM);
    if (!waitForExit(pid, kExitLimit)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return figures;
}

std::string option(const QStringList& args, QStringView name, const char* fallback) {
    for (qsizetype i = 1; i + 1 < args.size(); i += 2)
        if (args[i] == name)
            return args[i + 1].toStdString();
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int runs = intOption(args, u"--runs", 7);
    const std::string client = option(args, u"--client", CLIENT_EXECUTABLE);
    const std::string bare = option(args, u"--bare", BARE_EXECUTABLE);
    if (runs < 1) {
        std::fprintf(stderr, "usage: %s [--runs N] [--client PATH] [--bare PATH]\n", argv[0]);
        return 2;
    }

    ::unsetenv("DISPLAY");
    bench::XServer x;
    if (!x.start()) {
        std::fprintf(stderr, "firstmap: Xvfb did not start\n");
        return 1;
    }
    MapWatcher watcher(x.display());
    if (!watcher.ok()) {
        std::fprintf(stderr, "firstmap: cannot connect to %s\n", x.display().c_str());
        return 1;
    }
    QTemporaryDir installation;
    const QString installed = installation.filePath(u"RTCPIPCLIENT"_s);
    if (!installation.isValid() || !QFile::copy(QString::fromStdString(client), installed)) {
        std::fprintf(stderr, "firstmap: cannot install %s in a temporary folder\n", client.c_str());
        return 1;
    }
    const std::string program = QDir::toNativeSeparators(installed).toStdString();

    std::vector<Figures> figures[2];
    const std::string* executables[2] = {&bare, &program};
    for (int run = 0; run <= runs; ++run) {
        // Which goes first alternates, so that a neighbour's load or a warming cache favours
        // neither side.
        for (int k = 0; k < 2; ++k) {
            const int variant = (run + k) % 2;
            const std::optional<Figures> f = measure(watcher, x.display(), *executables[variant]);
            if (!f) {
                std::fprintf(stderr, "firstmap: %s showed no window\n", executables[variant]->c_str());
                return 1;
            }
            if (run > 0)
                figures[variant].push_back(*f);
        }
    }

    const auto row = [&](const char* name, const char* unit, double Figures::*field) {
        std::vector<double> values[2];
        for (int v = 0; v < 2; ++v)
            for (const Figures& f : figures[v])
                values[v].push_back(f.*field);
        const double b = median(values[0]);
        const double p = median(values[1]);
        std::printf("%-30s bare Qt window %7.1f %-3s  RTCPIPCLIENT %7.1f %-3s  ratio %.2f\n", name, b, unit,
                    p, unit, p / b);
    };
    std::printf("Xvfb %s, median of %d runs each, interleaved\n", x.display().c_str(), runs);
    row("exec to first map", "ms", &Figures::mapMs);
    row("resident 3 s after the map", "MiB", &Figures::residentMiB);
    row("CPU until 3 s after the map", "ms", &Figures::cpuMs);
    return 0;
}
