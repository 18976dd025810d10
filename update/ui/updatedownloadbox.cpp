#include "update/ui/updatedownloadbox.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "common/prompts.h"
#include "update/ui/updatepicture.h"
#include "update/updatedownload.h"

using namespace Qt::Literals::StringLiterals;

UpdateDownloadBox::UpdateDownloadBox(UpdateDownload& download, QWidget* parent)
    : QDialog(parent)
    , m_download(download) {
    setObjectName(u"UpdateDownloadBox"_s);
    setWindowTitle(u"Download nieuwe versie"_s);
    setFixedSize(690, 313);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    const int rows[] = {16, 39, 63, 86, 110, 134};
    const QString captions[] = {u"Bestand:"_s,          u"Snelheid:"_s,         u"Status :"_s,
                                u"Verstreken tijd :"_s, u"Resterende tijd :"_s, u"Overdracht :"_s};
    for (int i = 0; i < 6; ++i) {
        auto* caption = new QLabel(captions[i], this);
        caption->move(8, rows[i]);
    }
    const auto value = [this, &rows](const char16_t* name, const QString& text, int row) {
        auto* label = new QLabel(text, this);
        // The file name and the reasons come from the server: shown as text, never as markup.
        label->setTextFormat(Qt::PlainText);
        label->setObjectName(QString::fromUtf16(name));
        label->setGeometry(135, rows[row], 330, 17);
        return label;
    };
    m_FileLabel = value(u"FileLabel", u"-"_s, 0);
    m_FileLabel->setFixedWidth(296);
    m_SpeedLabel = value(u"SpeedLabel", u"0 KB/sec"_s, 1);
    m_StatusLabel = value(u"StatusLabel", u"Downloading file"_s, 2);
    m_ElapsedTimeLabel = value(u"ElapsedTimeLabel", u"00:00:00"_s, 3);
    m_RemainingTimeLabel = value(u"RemainingTimeLabel", u"00:00:00"_s, 4);
    m_TransferLabel = value(u"TransferLabel", u"0 KB of 0 KB"_s, 5);

    m_ProgressBar1 = new QProgressBar(this);
    m_ProgressBar1->setObjectName(u"ProgressBar1"_s);
    m_ProgressBar1->setGeometry(7, 200, 460, 44);
    m_ProgressBar1->setRange(0, 0);
    m_ProgressBar1->setValue(0);
    m_CancelButton = new QPushButton(u"AFBREKEN"_s, this);
    m_CancelButton->setObjectName(u"CancelButton"_s);
    m_CancelButton->setGeometry(7, 259, 460, 38);
    m_CancelButton->setDefault(true);
    connect(m_CancelButton, &QPushButton::clicked, this, &UpdateDownloadBox::CancelButtonClick);

    auto* picture = new QLabel(this);
    picture->setObjectName(u"pictureLabel"_s);
    picture->setGeometry(690 - 218, 0, 218, 313);
    picture->setScaledContents(true);
    picture->setPixmap(updatePicture(218, 313));

    connect(&m_download, &UpdateDownload::fileNameChanged, m_FileLabel, &QLabel::setText);
    connect(&m_download, &UpdateDownload::statusChanged, m_StatusLabel, &QLabel::setText);
    connect(&m_download, &UpdateDownload::transferChanged, m_TransferLabel, &QLabel::setText);
    connect(&m_download, &UpdateDownload::maximumChanged, this,
            [this](qint32 maximum) { m_ProgressBar1->setRange(0, maximum); });
    connect(&m_download, &UpdateDownload::positionChanged, m_ProgressBar1, &QProgressBar::setValue);
    connect(&m_download, &UpdateDownload::transferStarted, this, &UpdateDownloadBox::showTransferStart);
    connect(&m_download, &UpdateDownload::transferEnded, this, [this] { m_CancelButton->setEnabled(false); });
    connect(&m_download, &UpdateDownload::timesChanged, this, &UpdateDownloadBox::showTimes);
}

UpdateDownloadBox::~UpdateDownloadBox() = default;

HttpClient& UpdateDownloadBox::HttpCli1() {
    return m_download.client();
}

QDateTime UpdateDownloadBox::startTime() const {
    return m_download.startTime();
}

void UpdateDownloadBox::showTransferStart() {
    m_CancelButton->setEnabled(true);
    // Centred on the screen like the new-version dialog, not over it as a child would be.
    const QWidget* owner = parentWidget() ? parentWidget() : this;
    if (const QScreen* screen = owner->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void UpdateDownloadBox::showTimes(const DownloadTimes& times) {
    m_SpeedLabel->setText(times.speed);
    m_ElapsedTimeLabel->setText(times.elapsed);
    if (times.remaining)
        m_RemainingTimeLabel->setText(*times.remaining);
}

void UpdateDownloadBox::Timer1Timer() {
    m_download.tick();
}

void UpdateDownloadBox::CancelButtonClick() {
    if (!prompts::confirm(u"Deze software update afbreken?"_s))
        return;
    m_download.cancel();
    m_CancelButton->setEnabled(false);
    prompts::error(u"De software update werd afgebroken."_s);
}

void UpdateDownloadBox::reject() {
    if (!m_download.running()) {
        QDialog::reject();
        return;
    }
    // After "AFBREKEN" or once the transfer is over the button is off: the flow is ending.
    if (m_CancelButton->isEnabled())
        CancelButtonClick();
}
