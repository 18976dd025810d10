#include "common/writerprobe.h"

#include <QFile>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace writerprobe {

#if defined(Q_OS_LINUX)

// A writer that opens the file while we hold the lease makes the kernel signal us with SIGIO,
// whose default action ends the process. We hold the lease for microseconds and need no notice.
void ignoreLeaseBreaks() {
    static const bool done = [] {
        struct sigaction current = {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGIO, SIG_IGN);
        return true;
    }();
    (void)done;
}

State probe(const QString& path) {
    ignoreLeaseBreaks();
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return State::Unknown;
    State state = State::Unknown;
    int rc;
    do {
        rc = ::fcntl(fd, F_SETLEASE, F_RDLCK);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        state = State::Free;
    } else if (errno == EAGAIN || errno == EBUSY) {
        state = State::BeingWritten;
    }
    ::close(fd);
    return state;
}

#elif defined(Q_OS_WIN)

State probe(const QString& path) {
    // Sharing only reading fails while another handle has write access.
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ,
                                 FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? State::BeingWritten : State::Unknown;
    CloseHandle(h);
    return State::Free;
}

#else

State probe(const QString&) {
    return State::Unknown;
}

#endif

} // namespace writerprobe
