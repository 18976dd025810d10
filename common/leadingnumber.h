#pragma once

#include <QStringView>
#include <cstdint>

/// The number that a text begins with, read the lenient way the port edit and a frame's length
/// field are read: leading blanks are skipped, an optional "-" or "+" and a "$", "x", "X" or "0x"
/// prefix (hexadecimal) are accepted, and digits are read up to the first character that is not
/// one; whatever follows is ignored. No digits give 0. Reading stops before a digit that would
/// take the value beyond 32 bits, so a run of digits never wraps into a small number.
std::int64_t leadingNumber(QStringView text);
