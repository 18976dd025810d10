#include "transport/asciitext.h"

#include <QChar>
#include <QString>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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
    narrow(text, out.data());
    return out;
}

void narrow(QStringView text, char* dst) {
    const char16_t* src = text.utf16();
    const char16_t* const end = src + text.size();
    // Frames are ASCII almost always: 32 units at a time narrow with one test and two stores
    // when none of them is above 0x7F; only a run holding something else goes unit by unit.
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const auto load = [](const char16_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    const auto isAscii = [high](__m128i units) {
        return _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), _mm_setzero_si128())) == 0xFFFF;
    };
    while (end - src >= 32) {
        const __m128i a = load(src);
        const __m128i b = load(src + 8);
        const __m128i c = load(src + 16);
        const __m128i d = load(src + 24);
        if (isAscii(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)))) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(a, b));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), _mm_packus_epi16(c, d));
        } else {
            for (int i = 0; i < 32; ++i)
                dst[i] = byteOf(src[i]);
        }
        src += 32;
        dst += 32;
    }
    while (end - src >= 8) {
        const __m128i a = load(src);
        if (isAscii(a)) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(a, a));
        } else {
            for (int i = 0; i < 8; ++i)
                dst[i] = byteOf(src[i]);
        }
        src += 8;
        dst += 8;
    }
#endif
    while (src < end)
        *dst++ = byteOf(*src++);
}

} // namespace ascii
