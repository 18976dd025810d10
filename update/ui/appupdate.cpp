#include "update/ui/appupdate.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryFile>
#include <QUrl>

#include "common/apperror.h"
#include "common/prompts.h"
#include "common/textlines.h"
#include "update/ui/updatenotifybox.h"
#include "update/versioncompare.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString failureLine(const Failure& failure) {
    return u"Mislukt: "_s + QString::number(failure.code) + u' ' + failure.message;
}

// Fetches url into a fresh temporary file; its bytes, or the failure line.
Result<QByteArray> fetch(HttpClient& client, const QString& url) {
    QTemporaryFile file(QDir::tempPath() + u"/AUXXXXXX.TMP"_s);
    if (!file.open())
        throw AppError(u"Cannot create a temporary file. "_s + file.errorString());
    client.setUrl(url);
    client.setReceiveStream(&file);
    const auto got = client.get();
    client.setReceiveStream(nullptr);
    if (!got)
        return got.failure();
    if (!file.flush() || !file.seek(0))
        return Failure{404, file.errorString()};
    return file.readAll();
}

} // namespace

QString AppUpdate::defaultUpdateFileURL() {
    return u"http://update.rovenka.nl/liveupdate/RTCPIPCLIENT/RTCPIPCLIENT.txt"_s;
}

QString AppUpdate::defaultUpdatePageURL() {
    return u"https://www.rovenka.nl"_s;
}

QString AppUpdate::updaterPath(const QString& executableFolder) {
#ifdef Q_OS_WIN
    return executableFolder + u"RovenkaUpdater.exe"_s;
#else
    return executableFolder + u"RovenkaUpdater"_s;
#endif
}

AppUpdate::AppUpdate(QString executableFolder, QString section, Clock clock, QObject* parent)
    : QObject(parent)
    , m_executableFolder(std::move(executableFolder))
    , m_section(std::move(section))
    , m_clock(std::move(clock))
    , m_Font(u"Segoe UI"_s, 9)
    , m_FontReadme(u"Calibri"_s, 9) {}

AppUpdate::~AppUpdate() = default;

bool AppUpdate::CheckForUpdate(bool Silent) {
    // The requests keep the window live, so the button can be pressed again meanwhile.
    if (m_checking)
        return false;
    m_checking = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_checking};

    UpdateNotifyBox box(m_executableFolder, m_clock);
    box.setFont(m_Font);
    box.ReadmeMemo()->setFont(m_FontReadme);
    box.HttpCli1().setProxy(m_ProxyAddress, m_ProxyPort);
    box.setFileSizeUnit(m_FileSizeUnit);
    box.setHashType(m_HashType);
    connect(&box, &UpdateNotifyBox::handOverRequested, this, &AppUpdate::handOver);
    emit notifyBoxCreated(&box);
    bool result = true;

    const auto failed = [&box, &result](const Failure& failure) {
        box.ReadmeMemo()->setPlainText(failureLine(failure));
        result = false;
    };
    if (!m_UpdateFileURL.isEmpty()) {
        const auto file = fetch(box.HttpCli1(), m_UpdateFileURL);
        if (file)
            box.setInfo(readUpdateInfo(file.value(), m_section));
        else
            failed(file.failure());
        if (box.info().UpdatePageURL.isEmpty())
            box.setUpdatePageURL(m_UpdatePageURL);
    }
    if (!box.info().ReadmeFileURL.isEmpty()) {
        const auto notes = fetch(box.HttpCli1(), box.info().ReadmeFileURL);
        if (notes)
            box.ReadmeMemo()->setPlainText(textlines::split(textlines::decode(notes.value())).join(u'\n'));
        else
            failed(notes.failure());
    }
    box.DownloadButton()->setEnabled(!box.info().DownloadFileURL.isEmpty());

    if (isNewerVersion(m_Version, box.info().Version)) {
        if (m_showModal)
            m_showModal(box);
        else
            box.exec();
        return true;
    }
    if (!Silent) {
        const QString none = u"Er is geen nieuwe versie beschikbaar."_s;
        if (!box.info().Version.isEmpty() || box.info().UpdatePageURL.isEmpty())
            prompts::information(none);
        else if (prompts::confirm(none + u"\rWenst u de website te openen?"_s))
            QDesktopServices::openUrl(QUrl(box.info().UpdatePageURL));
    }
    return false;
}

void AppUpdate::handOver(const QString& path) {
    emit applicationEndRequested();
    // The updater takes the path enclosed in apostrophes, whatever it holds; whether it starts
    // is not ours to check: the program ends either way.
    std::ignore = QProcess::startDetached(updaterPath(m_executableFolder), {u'\'' + path + u'\''});
}
