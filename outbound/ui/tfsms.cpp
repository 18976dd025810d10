#include "outbound/ui/tfsms.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/apperror.h"
#include "common/prompts.h"
#include "common/uncaught.h"
#include "outbound/smsrequest.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QLineEdit* edit(const QString& name, const QString& text, QWidget* parent) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    return e;
}

} // namespace

TFSMS::TFSMS(const QString& settingsFolder, std::function<QString()> outboxFolder,
             std::function<QDateTime()> clock, QWidget* parent)
    : QDialog(parent)
    , m_outboxFolder(std::move(outboxFolder))
    , m_clock(std::move(clock))
    , m_settings(settingsFolder, u"RTCPIPCLIENTSMS.xml"_s, u"FSMS"_s) {
    setObjectName(u"FSMS"_s);
    setWindowTitle(u"SMS bericht verzenden"_s);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* toolbar = new QToolBar(this);
    m_BtnExecute = new QToolButton(toolbar);
    m_BtnExecute->setObjectName(u"BtnExecute"_s);
    m_BtnExecute->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    m_BtnExecute->setToolTip(u"Verzenden"_s);
    m_BtnExecute->setAccessibleName(u"Verzenden"_s);
    m_BtnCancel = new QToolButton(toolbar);
    m_BtnCancel->setObjectName(u"BtnCancel"_s);
    m_BtnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    m_BtnCancel->setToolTip(u"Sluiten"_s);
    m_BtnCancel->setAccessibleName(u"Sluiten"_s);
    toolbar->addWidget(m_BtnExecute);
    toolbar->addWidget(m_BtnCancel);
    connect(m_BtnExecute, &QToolButton::clicked, this, uncaught::guarded([this] { BtnExecuteClick(); }));
    connect(m_BtnCancel, &QToolButton::clicked, this, &TFSMS::BtnCancelClick);
    layout->addWidget(toolbar);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(u"PageControl1"_s);
    auto* bericht = new QWidget;
    auto* berichtForm = new QFormLayout(bericht);
    m_SMSnummer = edit(u"SMSnummer"_s, {}, bericht);
    m_SMSafzender = edit(u"SMSafzender"_s, u"Rovenka"_s, bericht);
    m_SMSbericht = new QPlainTextEdit(bericht);
    m_SMSbericht->setObjectName(u"SMSbericht"_s);
    berichtForm->addRow(u"SMS nummer"_s, m_SMSnummer);
    berichtForm->addRow(u"Afzender"_s, m_SMSafzender);
    berichtForm->addRow(u"Bericht"_s, m_SMSbericht);
    m_pages->addTab(bericht, u"Bericht"_s);

    auto* instellingen = new QWidget;
    auto* instForm = new QFormLayout(instellingen);
    m_SMSserver = edit(u"SMSserver"_s, {}, instellingen);
    m_SMSInlognaam = edit(u"SMSInlognaam"_s, {}, instellingen);
    m_SMSWachtwoord = edit(u"SMSWachtwoord"_s, {}, instellingen);
    m_SMSWachtwoord->setEchoMode(QLineEdit::Password);
    m_ComboBox1 = new QComboBox(instellingen);
    m_ComboBox1->setObjectName(u"ComboBox1"_s);
    m_ComboBox1->addItem(u"sms.rovenka.nl"_s);
    m_ComboBox1->setCurrentIndex(0);
    m_rovverzender = edit(u"rovverzender"_s, u"rov"_s, instellingen);
    m_rovontvanger = edit(u"rovontvanger"_s, u"rov"_s, instellingen);
    for (QLineEdit* shortEdit : {m_rovverzender, m_rovontvanger})
        shortEdit->setMaximumWidth(80);
    instForm->addRow(u"Server"_s, m_SMSserver);
    instForm->addRow(u"Inlognaam"_s, m_SMSInlognaam);
    instForm->addRow(u"Wachtwoord"_s, m_SMSWachtwoord);
    instForm->addRow(u"Server"_s, m_ComboBox1);
    instForm->addRow(u"Verzender"_s, m_rovverzender);
    instForm->addRow(u"Ontvanger"_s, m_rovontvanger);
    m_pages->addTab(instellingen, u"Instellingen"_s);
    layout->addWidget(m_pages, 1);

    auto* status = new QStatusBar(this);
    status->setObjectName(u"StatusBar1"_s);
    status->setSizeGripEnabled(false);
    layout->addWidget(status);

    using Kind = StoredProp::Kind;
    const auto text = [](const char16_t* name) {
        return StoredProp::Definition{QString::fromUtf16(name), u"Text"_s, Kind::Text, "text"};
    };
    m_settings.setStoredProps(StoredProp::fromObjects(
        this, {text(u"SMSafzender"), text(u"SMSnummer"), text(u"SMSInlognaam"), text(u"SMSWachtwoord"),
               text(u"SMSserver"), text(u"rovontvanger"), text(u"rovverzender")}));

    resize(420, 320);
    setFixedSize(sizeHint().expandedTo(QSize(420, 320)));
    FormCreate();
}

TFSMS::~TFSMS() {
    m_settings.saveIfNeeded();
}

void TFSMS::FormCreate() {
    m_random.seed(static_cast<quint32>(m_clock().toMSecsSinceEpoch()));
}

void TFSMS::FormShow() {
    m_SMSbericht->setFocus();
}

void TFSMS::showEvent(QShowEvent* event) {
    if (!m_shown) {
        m_shown = true;
        m_settings.Restore();
    }
    QDialog::showEvent(event);
    FormShow();
}

void TFSMS::done(int result) {
    m_settings.Save();
    QDialog::done(result);
}

void TFSMS::BtnExecuteClick() {
    const std::pair<QString, const char16_t*> required[] = {
        {m_SMSnummer->text(), u"Vul een GSM nummer in en probeer opnieuw"},
        {m_SMSbericht->toPlainText(), u"Vul een bericht in en probeer opnieuw"},
        {m_SMSWachtwoord->text(), u"Vul een wachtwoord in en probeer opnieuw"},
        {m_SMSInlognaam->text(), u"Vul een inlognaam in en probeer opnieuw"},
        {m_SMSserver->text(), u"Vul een server in en probeer opnieuw"},
    };
    for (const auto& [value, message] : required) {
        if (value.isEmpty()) {
            prompts::warning(QString::fromUtf16(message));
            return;
        }
    }
    SmsRequest request;
    request.tag = static_cast<int>(m_random.bounded(10000));
    request.verzender = m_rovverzender->text();
    request.ontvanger = m_rovontvanger->text();
    request.server = m_SMSserver->text();
    request.inlognaam = m_SMSInlognaam->text();
    request.wachtwoord = m_SMSWachtwoord->text();
    request.nummer = m_SMSnummer->text();
    request.afzender = m_SMSafzender->text();
    request.bericht = m_SMSbericht->toPlainText();
    const auto written = smsrequest::write(m_outboxFolder ? m_outboxFolder() : QString(), request, m_clock());
    if (!written)
        throw AppError(written.message());
    prompts::information(u"SMS bericht werd aangeboden"_s);
    accept();
}

void TFSMS::BtnCancelClick() {
    reject();
}
