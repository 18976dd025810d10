// The window's answer to the desktop while the dispatch host cannot be reached. The real program
// runs from a temporary installation on a real X server; this program plays the desktop: it sends
// the window _NET_WM_PING (how a desktop decides that a window is "not responding") every 20 ms,
// one at a time, and times each answer. An unanswered ping counts with the whole time it waited.
// At the end it sends SIGTERM and times the exit, then checks that the settings file was written
// and the incoming log flushed to RVxMMCLIENT/LOGS, as a close must do.
//
// The outage is a host that swallows SYNs: a loopback listener whose accept queue is full, so
// every connect hangs until the client gives up. The baseline, in the same run: the same
// scenario against a loopback listener that accepts and reads.
//   A  AutoConnect on: the reconnect check tries every 15 s.
//   B  AutoBestanden on with one file in the outbox: the outbox sender tries every second.
//
// Figures per run: pings sent; median, p99 and max answer time; "stalled", the share of the run
// spent waiting on pings answered after more than 100 ms; "longest", the longest row of such
// pings one after another, from the first one's send to the last one's answer.
//
// Usage: bench_outage [--seconds N] [--client PATH] [--exit-limit S]
//   (defaults: 60 s per run, the RTCPIPCLIENT of this build tree, 60 s for the exit)
// Uses $DISPLAY when set; otherwise it starts Xvfb on a free display and stops it at the end.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "syndropper.h"
#include "xprocess.h"

#include <xcb/xcb.h>

namespace {

namespace fs = std::filesystem;
using bench::environmentWith;
using bench::openPidfd;
using bench::spawn;
using bench::XServer;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr auto kPingEvery = std::chrono::milliseconds(20);
constexpr double kSlowMs = 100.0;
constexpr auto kWindowWait = std::chrono::seconds(30);

struct Options {
    int seconds = 60;
    int exitLimit = 60;
    std::string client = CLIENT_EXECUTABLE;
};

double millisSince(Clock::time_point from, Clock::time_point to = Clock::now()) {
    return Millis(to - from).count();
}

int msUntil(Clock::time_point t) {
    const double ms = millisSince(Clock::now(), t);
    return ms <= 0 ? 0 : static_cast<int>(ms) + 1;
}

std::string formatMs(double ms) {
    char text[32];
    if (ms >= 1000.0)
        std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
    else if (ms >= 10.0)
        std::snprintf(text, sizeof text, "%.1f ms", ms);
    else
        std::snprintf(text, sizeof text, "%.2f ms", ms);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Child processes

struct Exit {
    bool ended = false;
    double ms = 0;
    int status = 0;
};

/// Waits up to limit for pid to end; returns when it ended and how.
Exit waitForExit(pid_t pid, int pidfd, Clock::time_point since, std::chrono::seconds limit) {
    const auto deadline = since + limit;
    Exit result;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            result.ended = true;
            result.ms = millisSince(since);
            result.status = status;
            return result;
        }
        if (Clock::now() >= deadline)
            return result;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            std::ignore = ::poll(&p, 1, msUntil(deadline));
        } else {
            ::usleep(1000);
        }
    }
}

std::string describe(const Exit& e, int limitSeconds) {
    char text[64];
    if (!e.ended)
        std::snprintf(text, sizeof text, "still running after %d s", limitSeconds);
    else if (WIFEXITED(e.status))
        std::snprintf(text, sizeof text, "%s, exit %d", formatMs(e.ms).c_str(), WEXITSTATUS(e.status));
    else
        std::snprintf(text, sizeof text, "%s, signal %d", formatMs(e.ms).c_str(), WTERMSIG(e.status));
    return text;
}

// ---------------------------------------------------------------------------------------------
// The desktop's side of the ping

