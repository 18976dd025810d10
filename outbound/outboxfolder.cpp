#include "outbound/outboxfolder.h"

#include <QFile>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino), static_cast<qint64>(st.st_size),
            static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

QString errorText(int error) {
    return QString::fromLocal8Bit(::strerror(error));
}

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

} // namespace

OpenedFile::~OpenedFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_identity(other.m_identity) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_identity = other.m_identity;
    }
    return *this;
}

OpenedFile::Lease OpenedFile::lease() const {
    ignoreLeaseBreaks();
    int rc;
    do
        rc = ::fcntl(m_fd, F_SETLEASE, F_RDLCK);
    while (rc < 0 && errno == EINTR);
    if (rc == 0) {
        ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
        return Lease::Free;
    }
    return errno == EAGAIN || errno == EBUSY ? Lease::BeingWritten : Lease::Unavailable;
}

Result<QByteArray> OpenedFile::readAll(qint64 limit) const {
    // Read into one buffer of the size the file had when it was checked; a file that grows is
    // read on, up to the limit.
    QByteArray bytes(std::min(m_identity.size, limit), Qt::Uninitialized);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled >= limit + 1)
                return Failure{OutboxFolder::TooLarge, u"The file grew beyond %1 bytes."_s.arg(limit)};
            bytes.resize(std::min<qint64>(limit + 1, std::max<qint64>(filled * 2, 4096)));
        }
        const ssize_t n = ::read(m_fd, bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failure{OutboxFolder::Unreadable, u"Cannot read file. %1"_s.arg(errorText(errno))};
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > limit)
        return Failure{OutboxFolder::TooLarge, u"The file grew beyond %1 bytes."_s.arg(limit)};
    bytes.truncate(filled);
    return bytes;
}

OutboxFolder::OutboxFolder(const QString& path) {
    // The folder text itself may well be a link the operator chose; only its entries are not
    // followed.
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

OutboxFolder::~OutboxFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<FileIdentity> OutboxFolder::regularFile(const QString& name) const {
    struct stat st {};
    if (m_fd < 0 || ::fstatat(m_fd, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    return identityOf(st);
}

Result<OpenedFile> OutboxFolder::open(const QString& name, const FileIdentity& listed,
                                      qint64 sizeLimit) const {
    if (m_fd < 0)
        return Failure{Gone, u"The outbox folder cannot be opened."_s};
    // Non-blocking: opening a FIFO would otherwise wait for a writer, a device for its line.
    const int fd =
        ::openat(m_fd, QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return Failure{Gone, u"The file is gone."_s};
        if (error == ELOOP)
            return Failure{NotRegular, u"The entry is a symbolic link."_s};
        return Failure{Unreadable, u"Cannot open file. %1"_s.arg(errorText(error))};
    }
    struct CloseUnlessKept {
        int fd;
        ~CloseUnlessKept() {
            if (fd >= 0)
                ::close(fd);
        }
    } guard{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Failure{Unreadable, u"Cannot open file. %1"_s.arg(errorText(errno))};
    if (!S_ISREG(st.st_mode))
        return Failure{NotRegular, u"The entry is not a regular file."_s};
    const FileIdentity identity = identityOf(st);
    if (identity.device != listed.device || identity.inode != listed.inode)
        return Failure{Swapped, u"The entry was replaced after it was listed."_s};
    if (identity.size > sizeLimit)
        return Failure{TooLarge, u"The file is larger than %1 bytes."_s.arg(sizeLimit)};
    // Reads block from here on, as reading a regular file does anyway.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return OpenedFile(std::exchange(guard.fd, -1), identity);
}

OutboxFolder::Removal OutboxFolder::remove(const QString& name, const FileIdentity& sent) const {
    const QByteArray native = QFile::encodeName(name);
    struct stat st {};
    if (m_fd < 0 || ::fstatat(m_fd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Removal::Removed : Removal::Failed;
    if (!S_ISREG(st.st_mode) || identityOf(st) != sent)
        return Removal::Changed;
    if (!(st.st_mode & S_IWUSR))
        return Removal::Failed;
    if (::unlinkat(m_fd, native.constData(), 0) == 0 || errno == ENOENT)
        return Removal::Removed;
    return Removal::Failed;
}
