#pragma once

#include <QDateTime>
#include <QString>

/// The time stamp in the names of the files we write. It has no milliseconds: two files within
/// one second get one stamp, so writers pair it with newfile::write(), which never overwrites.
enum class StampOrder {
    DayFirst,  ///< logs and archive: dd mm yyyy hh nn ss, then month and seconds unpadded
    YearFirst, ///< SMS requests: yyyy mm dd hh nn ss, then month and seconds unpadded
};

/// 7 March 2026 14:05:09 gives "0703202614050939" (DayFirst) or "2026030714050939" (YearFirst).
QString fileStamp(const QDateTime& localTime, StampOrder order);
