#pragma once

// What more than one benchmark that plays the desktop needs: starting programs without Qt in
// the way, and an X server to run them on. Standard library and POSIX only.

#include <string>
#include <vector>

#include <sys/types.h>

namespace bench {

/// pidfd_open(2): the exit of pid as an event to poll for; -1 on kernels before 5.3, where the
/// waits fall back to short sleeps.
int openPidfd(pid_t pid);

/// This process's environment with the entries named in replaced ("NAME=value") taking the place
/// of the ones of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& replaced);

/// Starts a program with stdout and stderr into outputFile (or /dev/null), and optionally a pipe's
/// write end as its descriptor 3. Returns the pid, or -1.
pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, const std::string& outputFile,
            int fd3 = -1);

/// $DISPLAY, or an Xvfb of our own on the display it picks itself (-displayfd), stopped at the end.
class XServer {
public:
    XServer() = default;
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();
    bool start();
    const std::string& display() const { return m_display; }
    bool own() const { return m_own; }

private:
    pid_t m_pid = -1;
    std::string m_display;
    bool m_own = false;
};

} // namespace bench
