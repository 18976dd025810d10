#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <functional>

#include "common/result.h"

/// Files that other programs read while we write them (the archive that a dispatch program
/// polls, the logs, the SMS requests in the outbox) appear whole or not at all. The bytes go
/// into a temporary file in the same folder under a name no reader takes: a leading dot and the
/// ending ".part", never ".xml" in any case, so neither a wildcard listing nor the outbox sender
/// picks it up. It is synced to disk, then linked under its final name, which must be free: an
/// existing entry of that name, a dangling symbolic link included, is never replaced, and the
/// next candidate name is tried instead. Last the folder is synced, so after a power cut the
/// file is there whole or not at all.
///
/// A writer killed half-way leaves only its temporary file, which removeLeftovers() takes away
/// at the next start.
namespace wholefile {

/// The failure codes of create().
enum FailureCode { NotCreated = 1, NotWritten = 2, NoFreeName = 3 };

/// The n-th name to try, n from 1; an empty name ends the search.
using Names = std::function<QString(int n)>;

/// Writes bytes into a new file in folder (with or without a trailing separator), named by the
/// first free name of names(1), names(2), ... up to names(maxNames). Returns the path written.
/// On failure no file is left behind under any name; the message names names(1).
Result<QString> create(const QString& folder, const Names& names, QByteArrayView bytes,
                       int maxNames = 100000);

/// Syncs folder's entries to disk, so that a file just renamed or linked into it stays there
/// after a power cut. False when the folder cannot be opened or synced.
bool syncFolder(const QString& folder);

/// True for the names of create()'s temporary files: ".rtcp-" + 6 letters or digits + ".part".
bool isTemporaryName(QStringView fileName);

/// Removes the temporary files that a killed or crashed writer left in folder. A file a live
/// writer is still busy with stays (its lock is held). Returns how many were removed.
int removeLeftovers(const QString& folder);

} // namespace wholefile
