#pragma once

#include <QDateTime>
#include <QDialog>
#include <QRandomGenerator>
#include <functional>

#include "settings/settingsstore.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QToolButton;

/// The SMS request dialog: it writes a request into the main window's outbox folder, from where
/// the outbox sender takes it. Its sender and account fields are kept in "RTCPIPCLIENTSMS.xml"
/// in settingsFolder, restored at the first show and saved at every close.
class TFSMS : public QDialog {
    Q_OBJECT
public:
    /// outboxFolder is asked at every request: the main window's folder as it is then.
    TFSMS(const QString& settingsFolder, std::function<QString()> outboxFolder,
          std::function<QDateTime()> clock = &QDateTime::currentDateTime, QWidget* parent = nullptr);
    ~TFSMS() override;

    /// Validates, writes the request, confirms and closes. A request that cannot be written
    /// throws AppError for the application's error hook, and the dialog stays open.
    void BtnExecuteClick();
    void BtnCancelClick();

    SettingsStore& settings() { return m_settings; }

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();

    std::function<QString()> m_outboxFolder;
    std::function<QDateTime()> m_clock;
    SettingsStore m_settings;
    QRandomGenerator m_random;
    bool m_shown = false;

    QToolButton* m_BtnExecute = nullptr;
    QToolButton* m_BtnCancel = nullptr;
    QTabWidget* m_pages = nullptr;
    QLineEdit* m_SMSnummer = nullptr;
    QLineEdit* m_SMSafzender = nullptr;
    QPlainTextEdit* m_SMSbericht = nullptr;
    QLineEdit* m_SMSserver = nullptr;
    QLineEdit* m_SMSInlognaam = nullptr;
    QLineEdit* m_SMSWachtwoord = nullptr;
    QComboBox* m_ComboBox1 = nullptr;
    QLineEdit* m_rovverzender = nullptr;
    QLineEdit* m_rovontvanger = nullptr;
};
