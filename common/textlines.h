#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "common/result.h"

/// Text files are read and written whole, as lists of lines with CR LF endings.
namespace textlines {

/// Bytes of a text file to text: a UTF-8, UTF-16 LE or UTF-16 BE byte-order mark selects that
/// encoding and is dropped; without one the bytes are Windows-1252.
QString decode(QByteArrayView bytes);

/// Splits at CR LF, lone CR and lone LF; the first NUL ends the text. A final line break does
/// not start another line, so "a\r\n" and "a" both give one line and "" gives none.
QStringList split(QStringView text);

/// Every line followed by CR LF, the last one too; no lines give an empty text.
QString joinCrLf(const QStringList& lines);

/// split() then joinCrLf(): line ends become CR LF, the text ends with CR LF unless empty.
QString normalize(QStringView text);

/// The bytes of a file written from lines: CR LF after every line, Windows-1252, no BOM.
QByteArray encodeCrLf(const QStringList& lines);

/// Reads a whole file and applies decode() and normalize().
Result<QString> readFile(const QString& path);

} // namespace textlines
