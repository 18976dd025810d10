#pragma once

#include <QDateTime>
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class UpdateDownload;
class HttpClient;
struct DownloadTimes;

/// The download dialog: file, speed, status, elapsed and remaining time, bytes transferred and a
/// progress bar, with "AFBREKEN" to cancel. It presents a download that runs elsewhere and shows
/// itself when the transfer starts.
class UpdateDownloadBox : public QDialog {
    Q_OBJECT
public:
    /// download (not owned) outlives the box.
    explicit UpdateDownloadBox(UpdateDownload& download, QWidget* parent = nullptr);
    ~UpdateDownloadBox() override;

    void Timer1Timer();
    void CancelButtonClick();

    /// Escape and the close box: while the transfer runs they are "AFBREKEN", and the box stays
    /// until the flow discards it; the transfer never goes on behind a vanished box.
    void reject() override;

    HttpClient& HttpCli1();
    QDateTime startTime() const;

private:
    void showTransferStart();
    void showTimes(const DownloadTimes& times);

    UpdateDownload& m_download;
    QLabel* m_FileLabel = nullptr;
    QLabel* m_SpeedLabel = nullptr;
    QLabel* m_StatusLabel = nullptr;
    QLabel* m_ElapsedTimeLabel = nullptr;
    QLabel* m_RemainingTimeLabel = nullptr;
    QLabel* m_TransferLabel = nullptr;
    QProgressBar* m_ProgressBar1 = nullptr;
    QPushButton* m_CancelButton = nullptr;
};
