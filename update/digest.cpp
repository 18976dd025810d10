#include "update/digest.h"

#include <QCryptographicHash>
#include <QFile>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr std::array<quint32, 256> makeTable() {
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr auto kTable = makeTable();
constexpr qint64 kChunk = 64 * 1024;

} // namespace

quint32 crc32Update(quint32 crc, QByteArrayView bytes) {
    crc = ~crc;
    for (const char b : bytes)
        crc = kTable[(crc ^ static_cast<unsigned char>(b)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

Result<QString> fileDigest(const QString& path, THashType type) {
    if (type == THashType::None)
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{1, file.errorString()};
    if (type == THashType::CRC32) {
        quint32 crc = 0;
        while (!file.atEnd()) {
            const QByteArray chunk = file.read(kChunk);
            if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
                return Failure{2, file.errorString()};
            crc = crc32Update(crc, chunk);
        }
        return u"%1"_s.arg(crc, 8, 16, QChar(u'0')).toUpper();
    }
    QCryptographicHash hash(type == THashType::MD5 ? QCryptographicHash::Md5 : QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return Failure{2, file.errorString()};
    return QString::fromLatin1(hash.result().toHex().toUpper());
}

bool digestMatches(const QString& path, THashType type, const QString& published) {
    if (type == THashType::None)
        return true;
    const auto digest = fileDigest(path, type);
    return digest.ok() && digest.value() == published;
}
