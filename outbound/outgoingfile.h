#pragma once

#include <QByteArray>
#include <QString>
#include <array>

#include "outbound/framing.h"

/// Reads a file that is about to be sent, as text with CR LF lines (BOM or Windows-1252).
/// A file that another program still holds open for writing is refused, as is one that cannot
/// be read: both throw AppError, so the file is neither sent nor deleted.
QString readOutgoingFile(const QString& path);

/// A file's bytes as the text that is sent: decoded by its byte-order mark or as Windows-1252,
/// line ends (CR LF, lone CR, lone LF) made CR LF, the last line ended too, a NUL ending the
/// text. Built in one buffer of the final size: a large file costs its text once, no list of
/// lines. The bytes are released as soon as they are decoded.
QString outgoingText(QByteArray bytes);

/// Replaces in place every character that Windows-1252 cannot represent by "?", as narrowing to
/// the code page and widening back would, without the two copies.
void narrowToAnsi(QString& text);

/// An outbox file's frame, one byte per character: the Windows-1252 byte of each character of
/// framing::compact(outgoingText(bytes)) narrowed to the code page, so ansi::toText() gives the
/// text the outgoing log shows, and wireByte() the bytes the transport puts on the wire. Built
/// straight from the file's bytes, without the text in between (a file with a byte-order mark
/// is decoded first): a large file costs its bytes and its frame, one byte per character each.
struct OutgoingFrame {
    QByteArray ansi;
    QString payloadHead;       ///< the text before framing, no more than the head asked for
    qsizetype payloadSize = 0; ///< the whole text's characters
};
OutgoingFrame outgoingFrame(QByteArray bytes, const framing::Options& options, qsizetype payloadHead);

/// For each Windows-1252 byte, the byte the transport sends for its character (7-bit ASCII).
const std::array<char, 256>& wireBytes();
/// True when every byte is below 0x80: such bytes go on the wire as they are.
bool isAscii(QByteArrayView bytes);
