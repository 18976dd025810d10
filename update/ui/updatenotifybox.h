#pragma once

#include <QDateTime>
#include <QDialog>
#include <functional>

#include "update/httpclient.h"
#include "update/updateinfo.h"
#include "update/updatetypes.h"

class QPlainTextEdit;
class QPushButton;
class UpdateDownloadBox;

/// The new-version dialog: release notes and the buttons to download, open the web page or
/// close. It carries what the update-information file announced, and runs the download.
class UpdateNotifyBox : public QDialog {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    /// executableFolder (with a trailing "/") holds "TempDownloads"; clock times the download.
    UpdateNotifyBox(QString executableFolder, Clock clock, QWidget* parent = nullptr);
    ~UpdateNotifyBox() override;

    const UpdateInfo& info() const { return m_info; }
    void setInfo(const UpdateInfo& info) { m_info = info; }
    void setUpdatePageURL(const QString& url) { m_info.UpdatePageURL = url; }

    FileSizeUnit fileSizeUnit() const { return m_fileSizeUnit; }
    void setFileSizeUnit(FileSizeUnit unit) { m_fileSizeUnit = unit; }
    THashType hashType() const { return m_hashType; }
    void setHashType(THashType type) { m_hashType = type; }

    HttpClient& HttpCli1() { return m_client; }
    QPlainTextEdit* ReadmeMemo() const { return m_ReadmeMemo; }
    QPushButton* DownloadButton() const { return m_DownloadButton; }

    QString FileSizeText(qint64 size) const;
    bool downloading() const { return m_downloading; }

    /// Downloads, verifies and hands over the package; returns when that is done or discarded.
    /// A second press while a download runs is refused.
    void DownloadButtonClick();
    void OpenWebPageButtonClick();

    /// Refused while a download runs: the dialog closes when the download flow returns.
    void done(int result) override;

signals:
    /// The download box of a starting download exists (it is discarded when the flow returns).
    void downloadBoxCreated(UpdateDownloadBox* box);
    /// A verified package is ready: the program must end and the updater start with path.
    void handOverRequested(const QString& path);

private:
    QString m_executableFolder;
    Clock m_clock;
    UpdateInfo m_info;
    FileSizeUnit m_fileSizeUnit = FileSizeUnit::Auto;
    THashType m_hashType = THashType::None;
    HttpClient m_client;
    bool m_downloading = false;
    QPlainTextEdit* m_ReadmeMemo = nullptr;
    QPushButton* m_DownloadButton = nullptr;
    QPushButton* m_OpenWebPageButton = nullptr;
    QPushButton* m_OKButton = nullptr;
};
