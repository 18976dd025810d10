#pragma once

#include <QByteArrayView>
#include <QString>

#include "common/result.h"
#include "update/updatetypes.h"

/// CRC-32 of IEEE 802.3 (reflected, polynomial 0xEDB88320, initial and final 0xFFFFFFFF).
quint32 crc32Update(quint32 crc, QByteArrayView bytes);

/// The digest of a whole file in upper-case hexadecimal: 8 digits for CRC32 (most significant
/// first, leading zeros kept), 32 for MD5, 40 for SHA1; empty for None.
Result<QString> fileDigest(const QString& path, THashType type);

/// Whether the file matches its published digest: exact, case-sensitive text comparison, so a
/// lower-case, blank-padded or empty published value never matches. None always passes.
bool digestMatches(const QString& path, THashType type, const QString& published);
