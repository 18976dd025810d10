#pragma once

#include <QByteArray>
#include <QString>

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
