#include "outbound/outboxledger.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QUrl>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcOutbound, "outbound")

namespace {

// First line of the file; a file without it is not ours and is read as empty.
constexpr QByteArrayView kHeader = "RTCPIPCLIENT niet-verwijderd 1";

std::optional<FileIdentity> currentIdentity(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino),
                        static_cast<qint64>(st.st_size),
                        static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

} // namespace

OutboxLedger::OutboxLedger(QString file)
    : m_file(std::move(file)) {
    load();
}

void OutboxLedger::load() {
    m_entries.clear();
    if (m_file.isEmpty())
        return;
    QFile in(m_file);
    if (!in.open(QIODevice::ReadOnly))
        return;
    // A handful of lines; anything larger is not this file.
    const QList<QByteArray> lines = in.read(1 << 20).split('\n');
    if (lines.isEmpty() || lines.first() != kHeader)
        return;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split(' ');
        if (f.size() != 5)
            continue;
        bool ok[4] = {};
        const FileIdentity identity{f[0].toULongLong(&ok[0]), f[1].toULongLong(&ok[1]),
                                    f[2].toLongLong(&ok[2]), f[3].toLongLong(&ok[3])};
        if (ok[0] && ok[1] && ok[2] && ok[3])
            m_entries.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(f[4])), identity);
    }
}

bool OutboxLedger::holds(const QString& path, const FileIdentity& identity) const {
    const auto it = m_entries.constFind(path);
    return it != m_entries.cend() && *it == identity;
}

void OutboxLedger::add(const QString& path, const FileIdentity& identity) {
    if (holds(path, identity))
        return;
    m_entries.insert(path, identity);
    save();
}

void OutboxLedger::remove(const QString& path) {
    if (m_entries.remove(path))
        save();
}

void OutboxLedger::prune() {
    bool changed = false;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (currentIdentity(it.key()) != *it) {
            it = m_entries.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (changed)
        save();
}

void OutboxLedger::save() {
    if (m_file.isEmpty())
        return;
    QByteArray out(kHeader.data(), kHeader.size());
    out += '\n';
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        out += QByteArray::number(it->device) + ' ' + QByteArray::number(it->inode) + ' ' +
               QByteArray::number(it->size) + ' ' + QByteArray::number(it->mtimeNs) + ' ' +
               it.key().toUtf8().toPercentEncoding("/") + '\n';
    // Through a temporary name, synced, then renamed: a crash leaves the old ledger or the new.
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        qCWarning(lcOutbound) << "cannot write" << m_file << file.errorString();
}
