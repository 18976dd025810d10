#include "update/urlfilename.h"

using namespace Qt::Literals::StringLiterals;

QString UrlFileName(const QString& url) {
    return url.sliced(url.lastIndexOf(u'/') + 1);
}

std::optional<QString> downloadTargetPath(const QString& downloadFolder, const QString& url) {
    const QString name = UrlFileName(url);
    if (name.isEmpty() || name.contains(u'\\') || name.contains(u'/') || name.contains(QChar(0)) ||
        name.contains(u".."_s) || name == u"."_s)
        return std::nullopt;
    return downloadFolder + name;
}
