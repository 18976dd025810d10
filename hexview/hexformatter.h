#pragma once

#include <QByteArrayView>
#include <QString>
#include <utility>

#include "hexview/charencoding.h"

class HexLayout;

/// The texts of the view: the offset column, the hex digits, the character column and the two
/// clipboard forms. Pure functions of bytes.
namespace hexformat {

/// offset as upper-case hex, zero-padded to digits, followed by ":".
QString offsetText(qint64 offset, int digits);
/// Two upper-case hex digits.
QString byteHex(unsigned char byte);
/// "Copy as hex": every byte as two digits and a blank, without the last blank. A byte of 0x80
/// and above is its own two digits, whatever the encoding.
QString hexList(QByteArrayView bytes);
/// "Copy": the bytes as text in the encoding, every zero byte as a blank.
QString copyText(QByteArrayView bytes, CharEncoding encoding);

/// The character shown for a byte by a one-byte encoding. Bytes below 32 and those whose
/// character is a control (0x7F..0x9F in Latin-1) show as ".", so no font draws a control code.
QChar displayChar(unsigned char byte, CharEncoding encoding);

/// The character column for bytes [from, from + count) of context, exactly one UTF-16 unit per
/// byte. For UTF-8 the bytes around the range decide sequences that cross a line's edge: the lead
/// byte shows the character and its continuation bytes a blank; a character outside the BMP
/// takes two cells (its surrogate pair) when both lie in the range. Bytes of no valid sequence,
/// and characters no font should draw (controls, combining marks), show as ".".
QString charColumn(QByteArrayView context, qsizetype from, qsizetype count, CharEncoding encoding);

/// A line as drawn, cell for cell (blanks where nothing is drawn): offset, hex digits and
/// characters of the line's bytes (at most 16), placed as layout says.
QString lineText(const HexLayout& layout, qint64 lineOffset, QByteArrayView lineBytes, const QString& chars);

/// Whether a byte belongs to a word for the double-click: a letter, digit or "_" in the encoding;
/// in UTF-8 every byte of a multi-byte character.
bool isWordByte(unsigned char byte, CharEncoding encoding);
/// The word around index in bytes as (first index, length); a byte that is no word byte is a word
/// of its own.
std::pair<qsizetype, qsizetype> wordAround(QByteArrayView bytes, qsizetype index, CharEncoding encoding);

} // namespace hexformat
