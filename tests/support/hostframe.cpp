#include "hostframe.h"

#include <QStringBuilder>

QByteArray frame(const QByteArray& xml) {
    const QByteArray payload = xml.toBase64();
    return '\x01' + QByteArray::number(payload.size()) + '\x02' + payload + '\x04';
}
