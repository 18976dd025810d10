#pragma once

#include <QByteArray>
#include <QString>

/// The whole content of the file at path; empty when it cannot be opened, so a comparison with
/// the expected bytes fails instead of the test.
QByteArray readFile(const QString& path);
/// Replaces the file at path with bytes. False when it cannot be opened or not all was written.
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes);
