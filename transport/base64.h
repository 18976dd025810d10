#pragma once

#include <QString>
#include <QStringView>

#include "common/result.h"

/// Base64 with the alphabet of RFC 4648 section 4 and the pad "=", over texts: one byte per UTF-16
/// code unit on the way in, one character per byte on the way out. No line breaks, ever.
namespace base64 {

/// Encodes the low byte of each code unit (U+20AC and U+00AC encode alike).
QString encode(QStringView text);

/// The length of the encoding of n code units.
constexpr qsizetype encodedSize(qsizetype n) {
    return (n + 2) / 3 * 4;
}
/// Writes the encoding of text to dst, which has room for encodedSize(text.size()) units, and
/// returns the end of what it wrote.
QChar* encodeTo(QStringView text, QChar* dst);

/// Decodes whole groups of four characters; one to three left over at the end are ignored, and
/// nothing is skipped (CR, LF and blanks take places in the groups). A "=" in third place gives
/// one byte and ends the decoding, in fourth place two bytes and ends it. A character outside
/// the alphabet counts as value 0. Fails only when the text holds U+0000.
Result<QString> decode(QStringView text);

} // namespace base64
