#pragma once

#include <QByteArray>
#include <QStringView>

/// Text to 7-bit US-ASCII, one byte per UTF-16 code unit: ASCII stays, a letter with marks
/// becomes its base letter ("é" gives "e"), anything else becomes "?". Never more than one byte
/// per code unit, so a text's length is its byte count on the wire.
namespace ascii {

char byteOf(char16_t unit);
QByteArray fromText(QStringView text);
/// The bytes of text written to out, which must hold text.size() bytes; nothing after them is
/// touched. For a caller that reuses one buffer for every slice of a long text.
void narrow(QStringView text, char* out);

} // namespace ascii
