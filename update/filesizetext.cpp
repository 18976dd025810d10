#include "update/filesizetext.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kKilo = 1024;
constexpr qint64 kMega = 1048576;
constexpr qint64 kGiga = 1073741824;

QString render(qint64 number, const QString& unit, const QLocale& locale) {
    QLocale grouping = locale;
    grouping.setNumberOptions(grouping.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouping.toString(number) + u' ' + unit;
}

QString fixed(qint64 size, qint64 divisor, const QString& unit, const QLocale& locale) {
    if (size == 0)
        return render(0, unit, locale);
    if (size > 0 && size < divisor)
        return render(1, unit, locale);
    return render(size / divisor, unit, locale);
}

} // namespace

QString FileSizeText(qint64 size, FileSizeUnit unit, const QLocale& locale) {
    switch (unit) {
    case FileSizeUnit::Bytes:
        return render(size, u"B"_s, locale);
    case FileSizeUnit::KiloBytes:
        return fixed(size, kKilo, u"KB"_s, locale);
    case FileSizeUnit::MegaBytes:
        return fixed(size, kMega, u"MB"_s, locale);
    case FileSizeUnit::GigaBytes:
        return fixed(size, kGiga, u"GB"_s, locale);
    case FileSizeUnit::Auto:
        break;
    }
    if (size > kGiga)
        return render(size / kGiga, u"GB"_s, locale);
    if (size > kMega)
        return render(size / kMega, u"MB"_s, locale);
    if (size > kKilo)
        return render(size / kKilo, u"KB"_s, locale);
    return render(size, u"B"_s, locale);
}
