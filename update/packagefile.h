#pragma once

#include <QString>

#include "common/result.h"

/// A download that appears under its name only once it is whole and verified: it is written
/// under a hidden name beside it (a dot, the name, ".part"; never ending as the name does, so
/// no program that watches the folder for "*.xml" or the like takes it early), then synced to
/// the disk and renamed over the name in one step.
namespace packagefile {

/// The hidden name for finalPath, in the same folder.
QString partialPath(const QString& finalPath);

/// Syncs partial to the disk and renames it to finalPath, replacing a file there (which
/// wholefile never does: a new download of a name takes the place of the old one), then syncs
/// the folder.
Result<void> commit(const QString& partial, const QString& finalPath);

} // namespace packagefile
