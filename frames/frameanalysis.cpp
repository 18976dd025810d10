#include "frames/frameanalysis.h"

#include <QByteArray>
#include <array>

#include "common/ansicodec.h"
#include "common/leadingnumber.h"
#include "transport/base64.h"

namespace {

constexpr char kSoh = 0x01;
constexpr char kStx = 0x02;
constexpr char kEot = 0x04;

constexpr std::array<bool, 256> alphabet() {
    std::array<bool, 256> table{};
    for (int c = 'A'; c <= 'Z'; ++c)
        table[std::size_t(c)] = true;
    for (int c = 'a'; c <= 'z'; ++c)
        table[std::size_t(c)] = true;
    for (int c = '0'; c <= '9'; ++c)
        table[std::size_t(c)] = true;
    table['+'] = true;
    table['/'] = true;
    return table;
}

qsizetype firstBadBase64(QByteArrayView payload) {
    static constexpr std::array<bool, 256> kAlphabet = alphabet();
    const qsizetype n = payload.size();
    qsizetype i = 0;
    while (i < n && kAlphabet[static_cast<unsigned char>(payload[i])])
        ++i;
    if (i < n) {
        // Padding: one or two "=" closing the last group of four, nothing after them.
        if (payload[i] != '=' || i % 4 < 2)
            return i;
        const qsizetype padEnd = i + (4 - i % 4);
        for (qsizetype j = i; j < padEnd; ++j)
            if (j >= n || payload[j] != '=')
                return j;
        return padEnd < n ? padEnd : -1;
    }
    return n % 4 == 0 ? -1 : n - n % 4;
}

QString firstLineOf(QByteArrayView bytes) {
    qsizetype end = 0;
    while (end < bytes.size() && end < FrameAnalysis::kFirstLineLimit && bytes[end] != '\r' &&
           bytes[end] != '\n')
        ++end;
    return ansi::toText(bytes.first(end));
}

} // namespace

FrameAnalysis FrameAnalysis::of(QByteArrayView bytes, bool base64) {
    FrameAnalysis a;
    const qsizetype soh = bytes.indexOf(kSoh);
    a.soh = soh >= 0;
    const qsizetype from = a.soh ? soh + 1 : 0;
    const qsizetype stx = bytes.sliced(from).indexOf(kStx);
    a.stx = stx >= 0;
    if (a.stx) {
        const QString digits = ansi::toText(bytes.sliced(from, stx));
        a.declaredLength = leadingNumber(digits);
        a.payloadOffset = from + stx + 1;
    } else {
        a.payloadOffset = from;
    }
    const QByteArrayView rest = bytes.sliced(a.payloadOffset);
    const qsizetype eot = rest.indexOf(kEot);
    a.eot = eot >= 0;
    a.actualLength = a.eot ? eot : rest.size();
    const qsizetype checked =
        a.declaredLength && *a.declaredLength >= 0 && *a.declaredLength <= a.actualLength
            ? qsizetype(*a.declaredLength)
            : a.actualLength;
    const QByteArrayView payload = rest.first(checked);
    if (!base64) {
        a.firstLine = firstLineOf(payload);
        return a;
    }
    const qsizetype bad = firstBadBase64(payload);
    a.base64BadOffset = bad < 0 ? -1 : a.payloadOffset + bad;
    if (bad >= 0) {
        a.firstLine = firstLineOf(payload);
        return a;
    }
    // Enough groups of four for the first line's limit; the rest is never decoded here. Clean
    // Base64 holds no NUL, so the decoder does not refuse it.
    const qsizetype prefix = std::min(payload.size(), (kFirstLineLimit + 2) / 3 * 4 + 4);
    const Result<QString> decoded = base64::decode(QString::fromLatin1(payload.first(prefix)));
    a.firstLine = firstLineOf(decoded ? decoded.value().toLatin1() : payload.toByteArray());
    return a;
}
