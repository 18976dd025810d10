#include "common/filestamp.h"

using namespace Qt::Literals::StringLiterals;

QString fileStamp(const QDateTime& localTime, StampOrder order) {
    const QDate d = localTime.date();
    const QTime t = localTime.time();
    const auto two = [](int v) {
        return u"%1"_s.arg(v, 2, 10, QChar(u'0'));
    };
    const QString date = order == StampOrder::DayFirst
                             ? two(d.day()) + two(d.month()) + u"%1"_s.arg(d.year(), 4, 10, QChar(u'0'))
                             : u"%1"_s.arg(d.year(), 4, 10, QChar(u'0')) + two(d.month()) + two(d.day());
    return date + two(t.hour()) + two(t.minute()) + two(t.second()) + QString::number(d.month()) +
           QString::number(t.second());
}
