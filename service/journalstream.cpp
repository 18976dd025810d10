#include "service/journalstream.h"

#include <QByteArrayList>
#include <QtGlobal>

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

namespace journal {

bool connectedTo(std::FILE* stream) {
    const QByteArray named = qgetenv("JOURNAL_STREAM");
    const QByteArrayList parts = named.split(':');
    if (parts.size() != 2)
        return false;
    struct stat status {};
    if (::fstat(::fileno(stream), &status) < 0)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = parts[0].toULongLong(&deviceOk);
    const qulonglong inode = parts[1].toULongLong(&inodeOk);
    return deviceOk && inodeOk && device == status.st_dev && inode == status.st_ino;
}

QByteArray prefixed(Priority priority, const QByteArray& line, bool toJournal) {
    if (!toJournal)
        return line;
    switch (priority) {
    case Priority::Err:
        return SD_ERR + line;
    case Priority::Warning:
        return SD_WARNING + line;
    case Priority::Notice:
        return SD_NOTICE + line;
    case Priority::Info:
        break;
    }
    return SD_INFO + line;
}

void writeLine(std::FILE* stream, Priority priority, const QByteArray& line) {
    const QByteArray bytes = prefixed(priority, line, connectedTo(stream)) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace journal