class Desktop {
public:
    explicit Desktop(const std::string& display) {
        m_c = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_wmProtocols = atom("WM_PROTOCOLS");
        m_ping = atom("_NET_WM_PING");
        m_pid = atom("_NET_WM_PID");
        // The window answers a ping by sending it back to the root with the mask StructureNotify |
        // SubstructureRedirect, so selecting either on the root receives the answer. Redirect
        // belongs to the window manager, if there is one; StructureNotify anyone may select.
        // SubstructureNotify wakes the search for the window when it is mapped.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~Desktop() { xcb_disconnect(m_c); }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool ok() const { return xcb_connection_has_error(m_c) == 0; }
    int fd() const { return xcb_get_file_descriptor(m_c); }

    /// The viewable top-level of process pid that takes part in the ping protocol, or 0. Under a
    /// reparenting window manager it sits below a frame, so the search goes a few levels deep.
    xcb_window_t findWindowOf(pid_t pid) { return search(m_root, pid, 0); }

    void ping(xcb_window_t window, uint32_t serial) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = m_wmProtocols;
        event.data.data32[0] = m_ping;
        event.data.data32[1] = serial;
        event.data.data32[2] = window;
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_c);
    }

    /// Takes every waiting event; calls answered(serial) for each ping answer from window.
    template <typename F>
    void drain(xcb_window_t window, F answered) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
                if (m->type == m_wmProtocols && m->format == 32 && m->data.data32[0] == m_ping &&
                    m->data.data32[2] == window)
                    answered(m->data.data32[1]);
            }
            std::free(e);
        }
    }

private:
    xcb_atom_t atom(const char* name) {
        const auto cookie = xcb_intern_atom(m_c, 0, static_cast<uint16_t>(std::strlen(name)), name);
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(m_c, cookie, nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    /// True when the 32-bit property holds value (only its first item when firstOnly).
    bool propertyHolds(xcb_window_t w, xcb_atom_t name, xcb_atom_t type, uint32_t value, bool firstOnly) {
        const auto cookie = xcb_get_property(m_c, 0, w, name, type, 0, 64);
        const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
            xcb_get_property_reply(m_c, cookie, nullptr), &std::free);
        if (!reply || reply->format != 32)
            return false;
        const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        const int count = firstOnly ? std::min(1, xcb_get_property_value_length(reply.get()) / 4)
                                    : xcb_get_property_value_length(reply.get()) / 4;
        for (int i = 0; i < count; ++i)
            if (values[i] == value)
                return true;
        return false;
    }

    bool isClientWindowOf(xcb_window_t w, pid_t pid) {
        const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr), &std::free);
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
               propertyHolds(w, m_pid, XCB_ATOM_CARDINAL, static_cast<uint32_t>(pid), true) &&
               propertyHolds(w, m_wmProtocols, XCB_ATOM_ATOM, m_ping, false);
    }

    xcb_window_t search(xcb_window_t parent, pid_t pid, int depth) {
        const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr), &std::free);
        if (!tree)
            return 0;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        for (int i = 0; i < count; ++i)
            if (isClientWindowOf(children[i], pid))
                return children[i];
        if (depth < 2)
            for (int i = 0; i < count; ++i)
                if (const xcb_window_t w = search(children[i], pid, depth + 1))
                    return w;
        return 0;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_wmProtocols = XCB_ATOM_NONE;
    xcb_atom_t m_ping = XCB_ATOM_NONE;
    xcb_atom_t m_pid = XCB_ATOM_NONE;
};

// ---------------------------------------------------------------------------------------------
// Hosts

/// A dispatch host that takes every connection and reads whatever arrives; no outage.
class AcceptingHost {
public:
    AcceptingHost() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        m_ready = m_listener >= 0 && ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::listen(m_listener, 16) == 0 &&
                  ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) == 0;
        m_port = ntohs(a.sin_port);
    }
    ~AcceptingHost() {
        for (const int fd : m_connections)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    AcceptingHost(const AcceptingHost&) = delete;
    AcceptingHost& operator=(const AcceptingHost&) = delete;

    bool ready() const { return m_ready; }
    uint16_t port() const { return m_port; }

    void addPollFds(std::vector<pollfd>& fds) const {
        fds.push_back({m_listener, POLLIN, 0});
        for (const int fd : m_connections)
            fds.push_back({fd, POLLIN, 0});
    }
    /// Accepts and reads without ever blocking.
    void serve() {
        while (true) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                break;
            m_connections.push_back(fd);
        }
        char buffer[4096];
        std::erase_if(m_connections, [&](int fd) {
            ssize_t n = 0;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
            }
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                ::close(fd);
                return true;
            }
            return false;
        });
    }

