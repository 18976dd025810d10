#include "update/ui/updatedownloadbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTime>
#include <QTimer>

#include "common/apperror.h"
#include "common/prompts.h"
#include "update/digest.h"
#include "update/remotefilesize.h"
#include "update/ui/updatenotifybox.h"
#include "update/ui/updatepicture.h"
#include "update/urlfilename.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kSecondsPerDay = 86400;

QString cannotCreate(const QString& path, const QString& reason) {
    return u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

UpdateDownloadBox::UpdateDownloadBox(QString executableFolder, Clock clock, std::chrono::milliseconds tick,
                                     QWidget* parent)
    : QDialog(parent)
    , m_executableFolder(std::move(executableFolder))
    , m_clock(std::move(clock)) {
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

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName(u"Timer1"_s);
    m_Timer1->setInterval(tick);
    connect(m_Timer1, &QTimer::timeout, this, &UpdateDownloadBox::Timer1Timer);
    connect(&m_client, &HttpClient::documentData, this, &UpdateDownloadBox::HttpCli1DocData);
    FormCreate();
}

UpdateDownloadBox::~UpdateDownloadBox() = default;

void UpdateDownloadBox::FormCreate() {
    // Fixed, not the user's locale: the labels read the same everywhere.
    m_durationFormat = u"hh:mm:ss"_s;
}

QString UpdateDownloadBox::sizeText(qint64 size) const {
    return m_notify ? m_notify->FileSizeText(size) : QString::number(size);
}

QString UpdateDownloadBox::duration(qint64 seconds) const {
    // A day or more wraps, as a time of day does.
    const qint64 inDay = ((seconds % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
    return QTime(0, 0).addSecs(static_cast<int>(inDay)).toString(m_durationFormat);
}

void UpdateDownloadBox::showTransfer(qint64 count) {
    const qint64 maximum = m_ProgressBar1->maximum();
    m_TransferLabel->setText(sizeText(count) + u" of "_s + sizeText(maximum) + u" ("_s +
                             QString::number(count * 100 / maximum) + u"%)"_s);
}

qint32 UpdateDownloadBox::RemoteFileSize() {
    m_StatusLabel->setText(u"Zoek naar bestandsinformatie"_s);
    if (!m_client.head())
        return 0;
    return contentLengthFromHeaderLines(m_client.headerLines());
}

void UpdateDownloadBox::HttpCli1DocData() {
    const qint64 received = m_client.receivedCount();
    if (m_ProgressBar1->maximum() > 0)
        showTransfer(received);
    m_ProgressBar1->setValue(static_cast<int>(qMin<qint64>(received, m_ProgressBar1->maximum())));
}

void UpdateDownloadBox::Timer1Timer() {
    const QDateTime now = m_clock();
    const qint64 elapsedMs = m_StartTime.msecsTo(now);
    const qint64 seconds = qAbs(elapsedMs) / 1000;
    const qint64 received = m_client.receivedCount();
    m_SpeedLabel->setText(sizeText(seconds > 0 ? received / seconds : 0) + u"/sec"_s);
    m_ElapsedTimeLabel->setText(duration(elapsedMs / 1000));
    if (received > 0) {
        const qint64 remaining = (m_ProgressBar1->maximum() - received) * seconds / received;
        m_RemainingTimeLabel->setText(duration(remaining));
    }
}

void UpdateDownloadBox::CancelButtonClick() {
    if (!prompts::confirm(u"Deze software update afbreken?"_s))
        return;
    m_client.abort();
    m_CancelButton->setEnabled(false);
    m_Timer1->stop();
    prompts::error(u"De software update werd afgebroken."_s);
}

void UpdateDownloadBox::reject() {
    if (!m_running) {
        QDialog::reject();
        return;
    }
    // After "AFBREKEN" or once the transfer is over the button is off: the flow is ending.
    if (m_CancelButton->isEnabled())
        CancelButtonClick();
}

std::optional<QString> UpdateDownloadBox::run(UpdateNotifyBox& notify) {
    m_notify = &notify;
    bool success = true;
    const UpdateInfo& info = notify.info();

    // The folder is expected to exist; it is neither created nor looked for elsewhere.
    const QString folder = m_executableFolder + u"TempDownloads/"_s;
    if (!QFileInfo(folder).isDir())
        throw AppError(
            cannotCreate(folder + UrlFileName(info.DownloadFileURL), u"The folder does not exist."_s));
    const auto target = downloadTargetPath(folder, info.DownloadFileURL);
    if (!target)
        throw AppError(cannotCreate(folder + UrlFileName(info.DownloadFileURL), u"Not a file name."_s));

    m_client.setProxy(notify.HttpCli1().proxyHost(), notify.HttpCli1().proxyPort());
    m_client.setUrl(info.DownloadFileURL);
    QFile file(*target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(cannotCreate(*target, file.errorString()));
    m_client.setReceiveStream(&file);

    m_FileLabel->setText(UrlFileName(info.DownloadFileURL));
    m_ProgressBar1->setValue(0);
    const qint32 maximum = RemoteFileSize();
    m_ProgressBar1->setRange(0, qMax(maximum, 0));
    m_TransferLabel->setText(sizeText(0) + u" of "_s + sizeText(maximum) + u" (0%)"_s);
    m_CancelButton->setEnabled(true);
    m_StatusLabel->setText(m_client.proxyHost().isEmpty()
                               ? u"Download bestand"_s
                               : u"Download bestand via proxy server ("_s + m_client.proxyHost() + u':' +
                                     m_client.proxyPort() + u')');
    if (maximum <= 0) {
        m_client.setReceiveStream(nullptr);
        file.close();
        file.remove();
        return std::nullopt;
    }

    // Whatever ends the transfer, an exception included, the file is closed and, unless it is
    // handed over, deleted.
    struct Discard {
        QFile& file;
        bool keep = false;
        ~Discard() {
            if (!keep) {
                file.close();
                file.remove();
            }
        }
    } discard{file};

    m_running = true;
    struct Ended {
        bool& running;
        ~Ended() { running = false; }
    } ended{m_running};

    m_Timer1->start();
    m_StartTime = m_clock();
    // Centred on the screen like the new-version dialog, not over it as a child would be.
    if (const QScreen* screen = notify.screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    if (const auto got = m_client.get(); got) {
        // A buffered write error shows only on flush.
        if (!file.flush())
            success = false;
        const qint64 size = file.size();
        showTransfer(size);
        m_ProgressBar1->setValue(static_cast<int>(qMin<qint64>(size, maximum)));
    } else {
        m_StatusLabel->setText(u"Mislukt: "_s + QString::number(got.failure().code) + u' ' + got.message());
        success = false;
    }

    if (m_CancelButton->isEnabled())
        m_CancelButton->setEnabled(false);
    else
        success = false;
    m_Timer1->stop();
    m_ProgressBar1->setValue(maximum);
    m_client.setReceiveStream(nullptr);
    file.close();
    if (file.error() != QFileDevice::NoError)
        success = false;

    if (success && notify.hashType() != THashType::None) {
        const QString published = notify.hashType() == THashType::CRC32 ? info.CRC32Hash
                                  : notify.hashType() == THashType::MD5 ? info.MD5Hash
                                                                        : info.SHA1Hash;
        if (!digestMatches(*target, notify.hashType(), published)) {
            prompts::error(u"De download is beschadigd."_s);
            success = false;
        }
    }
    if (!success)
        return std::nullopt;
    prompts::information(u"Rovenka® LiveUpdate gaat nu starten"_s);
    discard.keep = true;
    return *target;
}
