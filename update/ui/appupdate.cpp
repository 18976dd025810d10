#include "update/ui/appupdate.h"

#include <QDesktopServices>
#include <QPlainTextEdit>
#include <QProcess>
#include <QUrl>

#include "common/prompts.h"
#include "update/ui/updatedownloadbox.h"
#include "update/ui/updatenotifybox.h"
#include "update/ui/updatesearchbox.h"
#include "update/updatechecker.h"
#include "update/updatedownload.h"
#include "update/updatesources.h"

using namespace Qt::Literals::StringLiterals;

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
    , m_fetchProgram(updatesources::fetchProgram(m_executableFolder))
    , m_signingKey(updatesources::builtInSigningKey())
    , m_connectLimit(HttpClient::kConnectLimit)
    , m_stallLimit(HttpClient::kStallLimit)
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

    UpdateChecker check(m_section);
    check.client().setProxy(m_ProxyAddress, m_ProxyPort);
    check.client().setFetchProgram(m_fetchProgram);
    check.client().setLimits(m_connectLimit, m_stallLimit);
    check.setSigningKey(m_signingKey);
    check.setFileSizeUnit(m_FileSizeUnit);
    check.setHashType(m_HashType);
    UpdateNotifyBox box(check);
    box.setFont(m_Font);
    box.ReadmeMemo()->setFont(m_FontReadme);
    box.setDownloadFlow([this, &check](UpdateNotifyBox& notify) { return download(notify, check); });
    connect(&box, &UpdateNotifyBox::handOverRequested, this, &AppUpdate::handOver);
    emit notifyBoxCreated(&box);

    // A failed request shows only as its line in the notes; the announced version decides.
    {
        std::optional<UpdateSearchBox> search;
        if (!Silent && !m_UpdateFileURL.isEmpty()) {
            search.emplace();
            connect(&*search, &UpdateSearchBox::cancelRequested, &check, &UpdateChecker::cancel);
            emit searchBoxCreated(&*search);
            search->show();
        }
        std::ignore = check.run(m_UpdateFileURL, m_UpdatePageURL);
    }
    // Cancelled, or the program is ending: nothing more to say.
    if (check.cancelled())
        return false;
    box.showFindings(m_Version);

    if (check.isNewerThan(m_Version)) {
        if (m_showModal)
            m_showModal(box);
        else
            box.exec();
        return true;
    }
    if (!Silent) {
        const QString none = u"Er is geen nieuwe versie beschikbaar."_s;
        if (!check.info().Version.isEmpty() || check.info().UpdatePageURL.isEmpty())
            prompts::information(none);
        else if (prompts::confirm(none + u"\rWenst u de website te openen?"_s) &&
                 updatesources::isWebAddress(check.info().UpdatePageURL))
            QDesktopServices::openUrl(QUrl(check.info().UpdatePageURL));
    }
    return false;
}

std::optional<QString> AppUpdate::download(UpdateNotifyBox& notify, const UpdateChecker& check) {
    UpdateDownload download(m_executableFolder, m_clock);
    // A child of the new-version dialog: a window that the modal dialog did not open would be
    // shut out by it, and "AFBREKEN", Escape and the close box would take no input.
    UpdateDownloadBox box(download, &notify);
    box.setFont(notify.font());
    emit notify.downloadBoxCreated(&box);
    return download.run(check);
}

void AppUpdate::handOver(const QString& path) {
    emit applicationEndRequested();
    // The updater takes the path enclosed in apostrophes, whatever it holds; whether it starts
    // is not ours to check: the program ends either way.
    std::ignore = QProcess::startDetached(updaterPath(m_executableFolder), {u'\'' + path + u'\''});
}
