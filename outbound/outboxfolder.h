#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "common/result.h"

/// What tells one file from another in the outbox: the same name may be a new file later.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0; ///< last modification, nanoseconds since the epoch

    bool operator==(const FileIdentity&) const = default;
};

/// One outbox file opened for sending: the descriptor that was checked is the one read.
class OpenedFile {
public:
    enum class Lease {
        Free,         ///< nobody has it open for writing
        BeingWritten, ///< some process still has it open for writing
        Unavailable,  ///< no lease to be had (another owner, a network file system): cannot tell
    };

    OpenedFile() = default;
    OpenedFile(int fd, FileIdentity identity)
        : m_fd(fd)
        , m_identity(identity) {}
    ~OpenedFile();
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    const FileIdentity& identity() const { return m_identity; }
    /// Asks the kernel for a read lease, which it grants only while no process writes the file.
    Lease lease() const;
    /// The whole file; fails when it cannot be read or grows beyond limit bytes meanwhile.
    Result<QByteArray> readAll(qint64 limit) const;

private:
    int m_fd = -1;
    FileIdentity m_identity;
};

/// The outbox folder held open for one pass, so that every name is looked up in the folder that
/// was listed and an entry is never followed through a link. Opening a file does not block
/// (a FIFO or a device swapped in is opened without waiting and refused), and the descriptor is
/// checked to be the regular file that was listed.
class OutboxFolder {
public:
    enum Refusal {
        Gone = 1,   ///< no such entry any more
        NotRegular, ///< a link, FIFO, device, folder or socket
        Swapped,    ///< another file than the one listed
        TooLarge,   ///< above the size limit; it stays in place
        Unreadable,
    };

    explicit OutboxFolder(const QString& path);
    ~OutboxFolder();
    OutboxFolder(const OutboxFolder&) = delete;
    OutboxFolder& operator=(const OutboxFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    /// The entry itself, never what a link points at; none for anything but a regular file.
    std::optional<FileIdentity> regularFile(const QString& name) const;
    /// Opens name for reading when it is still the regular file listed and at most sizeLimit
    /// bytes long; fails with a Refusal code otherwise.
    Result<OpenedFile> open(const QString& name, const FileIdentity& listed, qint64 sizeLimit) const;

    enum class Removal { Removed, Changed, Failed };
    /// Deletes name when it is still the file sent. A read-only file stays, as it always has
    /// where this program comes from; a file changed since it was read is a new one and stays.
    Removal remove(const QString& name, const FileIdentity& sent) const;

private:
    int m_fd = -1;
};
