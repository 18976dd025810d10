#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QStyle>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "common/datafolders.h"
#include "engine/linkengine.h"
#include "settings/settingsstore.h"
#include "version/versioninforeader.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QToolButton;
class AppUpdate;
class QAction;
class ResponsiveWait;
class HexView;
class LedLabel;
class LogMemo;
class ExtraSettingsDialog;
class FramesWindow;
class TFSMS;

/// What the main window is given from outside: where it lives and how fast its timers run.
struct HoofdschermConfig {
    QString executableFolder; ///< with a trailing "/"
    QString executableFile;   ///< whose version record the caption shows
    std::chrono::milliseconds generalInterval{500};
    std::chrono::milliseconds reconnectInterval{15000};
    std::chrono::milliseconds fileCheckerInterval{1000};
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
    bool trayIcon = true; ///< made here, shown only where the desktop has a notification area
    std::chrono::milliseconds connectLimit = std::chrono::seconds(21); ///< the TCP client's
    std::chrono::milliseconds sendLimit = std::chrono::seconds(21);    ///< the TCP client's
    DeadLinkLimits deadLink{};                                         ///< the TCP client's
};

/// The main window: tabs, options, menus, tray icon and the logs on screen. The link itself is
/// the engine's; the window gives it the options from its controls, shows its logs and lamp, and
/// forwards the operator's actions. The handlers keep their design names.
class THoofdscherm : public QMainWindow {
    Q_OBJECT
public:
    static QString designCaption();

    explicit THoofdscherm(HoofdschermConfig config, QWidget* parent = nullptr);
    ~THoofdscherm() override;

    LinkEngine& engine() { return *m_engine; }
    TrafficLogs& logs() { return m_engine->logs(); }
    const DataFolders& dataFolders() const { return m_engine->dataFolders(); }
    const VersionInfoReader& versionInfo() const { return m_versionInfo; }
    QString runningVersion() const { return m_versionInfo.value(QStringLiteral("InternalFileVersion")); }

    AppUpdate& appUpdate() { return *m_AppUpdate; }

    bool linkReady() const { return m_engine->linkReady(); }
    /// The options as the controls hold them now.
    LinkParameters parameters() const;

    /// The outbox folder as the operator has it now.
    QString outboxFolder() const;
    /// The SMS dialog the menus show (created at start beside the window; not owned).
    void setSmsDialog(TFSMS* dialog) { m_smsDialog = dialog; }
    SettingsStore& settings() { return m_settings; }
    /// The options of the extra dialog and the "Beeld" menu, in a file of their own.
    SettingsStore& extraSettingsStore() { return m_extraSettingsStore; }

    /// The application's error hook: an error no handler caught replaces the incoming log.
    void reportUncaught(const QString& message);

    // Handlers, named after their control and event.
    void Sluiten1Click();
    void Details1Click();
    void Afsluiten1Click();
    void TrayIcon1DblClick();
    void SMSberichtverzenden1Click();
    void SMSverzenden1Click();
    void SpeedButton4Click();
    void Button1Click();
    void Bestandverzenden1Click();
    void Button2Click();
    void GeneralTimer();
    void Timer1Timer();
    void FileCheckerTimer();
    void AanUitClick();

    TcpClient& tcpClient() { return m_engine->client(); }
    /// The frame inspector's window, made on first use.
    FramesWindow& frameInspector();
    /// The dialog of the options beside the design's, made on first use.
    ExtraSettingsDialog& extraSettings();
    /// What the window does while the transport waits; the program adds its end conditions.
    ResponsiveWait& responsiveWait() { return *m_wait; }

signals:
    /// The close was allowed: the application ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    /// The close query: flushes the traffic logs; false keeps the window open.
    bool FormCloseQuery();

    QWidget* buildConnectionTab();
    QWidget* buildParametersTab();
    QWidget* buildCommunicationTab();
    QWidget* buildHexTab();
    void buildMenus();
    void buildTrayIcon();
    /// What the first frame does not show: the pictures of the menus and the browse button, and
    /// the tray icon. Queued by the constructor.
    void completeAfterFirstFrame();
    void chooseOutboxFolder();
    void buildFilterBar();
    QList<StoredProp> windowProps(const QList<MainSetting>& settings);

    HoofdschermConfig m_config;
    VersionInfoReader m_versionInfo;
    SettingsStore m_settings;
    SettingsStore m_extraSettingsStore; ///< after m_settings: written first at the end
    TFSMS* m_smsDialog = nullptr;
    LinkEngine* m_engine = nullptr;
    ResponsiveWait* m_wait = nullptr;
    bool m_centred = false;
    AppUpdate* m_AppUpdate = nullptr;
    bool m_endWithoutCloseQuery = false; ///< the update hand-over ends the program

    QTabWidget* m_pages = nullptr;
    LedLabel* m_verbindingLed = nullptr;
    QPushButton* m_aanUitButton = nullptr;
    QPushButton* m_updateButton = nullptr;
    QLineEdit* m_edtHost = nullptr;
    QLineEdit* m_edtPoort = nullptr;
    QCheckBox* m_SOH = nullptr;
    QCheckBox* m_STX = nullptr;
    QCheckBox* m_EOT = nullptr;
    QCheckBox* m_ToonHex = nullptr;
    QCheckBox* m_Logbewaren = nullptr;
    QCheckBox* m_XMLBestandenBewaren = nullptr;
    QCheckBox* m_enc64verzenden = nullptr;
    QCheckBox* m_enc64ontvangst = nullptr;
    QCheckBox* m_AutoConnect = nullptr;
    QCheckBox* m_ACKDisconnect = nullptr;
    QCheckBox* m_AutoBestanden = nullptr;
    QLineEdit* m_AutoLocatie = nullptr;
    QToolButton* m_AutoLocatieBrowse = nullptr;
    QPlainTextEdit* m_Inkomend = nullptr;
    QPlainTextEdit* m_Uitgaand = nullptr;
    QPlainTextEdit* m_Status = nullptr;
    QLineEdit* m_edtPakket = nullptr;
    QPushButton* m_Button1 = nullptr;
    HexView* m_hexView = nullptr;
    QPushButton* m_Button2 = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QAction* m_Afsluiten1 = nullptr;
    QAction* m_TijdInLogboeken = nullptr;
    QAction* m_TijdInLogbestanden = nullptr;
    QLineEdit* m_filterEdit = nullptr;                                ///< in a bar made when first shown
    QList<LogMemo*> m_memos;                                          ///< Inkomend, Uitgaand, Status
    QList<std::pair<QAction*, QStyle::StandardPixmap>> m_actionIcons; ///< until completeAfterFirstFrame
    ExtraSettingsDialog* m_extraSettings = nullptr;                   ///< made when first asked for
    FramesWindow* m_inspector = nullptr;                              ///< made when first asked for
    QAction* m_FilterTonen = nullptr;
    /// The stored options that no control of the window holds (until their dialog is made,
    /// which then edits them here).
    LinkParameters m_stored;
};
