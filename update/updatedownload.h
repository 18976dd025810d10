#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "update/httpclient.h"
#include "update/updatetypes.h"

class UpdateChecker;

/// The times shown while a package arrives, as texts.
struct DownloadTimes {
    QString speed;   ///< size per second + "/sec"; 0 before the first whole second
    QString elapsed; ///< "hh:mm:ss", wrapping at a day
    /// "hh:mm:ss" by the rate so far; nothing before the first byte (the shown text stays).
    std::optional<QString> remaining;
};

/// The times after elapsedMs with received of maximum bytes, sizes in unit.
DownloadTimes downloadTimes(qint64 elapsedMs, qint64 received, qint64 maximum, FileSizeUnit unit);

/// count of maximum as the transfer line shows it: "<count> of <maximum> (<percent>%)", the
/// percentage truncated. maximum must be above 0.
QString transferText(qint64 count, qint64 maximum, FileSizeUnit unit);

/// The download of an announced package into "TempDownloads" beside the executable: the target
/// file, the size query, the transfer with its progress, cancel, the digest check and the
/// decision between hand-over and discard. It shows nothing itself but the messages the flow
/// asks through the dialog seam; a dialog presents its signals.
class UpdateDownload : public QObject {
    Q_OBJECT
public:
    /// No package is taken above this size, whatever is announced.
    static constexpr qint32 kMaxPackageBytes = 1024 * 1024 * 1024;

    using Clock = std::function<QDateTime()>;

    /// executableFolder (with a trailing "/") holds "TempDownloads"; clock gives the moments of
    /// the times; tick is how often they are given during the transfer.
    UpdateDownload(QString executableFolder, Clock clock,
                   std::chrono::milliseconds tick = std::chrono::milliseconds(1000),
                   QObject* parent = nullptr);
    ~UpdateDownload() override;

    /// Downloads check's DownloadFileURL under a hidden name, verifies it against the digest
    /// that check's hash type names and against its signature (DownloadFileURL + ".minisig",
    /// check's key, the announced version), and gives the path of a package ready for the
    /// updater, renamed to its own name only then. Nothing when the size is unknown or above
    /// kMaxPackageBytes, the transfer failed, was cancelled, brought more or fewer bytes than
    /// announced, or did not verify; the file is deleted then. Throws AppError when the target
    /// file cannot be created.
    std::optional<QString> run(const UpdateChecker& check);

    /// The announced size from a HEAD request for the client's URL; 0 when unknown.
    qint32 RemoteFileSize();

    /// Ends the running transfer: it then fails and its file is deleted.
    void cancel();
    /// Gives the times for now (the timer calls it during the transfer).
    void tick();

    HttpClient& client() { return m_client; }
    QDateTime startTime() const { return m_startTime; }
    /// From the start of the transfer until run() returns.
    bool running() const { return m_running; }

signals:
    void fileNameChanged(const QString& name);
    void statusChanged(const QString& text);
    /// The announced size, 0 when unknown: the progress range.
    void maximumChanged(qint32 maximum);
    void transferChanged(const QString& text);
    void positionChanged(qint32 position);
    /// The GET is about to start; cancel is possible until transferEnded().
    void transferStarted();
    void transferEnded();
    void timesChanged(const DownloadTimes& times);

private:
    void onData();
    /// Fetches the package's signature and checks the file at path against it.
    Result<void> verifySignature(const UpdateChecker& check, const QString& path);
    QString sizeText(qint64 size) const;

    QString m_executableFolder;
    Clock m_clock;
    HttpClient m_client;
    QTimer m_timer;
    QDateTime m_startTime;
    FileSizeUnit m_unit = FileSizeUnit::Auto;
    qint32 m_maximum = 0;
    bool m_running = false;
    bool m_cancelled = false;
    HttpClient* m_signatureClient = nullptr;
    bool m_interrupted = false;
};
