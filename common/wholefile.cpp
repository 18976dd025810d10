#include "common/wholefile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

using namespace Qt::Literals::StringLiterals;

namespace wholefile {

namespace {

constexpr QStringView kPrefix = u".rtcp-";
constexpr QStringView kSuffix = u".part";
constexpr int kRandomLength = 6;

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString withSeparator(const QString& folder) {
    return folder.endsWith(u'/') || folder.endsWith(u'\\') ? folder : QString(folder + u'/');
}

// Closes a descriptor on every way out.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f)
        : fd(f) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

int retried(const std::function<int()>& call) {
    int r;
    do
        r = call();
    while (r < 0 && errno == EINTR);
    return r;
}

bool writeAll(int fd, QByteArrayView bytes) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while name in dir is still the file open as fd: a cleaner may have taken the name away
// between its creation and our lock.
bool stillNamed(int dir, const QByteArray& name, int fd) {
    struct stat named {};
    struct stat opened {};
    return ::fstatat(dir, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &opened) == 0 &&
           sameFile(named, opened);
}

QString randomTemporaryName() {
    static constexpr char16_t kAlphabet[] = u"abcdefghijklmnopqrstuvwxyz0123456789";
    QString name = kPrefix.toString();
    for (int i = 0; i < kRandomLength; ++i)
        name += QChar(kAlphabet[QRandomGenerator::global()->bounded(36)]);
    return name + kSuffix;
}

// Gives the temporary file its final name without replacing anything: EEXIST for a taken name,
// whatever it is (a dangling symbolic link too). renameat2 does it in one step; a file system
// without it gets a hard link and the temporary name removed.
int linkFinal(int dir, const QByteArray& temporary, const QByteArray& final) {
    if (retried([&] {
            return ::renameat2(dir, temporary.constData(), dir, final.constData(), RENAME_NOREPLACE);
        }) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (retried([&] { return ::linkat(dir, temporary.constData(), dir, final.constData(), 0); }) != 0)
        return errno;
    std::ignore = ::unlinkat(dir, temporary.constData(), 0);
    return 0;
}

} // namespace

bool syncFolder(const QString& folder) {
    const Descriptor dir(retried(
        [&] { return ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    return dir.fd >= 0 && retried([&] { return ::fsync(dir.fd); }) == 0;
}

bool isTemporaryName(QStringView fileName) {
    if (fileName.size() != kPrefix.size() + kRandomLength + kSuffix.size() || !fileName.startsWith(kPrefix) ||
        !fileName.endsWith(kSuffix))
        return false;
    for (const QChar c : fileName.sliced(kPrefix.size(), kRandomLength)) {
        if (!(c >= u'a' && c <= u'z') && !(c >= u'0' && c <= u'9'))
            return false;
    }
    return true;
}

Result<QString> create(const QString& folder, const Names& names, QByteArrayView bytes, int maxNames) {
    const QString base = withSeparator(folder);
    const QString firstPath = QDir::toNativeSeparators(base + names(1));
    const auto notCreated = [&](int error) {
        return Failure{NotCreated, u"Cannot create file \"%1\". %2"_s.arg(firstPath, errorText(error))};
    };
    const auto notWritten = [&](int error) {
        return Failure{NotWritten, u"Cannot write file \"%1\". %2"_s.arg(firstPath, errorText(error))};
    };

    const Descriptor dir(retried(
        [&] { return ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (dir.fd < 0)
        return notCreated(errno);

    // A fresh temporary name, created exclusively and locked: the lock tells a cleaner at start-up
    // that a live writer is busy with it.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = QFile::encodeName(randomTemporaryName());
        fd = retried([&] {
            return ::openat(dir.fd, temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        });
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            return notCreated(errno);
        if (fd >= 0 &&
            (retried([&] { return ::flock(fd, LOCK_EX); }) != 0 || !stillNamed(dir.fd, temporary, fd))) {
            ::close(fd);
            fd = -1;
        }
    }
    const Descriptor file(fd);
    const auto dropTemporary = [&] {
        std::ignore = ::unlinkat(dir.fd, temporary.constData(), 0);
    };

    if (!writeAll(file.fd, bytes) || retried([&] { return ::fsync(file.fd); }) != 0) {
        const int error = errno;
        dropTemporary();
        return notWritten(error);
    }
    for (int n = 1; n <= maxNames; ++n) {
        const QString name = names(n);
        if (name.isEmpty())
            break;
        const int error = linkFinal(dir.fd, temporary, QFile::encodeName(name));
        if (error == EEXIST)
            continue;
        if (error != 0) {
            dropTemporary();
            return notCreated(error);
        }
        // The new name must survive a power cut too. A folder that cannot be synced costs only
        // that: the file is whole under its name already, and a reader may have taken it.
        std::ignore = retried([&] { return ::fsync(dir.fd); });
        return QString(base + name);
    }
    dropTemporary();
    return Failure{NoFreeName, u"Cannot create file \"%1\". No free name."_s.arg(firstPath)};
}

int removeLeftovers(const QString& folder) {
    const Descriptor dir(
        ::open(QFile::encodeName(withSeparator(folder)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        return 0;
    const int listFd = ::dup(dir.fd);
    if (listFd < 0)
        return 0;
    DIR* listing = ::fdopendir(listFd);
    if (!listing) {
        ::close(listFd);
        return 0;
    }
    QList<QByteArray> candidates;
    while (const dirent* entry = ::readdir(listing)) {
        if (isTemporaryName(QFile::decodeName(entry->d_name)))
            candidates << QByteArray(entry->d_name);
    }
    ::closedir(listing);

    int removed = 0;
    for (const QByteArray& name : candidates) {
        // Never following a link, never blocking on a FIFO: only a regular file of ours goes.
        const Descriptor file(
            ::openat(dir.fd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0)
            continue; // a live writer holds it
        if (stillNamed(dir.fd, name, file.fd) && ::unlinkat(dir.fd, name.constData(), 0) == 0)
            ++removed;
    }
    return removed;
}

} // namespace wholefile
