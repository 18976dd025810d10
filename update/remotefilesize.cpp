#include "update/remotefilesize.h"

qint32 contentLengthFromHeaderLines(const QList<QByteArray>& lines) {
    static const QByteArray prefix("content-length: ");
    for (const QByteArray& line : lines) {
        if (!line.toLower().startsWith(prefix))
            continue;
        bool ok = false;
        const int value = line.sliced(prefix.size()).toInt(&ok, 10);
        return ok ? value : 0;
    }
    return 0;
}
