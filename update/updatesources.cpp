#include "update/updatesources.h"

#include <QFileInfo>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace updatesources {

std::optional<SigningKey> builtInSigningKey() {
    const QByteArray text(RTCP_UPDATE_PUBLIC_KEY);
    if (text.isEmpty())
        return std::nullopt;
    const auto key = parseSigningKey(text);
    if (!key)
        return std::nullopt;
    return key.value();
}

QString fetchProgram(const QString& executableFolder) {
#ifdef Q_OS_WIN
    const QString name = u"rtcpipclient-fetch.exe"_s;
#else
    const QString name = u"rtcpipclient-fetch"_s;
#endif
    const QString beside = executableFolder + name;
    for (const QString& path :
         {beside, QStringLiteral(RTCP_FETCH_INSTALLED), QStringLiteral(RTCP_FETCH_PACKAGED)}) {
        if (QFileInfo(path).isExecutable())
            return path;
    }
    // None there: a failed start names the place the launcher puts it.
    return beside;
}

bool isWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"http"_s || scheme == u"https"_s);
}

} // namespace updatesources
