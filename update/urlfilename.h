#pragma once

#include <QString>
#include <optional>

/// The text after the last "/" of a URL (the whole text without one); a query is part of it.
QString UrlFileName(const QString& url);

/// Where a download lands: downloadFolder + UrlFileName(url). Nothing when the name is empty,
/// holds a path separator ("\" included) or is "." or "..", so no file is ever written outside
/// the download folder.
std::optional<QString> downloadTargetPath(const QString& downloadFolder, const QString& url);
