#pragma once

#include <QDateTime>
#include <QFont>
#include <QObject>
#include <chrono>
#include <functional>
#include <optional>

#include "update/packagesignature.h"
#include "update/updatetypes.h"

class UpdateChecker;
class UpdateNotifyBox;
class UpdateSearchBox;

/// The update checker component: runs a check with its settings and, when the announced version
/// is newer, shows the new-version dialog, from which a package can be downloaded and handed to
/// the updater beside the executable. It owns the flow: both dialogs only present the check and
/// the download it creates for them.
class AppUpdate : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    using ShowModal = std::function<void(UpdateNotifyBox&)>;

    /// The address this program asks by default, and the vendor's page.
    static QString defaultUpdateFileURL();
    static QString defaultUpdatePageURL();
    /// "RovenkaUpdater" in executableFolder, with the platform's executable suffix.
    static QString updaterPath(const QString& executableFolder);

    /// executableFolder (with a trailing "/") holds "TempDownloads" and the updater; section
    /// names the part of the update-information file that is read.
    AppUpdate(QString executableFolder, QString section, Clock clock = &QDateTime::currentDateTime,
              QObject* parent = nullptr);
    ~AppUpdate() override;

    FileSizeUnit fileSizeUnit() const { return m_FileSizeUnit; }
    void setFileSizeUnit(FileSizeUnit unit) { m_FileSizeUnit = unit; }
    const QFont& font() const { return m_Font; }
    void setFont(const QFont& font) { m_Font = font; }
    const QFont& fontReadme() const { return m_FontReadme; }
    void setFontReadme(const QFont& font) { m_FontReadme = font; }
    THashType hashType() const { return m_HashType; }
    void setHashType(THashType type) { m_HashType = type; }
    QString proxyAddress() const { return m_ProxyAddress; }
    void setProxyAddress(const QString& host) { m_ProxyAddress = host; }
    QString proxyPort() const { return m_ProxyPort; }
    void setProxyPort(const QString& port) { m_ProxyPort = port; }
    QString updateFileURL() const { return m_UpdateFileURL; }
    void setUpdateFileURL(const QString& url) { m_UpdateFileURL = url; }
    QString updatePageURL() const { return m_UpdatePageURL; }
    void setUpdatePageURL(const QString& url) { m_UpdatePageURL = url; }
    QString version() const { return m_Version; }
    void setVersion(const QString& version) { m_Version = version; }
    QString sectionName() const { return m_section; }

    /// The helper that makes the requests; by default the one updatesources::fetchProgram finds.
    QString fetchProgram() const { return m_fetchProgram; }
    void setFetchProgram(const QString& path) { m_fetchProgram = path; }
    /// The key packages must be signed with; by default the one built in. None: no download.
    const std::optional<SigningKey>& signingKey() const { return m_signingKey; }
    void setSigningKey(std::optional<SigningKey> key) { m_signingKey = std::move(key); }
    /// The requests' limits: to a sent request, and without a byte after it.
    void setLimits(std::chrono::milliseconds connectLimit, std::chrono::milliseconds stallLimit) {
        m_connectLimit = connectLimit;
        m_stallLimit = stallLimit;
    }

    /// How the new-version dialog is shown; by default modally. Tests look at it instead.
    void setShowModal(ShowModal show) { m_showModal = std::move(show); }

    /// One check. True when a newer version was announced and its dialog was shown and closed.
    /// Silent keeps "no newer version" to itself. Refused (false) while a check runs.
    bool CheckForUpdate(bool Silent);
    bool checking() const { return m_checking; }

signals:
    /// The notify box of a starting check exists; it is discarded before the check returns.
    void notifyBoxCreated(UpdateNotifyBox* box);
    /// An interactive check asks the server; the box is discarded when the requests are over.
    void searchBoxCreated(UpdateSearchBox* box);
    /// The updater is being started: the program must end without its close query.
    void applicationEndRequested();

private:
    std::optional<QString> download(UpdateNotifyBox& notify, const UpdateChecker& check);
    void handOver(const QString& path);

    QString m_executableFolder;
    QString m_section;
    Clock m_clock;
    ShowModal m_showModal;
    bool m_checking = false;
    QString m_fetchProgram;
    std::optional<SigningKey> m_signingKey;
    std::chrono::milliseconds m_connectLimit;
    std::chrono::milliseconds m_stallLimit;

    FileSizeUnit m_FileSizeUnit = FileSizeUnit::Auto;
    QFont m_Font;
    QFont m_FontReadme;
    THashType m_HashType = THashType::None;
    QString m_ProxyAddress;
    QString m_ProxyPort = QStringLiteral("80");
    QString m_UpdateFileURL;
    QString m_UpdatePageURL;
    QString m_Version;
};
