#include "hexview/hexformatter.h"

#include <QStringDecoder>

#include "common/ansicodec.h"
#include "hexview/hexlayout.h"

using namespace Qt::Literals::StringLiterals;

namespace hexformat {

namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";

bool drawable(char32_t c) {
    if (!QChar::isPrint(c))
        return false;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return false;
    default:
        return true;
    }
}

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length and code point of the UTF-8 sequence at i, or 0 when none is valid there.
std::pair<int, char32_t> utf8At(QByteArrayView bytes, qsizetype i) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    int n = 0;
    char32_t c = 0;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        c = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0; // overlong
        if (b0 == 0xED)
            hi = 0x9F; // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        c = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return {0, 0};
    }
    if (i + n > bytes.size())
        return {0, 0};
    for (int k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if (!isContinuation(b) || (k == 1 && (b < lo || b > hi)))
            return {0, 0};
        c = (c << 6) | (b & 0x3F);
    }
    return {n, c};
}

QString utf8Column(QByteArrayView bytes, qsizetype from, qsizetype count) {
    QString out(count, u'.');
    // A sequence may have begun up to three bytes before the range.
    qsizetype i = from;
    for (qsizetype back = 1; back <= 3 && from - back >= 0; ++back) {
        const auto b = static_cast<unsigned char>(bytes[from - back]);
        if (isContinuation(b))
            continue;
        if (const auto [n, c] = utf8At(bytes, from - back); n > back)
            i = from - back + n;
        break;
    }
    for (qsizetype k = from; k < i && k < from + count; ++k)
        out[k - from] = u' ';
    while (i < from + count) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out[i - from] = displayChar(b, CharEncoding::Latin1);
            ++i;
            continue;
        }
        const auto [n, c] = utf8At(bytes, i);
        if (n == 0) {
            ++i;
            continue;
        }
        for (qsizetype k = i + 1; k < i + n && k < from + count; ++k)
            out[k - from] = u' ';
        if (drawable(c)) {
            if (QChar::requiresSurrogates(c)) {
                if (i + 1 < from + count) {
                    out[i - from] = QChar(QChar::highSurrogate(c));
                    out[i + 1 - from] = QChar(QChar::lowSurrogate(c));
                }
            } else {
                out[i - from] = QChar(char16_t(c));
            }
        }
        i += n;
    }
    return out;
}

} // namespace

QString offsetText(qint64 offset, int digits) {
    return QString::number(offset, 16).toUpper().rightJustified(digits, u'0') + u':';
}

QString byteHex(unsigned char byte) {
    const QChar pair[2] = {QChar(kDigits[byte >> 4]), QChar(kDigits[byte & 0xF])};
    return QString(pair, 2);
}

QString hexList(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (!out.isEmpty())
            out += u' ';
        out += QChar(kDigits[b >> 4]);
        out += QChar(kDigits[b & 0xF]);
    }
    return out;
}

QString copyText(QByteArrayView bytes, CharEncoding encoding) {
    QByteArray spaced = bytes.toByteArray();
    spaced.replace('\0', ' ');
    switch (encoding) {
    case CharEncoding::Windows1252:
        return ansi::toText(spaced);
    case CharEncoding::Utf8: {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return decoder.decode(spaced);
    }
    case CharEncoding::Latin1:
        break;
    }
    return QString::fromLatin1(spaced);
}

QChar displayChar(unsigned char byte, CharEncoding encoding) {
    if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F && encoding != CharEncoding::Windows1252))
        return u'.';
    if (encoding == CharEncoding::Utf8 && byte >= 0x80)
        return u'.'; // a byte alone is no character in UTF-8
    const char16_t c = encoding == CharEncoding::Windows1252 ? ansi::decodeByte(byte) : char16_t(byte);
    return drawable(c) || c == 0xAD ? QChar(c) : QChar(u'.');
}

QString charColumn(QByteArrayView context, qsizetype from, qsizetype count, CharEncoding encoding) {
    count = std::max<qsizetype>(0, std::min(count, context.size() - from));
    if (encoding == CharEncoding::Utf8)
        return utf8Column(context, from, count);
    QString out(count, u'.');
    for (qsizetype k = 0; k < count; ++k)
        out[k] = displayChar(static_cast<unsigned char>(context[from + k]), encoding);
    return out;
}

QString lineText(const HexLayout& layout, qint64 lineOffset, QByteArrayView lineBytes, const QString& chars) {
    const qsizetype n = std::min<qsizetype>(lineBytes.size(), HexLayout::BytesPerLine);
    QString out(layout.charCell(0) + n, u' ');
    out.replace(0, layout.digits() + 1, offsetText(lineOffset, layout.digits()));
    for (qsizetype k = 0; k < n; ++k) {
        out.replace(layout.hexCell(int(k)), 2, byteHex(static_cast<unsigned char>(lineBytes[k])));
        if (k < chars.size())
            out[layout.charCell(int(k))] = chars[k];
    }
    return out;
}

bool isWordByte(unsigned char byte, CharEncoding encoding) {
    if (byte == '_')
        return true;
    if (encoding == CharEncoding::Utf8 && byte >= 0x80)
        return true;
    return displayChar(byte, encoding).isLetterOrNumber();
}

std::pair<qsizetype, qsizetype> wordAround(QByteArrayView bytes, qsizetype index, CharEncoding encoding) {
    if (index < 0 || index >= bytes.size())
        return {index, 0};
    const auto word = [&](qsizetype i) {
        return isWordByte(static_cast<unsigned char>(bytes[i]), encoding);
    };
    if (!word(index))
        return {index, 1};
    qsizetype first = index, last = index;
    while (first > 0 && word(first - 1))
        --first;
    while (last + 1 < bytes.size() && word(last + 1))
        ++last;
    return {first, last - first + 1};
}

} // namespace hexformat
