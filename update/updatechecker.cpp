#include "update/updatechecker.h"

#include <QDir>
#include <QTemporaryFile>

#include "common/apperror.h"
#include "common/textlines.h"
#include "update/filesizetext.h"
#include "update/updatesources.h"
#include "update/versioncompare.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString failureLine(const Failure& failure) {
    return u"Mislukt: "_s + QString::number(failure.code) + u' ' + failure.message;
}

// Fetches url into a fresh temporary file; its bytes, or the failure.
Result<QByteArray> fetch(HttpClient& client, const QString& url, qint64 limit) {
    QTemporaryFile file(QDir::tempPath() + u"/AUXXXXXX.TMP"_s);
    if (!file.open())
        throw AppError(u"Cannot create a temporary file. "_s + file.errorString());
    client.setUrl(url);
    client.setReceiveStream(&file);
    client.setBodyLimit(limit);
    const auto got = client.get();
    client.setReceiveStream(nullptr);
    client.setBodyLimit(-1);
    if (!got)
        return got.failure();
    if (!file.flush() || !file.seek(0))
        return Failure{404, file.errorString()};
    return file.readAll();
}

} // namespace

UpdateChecker::UpdateChecker(QString section, QObject* parent)
    : QObject(parent)
    , m_section(std::move(section)) {}

QString UpdateChecker::publishedDigest() const {
    switch (m_hashType) {
    case THashType::None:
        return {};
    case THashType::CRC32:
        return m_info.CRC32Hash;
    case THashType::MD5:
        return m_info.MD5Hash;
    case THashType::SHA1:
        return m_info.SHA1Hash;
    }
    return {};
}

QString UpdateChecker::FileSizeText(qint64 size) const {
    return ::FileSizeText(size, m_fileSizeUnit);
}

void UpdateChecker::cancel() {
    m_cancelled = true;
    m_client.abort();
}

bool UpdateChecker::run(const QString& updateFileURL, const QString& defaultPageURL) {
    bool result = true;
    m_cancelled = false;
    const auto failed = [this, &result](const Failure& failure) {
        m_readme = failureLine(failure);
        result = false;
    };
    if (!updateFileURL.isEmpty()) {
        const auto file = fetch(m_client, updateFileURL, kMaxInfoBytes);
        m_cancelled = m_cancelled || m_client.interrupted();
        if (file)
            m_info = readUpdateInfo(file.value(), m_section);
        else
            failed(file.failure());
        // The server's page goes to the desktop's opener: a web address or none of it.
        if (m_info.UpdatePageURL.isEmpty() || !updatesources::isWebAddress(m_info.UpdatePageURL))
            m_info.UpdatePageURL = defaultPageURL;
    }
    // Only a fetched information file can name release notes.
    if (!m_info.ReadmeFileURL.isEmpty() && !m_cancelled) {
        const auto notes = fetch(m_client, m_info.ReadmeFileURL, kMaxNotesBytes);
        m_cancelled = m_cancelled || m_client.interrupted();
        if (notes)
            m_readme = textlines::split(textlines::decode(notes.value())).join(u'\n');
        else
            failed(notes.failure());
    }
    return result;
}

bool UpdateChecker::isNewerThan(const QString& running) const {
    return isNewerVersion(running, m_info.Version);
}
