#pragma once

#include <QByteArrayView>
#include <QString>

#include "common/result.h"

/// Files we name from a time stamp are never written over: when "<stem><ext>" is taken, the
/// next free of "<stem>_2<ext>", "<stem>_3<ext>", ... is used. A name is taken by any entry, a
/// dangling symbolic link too, and the file appears under it whole (wholefile::create), so two
/// writers in one second, another program, or a reader polling the folder never meet half a
/// file.
namespace newfile {

/// Creates a new file in folder (with or without a trailing separator) and writes bytes into
/// it. Returns the path written. On failure nothing is left behind under any name.
Result<QString> write(const QString& folder, const QString& stem, const QString& extension,
                      QByteArrayView bytes);

/// The n-th candidate name: n = 1 gives "<stem><ext>", n >= 2 gives "<stem>_<n><ext>".
QString candidateName(const QString& stem, const QString& extension, int n);

} // namespace newfile
