#include "common/hexrender.h"

QString hexRender(QStringView text) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    // Sized once and written in place: a 100 MB frame renders to 300 million characters, and
    // appending them one by one held the window for over a second.
    qsizetype size = text.size() * 3;
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            size += c.unicode() > 0xFFF ? 2 : 1;
    QString out(size, Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u > 0xFFF)
            *to++ = digits[u >> 12];
        if (u > 0xFF)
            *to++ = digits[(u >> 8) & 0xF];
        *to++ = digits[(u >> 4) & 0xF];
        *to++ = digits[u & 0xF];
        *to++ = u' ';
    }
    return out;
}
