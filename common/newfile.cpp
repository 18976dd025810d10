#include "common/newfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace newfile {

QString candidateName(const QString& stem, const QString& extension, int n) {
    if (n <= 1)
        return stem + extension;
    return stem + u'_' + QString::number(n) + extension;
}

Result<QString> write(const QString& folder, const QString& stem, const QString& extension,
                      QByteArrayView bytes) {
    const QString base = folder.endsWith(u'/') || folder.endsWith(u'\\') ? folder : QString(folder + u'/');
    // The bound only guards against a folder that reports every name as taken.
    for (int n = 1; n <= 100000; ++n) {
        const QString path = base + candidateName(stem, extension, n);
        QFile file(path);
        // For the operator alone, whatever the umask: archived orders hold telephone numbers.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            if (QFileInfo::exists(path))
                continue;
            return Failure{1, u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path),
                                                                     file.errorString())};
        }
        const bool written = file.write(bytes.data(), bytes.size()) == bytes.size() && file.flush();
        if (!written) {
            const QString reason = file.errorString();
            file.close();
            file.remove();
            return Failure{2, u"Cannot write file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path), reason)};
        }
        file.close();
        return path;
    }
    return Failure{3, u"Cannot create file \"%1\". No free name."_s.arg(base + stem + extension)};
}

} // namespace newfile
