#pragma once

#include <QDateTime>
#include <QDialog>
#include <chrono>
#include <functional>
#include <optional>

#include "update/httpclient.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class UpdateNotifyBox;

/// The download dialog: file, speed, status, elapsed and remaining time, bytes transferred and a
/// progress bar, with "AFBREKEN" to cancel. run() is the whole download flow.
class UpdateDownloadBox : public QDialog {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    /// executableFolder (with a trailing "/") holds "TempDownloads"; clock gives the moments of
    /// the speed and time labels; tick is the interval of Timer1.
    UpdateDownloadBox(QString executableFolder, Clock clock,
                      std::chrono::milliseconds tick = std::chrono::milliseconds(1000),
                      QWidget* parent = nullptr);
    ~UpdateDownloadBox() override;

    /// Downloads notify's DownloadFileURL into "TempDownloads", verifies it against the digest
    /// that notify's hash type names, and gives the path of a package ready for the updater.
    /// Nothing when the size is unknown, the transfer failed, was cancelled or did not verify;
    /// the file is deleted then. Throws AppError when the target file cannot be created.
    std::optional<QString> run(UpdateNotifyBox& notify);

    /// The announced size from a HEAD request; 0 when unknown.
    qint32 RemoteFileSize();

    void HttpCli1DocData();
    void Timer1Timer();
    void CancelButtonClick();

    /// Escape and the close box: while the transfer runs they are "AFBREKEN", and the box stays
    /// until the flow discards it; the transfer never goes on behind a vanished box.
    void reject() override;

    HttpClient& HttpCli1() { return m_client; }
    QDateTime startTime() const { return m_StartTime; }

private:
    void FormCreate();
    QString sizeText(qint64 size) const;
    QString duration(qint64 seconds) const;
    void showTransfer(qint64 count);

    QString m_executableFolder;
    Clock m_clock;
    HttpClient m_client;
    UpdateNotifyBox* m_notify = nullptr;
    QTimer* m_Timer1 = nullptr;
    QDateTime m_StartTime;
    bool m_running = false;
    QString m_durationFormat;
    QLabel* m_FileLabel = nullptr;
    QLabel* m_SpeedLabel = nullptr;
    QLabel* m_StatusLabel = nullptr;
    QLabel* m_ElapsedTimeLabel = nullptr;
    QLabel* m_RemainingTimeLabel = nullptr;
    QLabel* m_TransferLabel = nullptr;
    QProgressBar* m_ProgressBar1 = nullptr;
    QPushButton* m_CancelButton = nullptr;
};
