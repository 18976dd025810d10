#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class HttpClient;
class QPlainTextEdit;
class QPushButton;
class UpdateChecker;
class UpdateDownloadBox;
struct UpdateInfo;

/// The new-version dialog: release notes and the buttons to download, open the web page or
/// close. It presents what a check found; the download it starts runs through the flow it is
/// given.
class UpdateNotifyBox : public QDialog {
    Q_OBJECT
public:
    /// The download of the announced package; the path of a package ready for the updater, or
    /// nothing when it was discarded.
    using DownloadFlow = std::function<std::optional<QString>(UpdateNotifyBox&)>;

    /// check (not owned) outlives the box.
    explicit UpdateNotifyBox(UpdateChecker& check, QWidget* parent = nullptr);
    ~UpdateNotifyBox() override;

    const UpdateInfo& info() const;
    HttpClient& HttpCli1();
    QPlainTextEdit* ReadmeMemo() const { return m_ReadmeMemo; }
    QPushButton* DownloadButton() const { return m_DownloadButton; }

    /// Shows the check's release notes or failure line, and offers the download when a package
    /// is announced and can be checked; a build that takes no package says where the update
    /// comes from instead. running is the running version.
    void showFindings(const QString& running = {});

    void setDownloadFlow(DownloadFlow flow) { m_downloadFlow = std::move(flow); }
    bool downloading() const { return m_downloading; }

    /// Runs the download flow; returns when the package is handed over or discarded. A second
    /// press while a download runs is refused.
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
    UpdateChecker& m_check;
    DownloadFlow m_downloadFlow;
    bool m_downloading = false;
    QPlainTextEdit* m_ReadmeMemo = nullptr;
    QPushButton* m_DownloadButton = nullptr;
    QPushButton* m_OpenWebPageButton = nullptr;
    QPushButton* m_OKButton = nullptr;
};
