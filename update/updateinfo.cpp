#include "update/updateinfo.h"

#include <QFileInfo>
#include <QHash>

#include "common/textlines.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kMaxValue = 2047;

QString unquote(QString value) {
    value = value.trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.sliced(1, value.size() - 2);
    }
    return value.left(kMaxValue);
}

} // namespace

QString updateSectionName(const QString& executablePath) {
    const QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

UpdateInfo readUpdateInfo(QByteArrayView bytes, const QString& section) {
    QHash<QString, QString> values;
    bool inSection = false;
    for (const QString& raw : textlines::split(textlines::decode(bytes))) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.sliced(1, (close < 0 ? line.size() : close) - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || line.startsWith(u';'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        if (!values.contains(key))
            values.insert(key, unquote(line.sliced(eq + 1)));
    }
    UpdateInfo info;
    info.DownloadFileURL = values.value(u"downloadfileurl"_s);
    info.ReadmeFileURL = values.value(u"readmefileurl"_s);
    info.UpdatePageURL = values.value(u"updatepageurl"_s);
    info.Version = values.value(u"version"_s);
    info.CRC32Hash = values.value(u"crc32hash"_s);
    info.MD5Hash = values.value(u"md5hash"_s);
    info.SHA1Hash = values.value(u"sha1hash"_s);
    return info;
}
