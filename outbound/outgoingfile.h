#pragma once

#include <QString>

/// Reads a file that is about to be sent, as text with CR LF lines (BOM or Windows-1252).
/// A file that another program still holds open for writing is refused, as is one that cannot
/// be read: both throw AppError, so the file is neither sent nor deleted.
QString readOutgoingFile(const QString& path);