private:
    int m_listener = -1;
    std::vector<int> m_connections;
    bool m_ready = false;
    uint16_t m_port = 0;
};

// ---------------------------------------------------------------------------------------------
// One run

/// The installation folder of one run, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "bench-outage-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

enum class Scenario { AutoConnect, Outbox };

const char* scenarioName(Scenario s) {
    return s == Scenario::AutoConnect ? "A AutoConnect" : "B outbox file";
}

bool writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
    return static_cast<bool>(f.flush());
}

std::string readFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The prepared file leaves out enc64ontvangst_Checked: the close writes every option, so its
// presence afterwards shows that the settings were written.
constexpr const char* kMarkerElement = "<enc64ontvangst_Checked>";

std::string settingsFile(Scenario scenario, uint16_t port, const fs::path& outbox) {
    const auto flag = [](bool on) {
        return on ? "TRUE" : "FALSE";
    };
    const auto line = [](const std::string& name, const std::string& value) {
        return "    <" + name + '>' + value + "</" + name + ">\r\n";
    };
    return std::string(
               "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n") +
           line("FormVersion", "0") + line("edtHost_Text", "127.0.0.1") +
           line("edtPoort_Text", std::to_string(port)) + line("EOT_Checked", "FALSE") +
           line("SOH_Checked", "FALSE") + line("STX_Checked", "FALSE") + line("ToonHex_Checked", "FALSE") +
           line("enc64verzenden_Checked", "FALSE") +
           line("AutoConnect_Checked", flag(scenario == Scenario::AutoConnect)) +
           line("AutoBestanden_Checked", flag(scenario == Scenario::Outbox)) +
           line("AutoLocatie_Text", outbox.string()) + line("ACKDisconnect_Checked", "FALSE") +
           line("Logbewaren_Checked", "TRUE") + line("XMLBestandenBewaren_Checked", "TRUE") +
           "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

struct Run {
    std::string problem; ///< empty when the run went through
    std::vector<double> answers;
    double runMs = 0;
    double stalledMs = 0;
    double longestMs = 0;
    Exit exit;
    bool settingsWritten = false;
    bool logFlushed = false;
};

/// Times the answers to pings for the given span; every answer (or the wait of the last,
/// unanswered ping) goes into run.answers.
class PingTimer {
public:
    explicit PingTimer(Run& run)
        : m_run(run) {}

    bool due(Clock::time_point now) const { return !m_outstanding && now >= m_nextSend; }
    /// When the loop must be awake again to send, or end when only an answer is awaited.
    Clock::time_point wakeBy(Clock::time_point end) const {
        return m_outstanding ? end : std::min(end, m_nextSend);
    }
    uint32_t send(Clock::time_point now) {
        m_outstanding = true;
        m_sentAt = now;
        return ++m_serial;
    }
    void answered(uint32_t serial, Clock::time_point now) {
        if (!m_outstanding || serial != m_serial)
            return;
        m_outstanding = false;
        record(now);
        m_nextSend = std::max(now, m_sentAt + kPingEvery);
    }
    void finish(Clock::time_point now) {
        if (m_outstanding)
            record(now);
        m_outstanding = false;
    }

private:
    void record(Clock::time_point now) {
        const double ms = millisSince(m_sentAt, now);
        m_run.answers.push_back(ms);
        if (ms <= kSlowMs) {
            m_stretchStart.reset();
            return;
        }
        m_run.stalledMs += ms;
        if (!m_stretchStart)
            m_stretchStart = m_sentAt;
        m_run.longestMs = std::max(m_run.longestMs, millisSince(*m_stretchStart, now));
    }

    Run& m_run;
    bool m_outstanding = false;
    uint32_t m_serial = 0;
    Clock::time_point m_sentAt;
    Clock::time_point m_nextSend;
    std::optional<Clock::time_point> m_stretchStart;
};

Run runClient(const Options& options, const XServer& x, Scenario scenario, bool outage) {
    Run run;
    SynDropper dropper;
    AcceptingHost accepting;
    if (outage ? !dropper.ready() : !accepting.ready()) {
        run.problem = "no loopback host";
        return run;
    }
    const uint16_t port = outage ? dropper.port() : accepting.port();

    const TemporaryFolder folder;
    if (folder.path().empty()) {
        run.problem = "no temporary folder";
        return run;
    }
    const fs::path& install = folder.path();
    const fs::path exe = install / "RTCPIPCLIENT";
    const fs::path settings = install / "RTCPIPCLIENT.xml";
    const fs::path outbox = install / "outbox";
    std::error_code error;
    fs::copy_file(options.client, exe, error);
    if (!error)
        fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add, error);
    fs::create_directory(outbox, error);
    if (error || !writeFile(settings, settingsFile(scenario, port, outbox)) ||
        (scenario == Scenario::Outbox && !writeFile(outbox / "rit.xml", "<rit nummer=\"1\"/>\r\n"))) {
        run.problem = "cannot prepare the installation from " + options.client;
        return run;
    }
    const auto preparedAt = fs::last_write_time(settings, error);

    Desktop desktop(x.display());
    if (!desktop.ok()) {
        run.problem = "cannot open display " + x.display();
        return run;
    }
    const pid_t pid = spawn(
        {exe.string()}, environmentWith({"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=xcb", "LANG=C.UTF-8"}),
        (install / "client.log").string());
    if (pid <= 0) {
        run.problem = "cannot start " + exe.string();
        return run;
    }
    const int pidfd = openPidfd(pid);
    const auto stop = [&] {
        if (::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (pidfd >= 0)
            ::close(pidfd);
    };

    // The window, once it is on the screen.
    xcb_window_t window = 0;
    const auto windowDeadline = Clock::now() + kWindowWait;
    while (!window && Clock::now() < windowDeadline) {
        pollfd p{desktop.fd(), POLLIN, 0};
        std::ignore = ::poll(&p, 1, 100);
        desktop.drain(0, [](uint32_t) {});
        window = desktop.findWindowOf(pid);
    }
    if (!window) {
        run.problem = "no window within 30 s; see the client's output:\n" + readFile(install / "client.log");
        stop();
        return run;
    }

    PingTimer pings(run);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(options.seconds);
    std::vector<pollfd> fds;
    for (auto now = start; now < end; now = Clock::now()) {
        if (pings.due(now))
            desktop.ping(window, pings.send(now));
        fds.clear();
        fds.push_back({desktop.fd(), POLLIN, 0});
        if (pidfd >= 0)
            fds.push_back({pidfd, POLLIN, 0});
        if (!outage)
            accepting.addPollFds(fds);
        std::ignore = ::poll(fds.data(), fds.size(), std::min(msUntil(pings.wakeBy(end)), 50));
        desktop.drain(window, [&](uint32_t serial) { pings.answered(serial, Clock::now()); });
        if (!outage)
            accepting.serve();
        if (!desktop.ok()) {
            run.problem = "lost the display";
            break;
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            run.problem = "the client ended by itself";
            break;
        }
    }
    pings.finish(Clock::now());
    run.runMs = millisSince(start);
    if (!run.problem.empty()) {
        stop();
        return run;
    }

    const auto terminated = Clock::now();
    ::kill(pid, SIGTERM);
    run.exit = waitForExit(pid, pidfd, terminated, std::chrono::seconds(options.exitLimit));
    stop();
    const std::string written = readFile(settings);
    run.settingsWritten = written.find(kMarkerElement) != std::string::npos &&
                          fs::last_write_time(settings, error) != preparedAt;
    for (const auto& entry : fs::directory_iterator(install / "RVxMMCLIENT" / "LOGS", error))
        if (entry.path().filename().string().starts_with("MM_IN_"))
            run.logFlushed = true;
    return run;
}

// ---------------------------------------------------------------------------------------------
// Report

struct Figures {
    size_t pings = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Figures figuresOf(std::vector<double> answers) {
    Figures f;
    f.pings = answers.size();
    if (answers.empty())
        return f;
    std::sort(answers.begin(), answers.end());
    const size_t n = answers.size();
    f.median = n % 2 ? answers[n / 2] : (answers[n / 2 - 1] + answers[n / 2]) / 2;
    f.p99 = answers[std::min(n - 1, static_cast<size_t>(0.99 * static_cast<double>(n) + 0.999999) - 1)];
    f.max = answers.back();
    return f;
}

void printRun(Scenario scenario, bool outage, const Run& run, int exitLimit) {
    const char* host = outage ? "drops SYNs" : "accepts";
    if (!run.problem.empty()) {
        std::printf("%-14s %-11s  failed: %s\n", scenarioName(scenario), host, run.problem.c_str());
        return;
    }
    const Figures f = figuresOf(run.answers);
    std::printf("%-14s %-11s %6zu %10s %10s %10s %8.1f %% %10s   %-24s %-9s %s\n", scenarioName(scenario),
                host, f.pings, formatMs(f.median).c_str(), formatMs(f.p99).c_str(), formatMs(f.max).c_str(),
                100.0 * run.stalledMs / run.runMs, formatMs(run.longestMs).c_str(),
                describe(run.exit, exitLimit).c_str(), run.settingsWritten ? "written" : "NOT written",
                run.logFlushed ? "flushed" : "NOT flushed");
}

void printRatio(Scenario scenario, const Run& baseline, const Run& outage) {
    if (!baseline.problem.empty() || !outage.problem.empty() || baseline.answers.empty())
        return;
    const Figures b = figuresOf(baseline.answers);
    const Figures o = figuresOf(outage.answers);
    const auto ratio = [](double x, double y) {
        char text[32];
        const double r = y > 0 ? x / y : 0.0;
        std::snprintf(text, sizeof text, r < 10 ? "x%.1f" : "x%.0f", r);
        return std::string(text);
    };
    std::string exitRatio = "-";
    if (baseline.exit.ended && outage.exit.ended)
        exitRatio = ratio(outage.exit.ms, baseline.exit.ms);
    std::printf("%-14s %-11s %6s %10s %10s %10s %10s %10s   %s\n", scenarioName(scenario), "ratio", "",
                ratio(o.median, b.median).c_str(), ratio(o.p99, b.p99).c_str(), ratio(o.max, b.max).c_str(),
                "", "", exitRatio.c_str());
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        if (arg == "--seconds")
            options.seconds = std::atoi(argv[++i]);
        else if (arg == "--client")
            options.client = argv[++i];
        else if (arg == "--exit-limit")
            options.exitLimit = std::atoi(argv[++i]);
        else
            return false;
    }
    return options.seconds > 0 && options.exitLimit > 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--seconds N] [--client PATH] [--exit-limit S]\n", argv[0]);
        return 2;
    }
    XServer x;
    if (!x.start()) {
        std::fprintf(stderr, "outage: no X server: $DISPLAY is not set and Xvfb did not start\n");
        return 1;
    }
    std::printf("client %s\ndisplay %s (%s), %d s per run, a ping every %lld ms, one at a time\n\n",
                options.client.c_str(), x.display().c_str(), x.own() ? "Xvfb started here" : "$DISPLAY",
                options.seconds, static_cast<long long>(kPingEvery.count()));
    std::printf("%-14s %-11s %6s %10s %10s %10s %10s %10s   %-24s %-9s %s\n", "scenario", "host", "pings",
                "median", "p99", "max", "stalled", "longest", "SIGTERM to exit", "settings", "incoming log");
    std::fflush(stdout);
    for (const Scenario scenario : {Scenario::AutoConnect, Scenario::Outbox}) {
        const Run baseline = runClient(options, x, scenario, false);
        printRun(scenario, false, baseline, options.exitLimit);
        std::fflush(stdout);
        const Run outage = runClient(options, x, scenario, true);
        printRun(scenario, true, outage, options.exitLimit);
        printRatio(scenario, baseline, outage);
        std::fflush(stdout);
    }
    return 0;
}
