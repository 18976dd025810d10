#include "update/updatedownload.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include "common/apperror.h"
#include "common/prompts.h"
#include "update/digest.h"
#include "update/filesizetext.h"
#include "update/packagefile.h"
#include "update/packagesignature.h"
#include "update/remotefilesize.h"
#include "update/updatechecker.h"
#include "update/urlfilename.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kSecondsPerDay = 86400;

QString cannotCreate(const QString& path, const QString& reason) {
    return u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), reason);
}

// Fixed, not the user's locale: the labels read the same everywhere. A day or more wraps, as a
// time of day does.
QString duration(qint64 seconds) {
    const qint64 inDay = ((seconds % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
    return QTime(0, 0).addSecs(static_cast<int>(inDay)).toString(u"hh:mm:ss"_s);
}

} // namespace

DownloadTimes downloadTimes(qint64 elapsedMs, qint64 received, qint64 maximum, FileSizeUnit unit) {
    const qint64 seconds = qAbs(elapsedMs) / 1000;
    DownloadTimes times;
    times.speed = FileSizeText(seconds > 0 ? received / seconds : 0, unit) + u"/sec"_s;
    times.elapsed = duration(elapsedMs / 1000);
    if (received > 0)
        times.remaining = duration((maximum - received) * seconds / received);
    return times;
}

QString transferText(qint64 count, qint64 maximum, FileSizeUnit unit) {
    return FileSizeText(count, unit) + u" of "_s + FileSizeText(maximum, unit) + u" ("_s +
           QString::number(count * 100 / maximum) + u"%)"_s;
}

UpdateDownload::UpdateDownload(QString executableFolder, Clock clock, std::chrono::milliseconds tick,
                               QObject* parent)
    : QObject(parent)
    , m_executableFolder(std::move(executableFolder))
    , m_clock(std::move(clock)) {
    m_timer.setInterval(tick);
    connect(&m_timer, &QTimer::timeout, this, &UpdateDownload::tick);
    connect(&m_client, &HttpClient::documentData, this, &UpdateDownload::onData);
}

UpdateDownload::~UpdateDownload() = default;

QString UpdateDownload::sizeText(qint64 size) const {
    return FileSizeText(size, m_unit);
}

qint32 UpdateDownload::RemoteFileSize() {
    emit statusChanged(u"Zoek naar bestandsinformatie"_s);
    if (!m_client.head())
        return 0;
    return contentLengthFromHeaderLines(m_client.headerLines());
}

void UpdateDownload::onData() {
    const qint64 received = m_client.receivedCount();
    if (m_maximum > 0)
        emit transferChanged(transferText(received, m_maximum, m_unit));
    emit positionChanged(static_cast<qint32>(qMin<qint64>(received, qMax(m_maximum, 0))));
}

void UpdateDownload::tick() {
    emit timesChanged(
        downloadTimes(m_startTime.msecsTo(m_clock()), m_client.receivedCount(), qMax(m_maximum, 0), m_unit));
}

void UpdateDownload::cancel() {
    m_client.abort();
    if (m_signatureClient)
        m_signatureClient->abort();
    m_cancelled = true;
    m_timer.stop();
}

Result<void> UpdateDownload::verifySignature(const UpdateChecker& check, const QString& path) {
    if (!check.signingKey())
        return Failure{static_cast<int>(SignatureFault::ForeignKey),
                       signatureFaultText(SignatureFault::ForeignKey)};
    QBuffer signature;
    signature.open(QIODevice::WriteOnly);
    // A client of its own: the transfer's counts and progress stay the package's.
    HttpClient client(m_client.fetchProgram());
    client.setLimits(m_client.connectLimit(), m_client.stallLimit());
    client.setProxy(m_client.proxyHost(), m_client.proxyPort());
    client.setUrl(check.info().DownloadFileURL + u".minisig"_s);
    client.setReceiveStream(&signature);
    client.setBodyLimit(kMaxSignatureBytes);
    m_signatureClient = &client;
    const auto got = client.get();
    m_signatureClient = nullptr;
    m_interrupted = client.interrupted();
    if (!got)
        return Failure{static_cast<int>(SignatureFault::Missing),
                       signatureFaultText(SignatureFault::Missing)};
    return verifyPackage(path, signature.data(), *check.signingKey(), check.info().Version);
}

std::optional<QString> UpdateDownload::run(const UpdateChecker& check) {
    const UpdateInfo& info = check.info();
    m_unit = check.fileSizeUnit();
    m_cancelled = false;
    bool success = true;

    // The folder is expected to exist; it is neither created nor looked for elsewhere.
    const QString folder = m_executableFolder + u"TempDownloads/"_s;
    if (!QFileInfo(folder).isDir())
        throw AppError(
            cannotCreate(folder + UrlFileName(info.DownloadFileURL), u"The folder does not exist."_s));
    const auto target = downloadTargetPath(folder, info.DownloadFileURL);
    if (!target)
        throw AppError(cannotCreate(folder + UrlFileName(info.DownloadFileURL), u"Not a file name."_s));

    m_client.setFetchProgram(check.client().fetchProgram());
    m_client.setLimits(check.client().connectLimit(), check.client().stallLimit());
    m_client.setProxy(check.client().proxyHost(), check.client().proxyPort());
    m_client.setUrl(info.DownloadFileURL);
    // Under a hidden name until it is whole and verified; an older file of the name goes.
    const QString partial = packagefile::partialPath(*target);
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(cannotCreate(*target, file.errorString()));
    if (QFile::exists(*target))
        QFile::remove(*target);
    m_client.setReceiveStream(&file);

    emit fileNameChanged(UrlFileName(info.DownloadFileURL));
    emit positionChanged(0);
    m_maximum = RemoteFileSize();
    if (m_maximum > kMaxPackageBytes)
        m_maximum = 0;
    emit maximumChanged(qMax(m_maximum, 0));
    emit transferChanged(sizeText(0) + u" of "_s + sizeText(m_maximum) + u" (0%)"_s);
    emit statusChanged(m_client.proxyHost().isEmpty()
                           ? u"Download bestand"_s
                           : u"Download bestand via proxy server ("_s + m_client.proxyHost() + u':' +
                                 m_client.proxyPort() + u')');
    if (m_maximum <= 0) {
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

    m_timer.start();
    m_startTime = m_clock();
    emit transferStarted();
    m_client.setBodyLimit(m_maximum);
    auto got = m_client.get();
    m_client.setBodyLimit(-1);
    // A body without a length ends when the connection does: short of the announced size it
    // was cut off.
    if (got && m_client.receivedCount() != m_maximum)
        got = Failure{404, u"Connection closed before the whole body arrived"_s};
    if (got) {
        // A buffered write error shows only on flush.
        if (!file.flush())
            success = false;
        const qint64 size = file.size();
        emit transferChanged(transferText(size, m_maximum, m_unit));
        emit positionChanged(static_cast<qint32>(qMin<qint64>(size, m_maximum)));
    } else {
        emit statusChanged(u"Mislukt: "_s + QString::number(got.failure().code) + u' ' + got.message());
        success = false;
    }

    if (m_cancelled)
        success = false;
    emit transferEnded();
    m_timer.stop();
    emit positionChanged(m_maximum);
    m_client.setReceiveStream(nullptr);
    file.close();
    if (file.error() != QFileDevice::NoError)
        success = false;

    if (success && !digestMatches(partial, check.hashType(), check.publishedDigest())) {
        prompts::error(u"De download is beschadigd."_s);
        success = false;
    }
    if (success) {
        const auto verified = verifySignature(check, partial);
        if (!verified) {
            // A quit meanwhile says nothing: the program is ending.
            if (!m_interrupted)
                prompts::error(verified.message());
            success = false;
        }
    }
    if (success && !packagefile::commit(partial, *target))
        success = false;
    if (!success)
        return std::nullopt;
    discard.keep = true;
    prompts::information(u"Rovenka® LiveUpdate gaat nu starten"_s);
    return *target;
}
