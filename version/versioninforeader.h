#pragma once

#include <QString>
#include <QStringList>

/// Reads the version record embedded in an executable file and lists it as "name=value" lines.
/// The program points it at its own file, so an updated executable reports its own version.
class VersionInfoReader {
public:
    enum Error {
        NoError = 0,
        NoVersionRecord = 1, ///< the file has no record (or cannot be opened)
        RecordTooLarge = 2,  ///< 65527 bytes or more
        ReadFailed = 3,      ///< a record was found but is damaged
    };

    QString FileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }

    /// Empties Infos and the flags, then fills them from FileName. Never throws.
    void Read();

    const QStringList& Infos() const { return m_infos; }
    int LastError() const { return m_lastError; }

    /// The value of the first line whose name matches, ignoring case; empty when none does.
    QString value(const QString& name) const;

    bool debug() const { return m_debug; }
    bool patched() const { return m_patched; }
    bool preRelease() const { return m_preRelease; }
    bool privateBuild() const { return m_privateBuild; }
    bool specialBuild() const { return m_specialBuild; }

private:
    QString m_fileName;
    QStringList m_infos;
    int m_lastError = NoError;
    bool m_debug = false;
    bool m_patched = false;
    bool m_preRelease = false;
    bool m_privateBuild = false;
    bool m_specialBuild = false;
};
