#include "common/hexrender.h"

QString hexRender(QStringView text) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    QString out;
    out.reserve(text.size() * 3);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u > 0xFF) {
            out += QString::number(u, 16).toUpper();
        } else {
            out += QChar(digits[u >> 4]);
            out += QChar(digits[u & 0xF]);
        }
        out += u' ';
    }
    return out;
}
