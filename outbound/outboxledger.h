#pragma once

#include <QHash>
#include <QString>

#include "outbound/outboxfolder.h"

/// The outbox files that were sent but could not be deleted, by path with the identity they had
/// when they went. Such a file is not sent again while it is unchanged: without this record a
/// file in a folder the program may not delete from would go to the host on every pass. Kept in
/// a small file of the data folder so that a restart remembers it, written whole through a
/// temporary name; without a file it lives in memory only.
class OutboxLedger {
public:
    explicit OutboxLedger(QString file = {});

    /// Reads the file again; a missing or damaged file is an empty ledger.
    void load();
    const QString& file() const { return m_file; }

    /// True when path is recorded with exactly this identity.
    bool holds(const QString& path, const FileIdentity& identity) const;
    bool contains(const QString& path) const { return m_entries.contains(path); }
    void add(const QString& path, const FileIdentity& identity);
    void remove(const QString& path);
    /// Drops the entries whose file is gone or is another file now.
    void prune();
    qsizetype size() const { return m_entries.size(); }

private:
    void save();

    QString m_file;
    QHash<QString, FileIdentity> m_entries;
};
