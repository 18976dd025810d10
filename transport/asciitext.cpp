#include "transport/asciitext.h"

#include <QChar>
#include <QString>

namespace ascii {

namespace {

char fitOf(char16_t unit) {
    if (QChar::isSurrogate(unit))
        return '?';
    // A canonical or compatibility decomposition that starts with an ASCII character is the
    // closest letter we can send ("é" -> "e", "ﬁ" -> "f"); others have no fit.
    const QString d = QChar::decomposition(unit);
    if (!d.isEmpty() && d.front().unicode() >= 0x20 && d.front().unicode() < 0x7F)
        return static_cast<char>(d.front().unicode());
    return '?';
}

} // namespace

char byteOf(char16_t unit) {
    return unit < 0x80 ? static_cast<char>(unit) : fitOf(unit);
}

QByteArray fromText(QStringView text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    char* dst = out.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        *dst++ = u < 0x80 ? static_cast<char>(u) : fitOf(u);
    }
    return out;
}

} // namespace ascii
