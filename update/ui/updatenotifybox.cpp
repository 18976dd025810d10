#include "update/ui/updatenotifybox.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include "common/uncaught.h"
#include "update/ui/updatepicture.h"
#include "update/updatechecker.h"
#include "update/updatesources.h"

using namespace Qt::Literals::StringLiterals;

UpdateNotifyBox::UpdateNotifyBox(UpdateChecker& check, QWidget* parent)
    : QDialog(parent)
    , m_check(check) {
    setObjectName(u"UpdateNotifyBox"_s);
    setWindowTitle(u"Nieuwe versie is beschikbaar"_s);
    setFixedSize(690, 313);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    m_ReadmeMemo = new QPlainTextEdit(this);
    m_ReadmeMemo->setObjectName(u"ReadmeMemo"_s);
    m_ReadmeMemo->setGeometry(8, 8, 461, 257);
    m_ReadmeMemo->setReadOnly(true);
    m_ReadmeMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_ReadmeMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_ReadmeMemo->setStyleSheet(u"QPlainTextEdit { background-color: rgb(255, 251, 240); }"_s);

    QFont buttonFont(u"Arial"_s);
    buttonFont.setPixelSize(12);
    const auto button = [this, &buttonFont](const char16_t* name, const QString& text, int x, int width) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromUtf16(name));
        b->setGeometry(x, 278, width, 25);
        b->setFont(buttonFont);
        return b;
    };
    m_DownloadButton = button(u"DownloadButton", u"Download en installeer"_s, 7, 229);
    m_OpenWebPageButton = button(u"OpenWebPageButton", u"Open webpagina"_s, 249, 131);
    m_OKButton = button(u"OKButton", u"OK"_s, 395, 74);
    m_OKButton->setDefault(true);
    setTabOrder(m_ReadmeMemo, m_DownloadButton);
    setTabOrder(m_DownloadButton, m_OpenWebPageButton);
    setTabOrder(m_OpenWebPageButton, m_OKButton);

    auto* picture = new QLabel(this);
    picture->setObjectName(u"pictureLabel"_s);
    picture->setGeometry(690 - 216, 0, 216, 313);
    picture->setScaledContents(true);
    picture->setPixmap(updatePicture(216, 313));

    connect(m_DownloadButton, &QPushButton::clicked, this,
            uncaught::guarded([this] { DownloadButtonClick(); }));
    connect(m_OpenWebPageButton, &QPushButton::clicked, this, &UpdateNotifyBox::OpenWebPageButtonClick);
    // OK is also the cancel button: Escape ends the dialog the same way.
    connect(m_OKButton, &QPushButton::clicked, this, &QDialog::reject);
}

UpdateNotifyBox::~UpdateNotifyBox() = default;

void UpdateNotifyBox::done(int result) {
    // "OK", Escape or the close box during a download: the dialog closes once the flow is over,
    // and takes the download box, its child, with it only then.
    if (m_downloading)
        return;
    QDialog::done(result);
}

const UpdateInfo& UpdateNotifyBox::info() const {
    return m_check.info();
}

HttpClient& UpdateNotifyBox::HttpCli1() {
    return m_check.client();
}

void UpdateNotifyBox::showFindings(const QString& running) {
    QString text = m_check.readme();
    if (m_check.updatesElsewhere()) {
        const QString note =
            u"Versie %1 is beschikbaar (deze versie: %2). Deze uitgave van het programma installeert "
            u"zelf geen updates: de nieuwe versie komt op een andere manier, bijvoorbeeld via de "
            u"pakketbeheerder van het systeem."_s.arg(m_check.info().Version, running);
        text = text.isEmpty() ? note : note + u"\n\n"_s + text;
    }
    m_ReadmeMemo->setPlainText(text);
    m_DownloadButton->setEnabled(m_check.downloadable());
}

void UpdateNotifyBox::OpenWebPageButtonClick() {
    if (updatesources::isWebAddress(m_check.info().UpdatePageURL))
        QDesktopServices::openUrl(QUrl(m_check.info().UpdatePageURL));
}

void UpdateNotifyBox::DownloadButtonClick() {
    if (m_downloading || !m_downloadFlow)
        return;
    m_downloading = true;
    // The dialog closes when the flow is over, whichever way it ends.
    struct Finish {
        UpdateNotifyBox* box;
        ~Finish() {
            box->m_downloading = false;
            box->reject();
        }
    } finish{this};

    if (const auto path = m_downloadFlow(*this))
        emit handOverRequested(*path);
}
