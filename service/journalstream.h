#pragma once

#include <QByteArray>
#include <cstdio>

/// The journal's own priorities for lines written to standard output. When the stream is the
/// journal (systemd names the file it gave in JOURNAL_STREAM, as "device:inode"), each line
/// carries the priority prefix the journal reads ("<3>" ... "<6>") and strips; anywhere else
/// the line is written as it is, so a terminal or a file sees no prefix.
namespace journal {

enum class Priority { Err = 3, Warning = 4, Notice = 5, Info = 6 };

/// Whether stream is the file the journal handed over; asked afresh each time.
bool connectedTo(std::FILE* stream);
/// The line as written, without its line end: the prefix first when toJournal.
QByteArray prefixed(Priority priority, const QByteArray& line, bool toJournal);
/// Writes the line and a line end, then flushes, so the journal sees each entry as it happens.
void writeLine(std::FILE* stream, Priority priority, const QByteArray& line);

} // namespace journal
