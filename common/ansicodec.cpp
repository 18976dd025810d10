#include "common/ansicodec.h"

#include <array>

namespace {

// 0x80..0x9F; the undefined bytes keep their own value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Code unit -> byte for the whole BMP; 64 KiB once, so narrowing is one table load per unit.
struct EncodeTable {
    std::array<unsigned char, 65536> bytes{};
    EncodeTable() {
        bytes.fill('?');
        for (unsigned b = 0; b < 256; ++b)
            bytes[ansi::decodeByte(static_cast<unsigned char>(b))] = static_cast<unsigned char>(b);
    }
};

const EncodeTable& encodeTable() {
    static const EncodeTable table;
    return table;
}

} // namespace

namespace ansi {

char16_t decodeByte(unsigned char b) noexcept {
    if (b >= 0x80 && b <= 0x9F)
        return kHigh[b - 0x80];
    return b;
}

QByteArray fromText(QStringView text) {
    const auto& table = encodeTable().bytes;
    QByteArray out(text.size(), Qt::Uninitialized);
    char* dst = out.data();
    for (const QChar c : text)
        *dst++ = static_cast<char>(table[c.unicode()]);
    return out;
}

QString toText(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char b : bytes)
        *dst++ = QChar(decodeByte(static_cast<unsigned char>(b)));
    return out;
}

} // namespace ansi
