#pragma once

#include <QByteArray>
#include <QList>

/// The package size announced in a HEAD response's header lines: the first line that, lower
/// cased, begins with "content-length: " decides, its rest read as a decimal 32-bit signed
/// integer. No such line, or a number that does not convert (above 2147483647 included), gives 0.
qint32 contentLengthFromHeaderLines(const QList<QByteArray>& lines);
