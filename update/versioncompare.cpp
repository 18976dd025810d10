#include "update/versioncompare.h"

bool isNewerVersion(const QString& running, const QString& announced) {
    // QString's ordering is by UTF-16 code unit values, the shorter prefix first.
    return QString::compare(running, announced, Qt::CaseSensitive) < 0;
}
