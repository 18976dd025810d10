#pragma once

#include <QString>

/// True when the running version sorts strictly before the announced one, compared unit by unit
/// as UTF-16 text: no splitting at dots, so "9.0.1.10" is not newer than "9.0.1.9", and a longer
/// text with the same beginning sorts after ("9.0.1.3a" is newer than "9.0.1.3").
bool isNewerVersion(const QString& running, const QString& announced);
