#include "common/leadingnumber.h"

std::int64_t leadingNumber(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    constexpr std::int64_t kLimit = 0xFFFFFFFFLL;
    std::int64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const int digit = c >= u'0' && c <= u'9'                 ? c - u'0'
                          : base == 16 && c >= u'a' && c <= u'f' ? c - u'a' + 10
                          : base == 16 && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                                 : -1;
        if (digit < 0)
            break;
        const std::int64_t next = value * base + digit;
        if (next > kLimit)
            break;
        value = next;
    }
    return negative ? -value : value;
}
