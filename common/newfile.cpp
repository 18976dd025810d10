#include "common/newfile.h"

#include "common/wholefile.h"

namespace newfile {

QString candidateName(const QString& stem, const QString& extension, int n) {
    if (n <= 1)
        return stem + extension;
    return stem + u'_' + QString::number(n) + extension;
}

Result<QString> write(const QString& folder, const QString& stem, const QString& extension,
                      QByteArrayView bytes) {
    return wholefile::create(
        folder, [&](int n) { return candidateName(stem, extension, n); }, bytes);
}

} // namespace newfile
