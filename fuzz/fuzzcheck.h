#pragma once

#include <QByteArrayView>
#include <QStringView>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every fuzz target provides; libFuzzer or replay.cpp calls it once per input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzzcheck {

/// Stops the run on a broken invariant, which libFuzzer then keeps as a crash input.
inline void require(bool holds, const char* invariant) {
    if (holds)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

inline QByteArrayView bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)};
}

/// Text as the text-file rules leave it: empty, or lines each ended by CR LF, with no lone CR,
/// no lone LF and no NUL.
inline bool isCrLfText(QStringView text) {
    if (!text.isEmpty() && !text.endsWith(u"\r\n"))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0)
            return false;
        if (c == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))
            return false;
        if (c == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            return false;
    }
    return true;
}

} // namespace fuzzcheck
