#pragma once

#include <QLocale>
#include <QString>

#include "update/updatetypes.h"

/// A byte count as the update dialogs show it: a whole number grouped by the locale's thousands
/// separator, a blank and the unit. Divisions truncate; in a fixed unit any size below one unit
/// but above zero shows as 1. Auto picks the unit by strict thresholds, so 1024 bytes still show
/// as "1,024 B" and 1048576 bytes as "1,024 KB".
QString FileSizeText(qint64 size, FileSizeUnit unit, const QLocale& locale = QLocale());
