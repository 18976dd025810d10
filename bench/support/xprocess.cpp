#include "xprocess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <spawn.h>

extern char** environ;

namespace bench {

// A pidfd makes the exit an event to wait for; kernels before 5.3 lack it, and then the waits
// fall back to short sleeps.
int openPidfd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

std::vector<std::string> environmentWith(const std::vector<std::string>& replaced) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const bool overridden = std::any_of(replaced.begin(), replaced.end(), [&](const std::string& r) {
            return entry.compare(0, r.find('=') + 1, r, 0, r.find('=') + 1) == 0;
        });
        if (!overridden)
            env.push_back(entry);
    }
    env.insert(env.end(), replaced.begin(), replaced.end());
    return env;
}

namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point t) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms <= 0 ? 0 : static_cast<int>(ms);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

} // namespace

/// Starts a program with stdout and stderr into outputFile (or /dev/null), and optionally a pipe's
/// write end as its descriptor 3. Returns the pid, or -1.
pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, const std::string& outputFile,
            int fd3) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outputFile.empty() ? std::string("/dev/null") : outputFile;
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    pid_t pid = -1;
    const std::vector<char*> args = pointers(argv);
    const std::vector<char*> envp = pointers(env);
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

XServer::~XServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool XServer::start() {
    if (const char* d = std::getenv("DISPLAY"); d && *d) {
        m_display = d;
        return true;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // Above 3, so that the child's dup2 onto 3 is a real duplicate without close-on-exec.
    const int writeEnd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    ::close(fds[1]);
    m_pid = spawn({"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"},
                  environmentWith({}), {}, writeEnd);
    ::close(writeEnd);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (m_pid > 0 && Clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, msUntil(deadline)) <= 0)
            break;
        char buffer[16];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (number.find('\n') == std::string::npos)
        return false;
    m_display = ':' + number.substr(0, number.find('\n'));
    m_own = true;
    return true;
}

} // namespace bench
