#include "transport/base64.h"

#include <array>

#include "transport/asciitext.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<unsigned char, 128> kValues = [] {
    std::array<unsigned char, 128> v{};
    for (unsigned i = 0; i < 64; ++i)
        v[kAlphabet[i]] = static_cast<unsigned char>(i);
    return v;
}();

// Non-ASCII characters narrow to 7-bit ASCII before decoding, as the wire conversion does.
inline unsigned valueOf(char16_t c) {
    return c < 128 ? kValues[c] : kValues[static_cast<unsigned char>(ascii::byteOf(c))];
}

} // namespace

namespace base64 {

QString encode(QStringView text) {
    QString out(encodedSize(text.size()), Qt::Uninitialized);
    encodeTo(text, out.data());
    return out;
}

QChar* encodeTo(QStringView text, QChar* dst) {
    const qsizetype n = text.size();
    const QChar* src = text.data();
    qsizetype i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (src[i].unicode() & 0xFFu) << 16 | (src[i + 1].unicode() & 0xFFu) << 8 |
                           (src[i + 2].unicode() & 0xFFu);
        *dst++ = QChar(kAlphabet[v >> 18]);
        *dst++ = QChar(kAlphabet[(v >> 12) & 63]);
        *dst++ = QChar(kAlphabet[(v >> 6) & 63]);
        *dst++ = QChar(kAlphabet[v & 63]);
    }
    if (n - i == 1) {
        const unsigned v = (src[i].unicode() & 0xFFu) << 16;
        *dst++ = QChar(kAlphabet[v >> 18]);
        *dst++ = QChar(kAlphabet[(v >> 12) & 63]);
        *dst++ = u'=';
        *dst++ = u'=';
    } else if (n - i == 2) {
        const unsigned v = (src[i].unicode() & 0xFFu) << 16 | (src[i + 1].unicode() & 0xFFu) << 8;
        *dst++ = QChar(kAlphabet[v >> 18]);
        *dst++ = QChar(kAlphabet[(v >> 12) & 63]);
        *dst++ = QChar(kAlphabet[(v >> 6) & 63]);
        *dst++ = u'=';
    }
    return dst;
}

Result<QString> decode(QStringView text) {
    if (text.contains(QChar(0)))
        return Failure{1, u"Base64: the text holds a NUL character."_s};
    const qsizetype groups = text.size() / 4;
    QString out(groups * 3, Qt::Uninitialized);
    QChar* dst = out.data();
    const QChar* src = text.data();
    for (qsizetype g = 0; g < groups; ++g, src += 4) {
        const unsigned v = valueOf(src[0].unicode()) << 18 | valueOf(src[1].unicode()) << 12 |
                           valueOf(src[2].unicode()) << 6 | valueOf(src[3].unicode());
        *dst++ = QChar(char16_t(v >> 16));
        if (src[2] == u'=')
            break;
        *dst++ = QChar(char16_t((v >> 8) & 0xFF));
        if (src[3] == u'=')
            break;
        *dst++ = QChar(char16_t(v & 0xFF));
    }
    out.truncate(dst - out.constData());
    return out;
}

} // namespace base64
