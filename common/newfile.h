#pragma once

#include <QByteArrayView>
#include <QString>

#include "common/result.h"

/// Files we name from a time stamp are never written over: when "<stem><ext>" is taken, the
/// next free of "<stem>_2<ext>", "<stem>_3<ext>", ... is used. The name is claimed by creating
/// the file exclusively, so two writers in one second, or another program, cannot collide.
namespace newfile {

/// Creates a new file in folder (with or without a trailing separator) and writes bytes into
/// it. Returns the path written. On failure nothing is left behind.
Result<QString> write(const QString& folder, const QString& stem, const QString& extension,
                      QByteArrayView bytes);

/// The n-th candidate name: n = 1 gives "<stem><ext>", n >= 2 gives "<stem>_<n><ext>".
QString candidateName(const QString& stem, const QString& extension, int n);

} // namespace newfile
