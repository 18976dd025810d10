#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

/// Our ANSI code page is Windows-1252. Every conversion between wire or file bytes and text that
/// the operator sees goes through these two functions, so the same bytes always read the same.
namespace ansi {

/// One byte per UTF-16 code unit. A code unit that Windows-1252 cannot represent becomes "?"
/// (a surrogate pair gives two), so the byte count always equals the text's length.
QByteArray fromText(QStringView text);

/// One character per byte. The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
/// 0x90, 0x9D) become the control characters of the same value, as Windows decodes them, so
/// decoding never loses a byte and fromText(toText(b)) == b for every byte string b.
QString toText(QByteArrayView bytes);

/// The character that byte b stands for.
char16_t decodeByte(unsigned char b) noexcept;

} // namespace ansi
