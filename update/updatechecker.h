#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "update/httpclient.h"
#include "update/packagesignature.h"
#include "update/updateinfo.h"
#include "update/updatetypes.h"

/// One update check: fetches the update-information file and the release notes it names, each
/// through a fresh temporary file, and keeps what it found together with the settings copied at
/// its start. The download of the announced package reads them from here.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    /// The most an update-information file and the release notes may hold.
    static constexpr qint64 kMaxInfoBytes = 64 * 1024;
    static constexpr qint64 kMaxNotesBytes = 1024 * 1024;

    /// section names the part of the update-information file that is read.
    explicit UpdateChecker(QString section, QObject* parent = nullptr);

    HttpClient& client() { return m_client; }
    const HttpClient& client() const { return m_client; }

    FileSizeUnit fileSizeUnit() const { return m_fileSizeUnit; }
    void setFileSizeUnit(FileSizeUnit unit) { m_fileSizeUnit = unit; }
    THashType hashType() const { return m_hashType; }
    void setHashType(THashType type) { m_hashType = type; }

    const UpdateInfo& info() const { return m_info; }
    /// The release notes' lines joined by LF, or the failure line ("Mislukt: " + status code + " "
    /// + reason) of the request that failed; empty when there is neither.
    const QString& readme() const { return m_readme; }
    /// The published digest that the hash type names; empty for None.
    QString publishedDigest() const;
    /// A size in the unit copied at the start of the check.
    QString FileSizeText(qint64 size) const;

    /// Fetches the update-information file when updateFileURL is not empty (a page it does not
    /// name becomes defaultPageURL, even when the request failed), then the release notes it
    /// names. False when a request failed. Throws AppError when no temporary file can be made.
    bool run(const QString& updateFileURL, const QString& defaultPageURL);

    /// The key packages must be signed with; without one no package is ever downloaded.
    void setSigningKey(std::optional<SigningKey> key) { m_key = std::move(key); }
    const std::optional<SigningKey>& signingKey() const { return m_key; }

    /// A package is announced and this program can check its signature.
    bool downloadable() const { return m_key && !m_info.DownloadFileURL.isEmpty(); }
    /// A package is announced, but this build takes no package: its updates come another way.
    bool updatesElsewhere() const { return !m_key && !m_info.DownloadFileURL.isEmpty(); }
    /// The last run was ended by a cancel or by a quit of the application.
    bool cancelled() const { return m_cancelled; }
    /// Ends a running check; it then counts as cancelled.
    void cancel();
    /// Whether the announced version sorts strictly after running.
    bool isNewerThan(const QString& running) const;

private:
    QString m_section;
    HttpClient m_client;
    FileSizeUnit m_fileSizeUnit = FileSizeUnit::Auto;
    THashType m_hashType = THashType::None;
    UpdateInfo m_info;
    QString m_readme;
    std::optional<SigningKey> m_key;
    bool m_cancelled = false;
};
