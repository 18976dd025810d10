#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

/// What a frame looks like on the wire, for the inspector: which markers it holds, its declared
/// length against the bytes that follow, whether its payload is clean Base64 and the first line
/// of what it decodes to. Read from the raw bytes, without the archive's line-end rewriting, so
/// the offsets point into the bytes as they travelled. Pure; it never fails.
struct FrameAnalysis {
    static constexpr qsizetype kFirstLineLimit = 200; ///< characters of the first line kept

    bool soh = false; ///< an SOH anywhere in the block
    bool stx = false; ///< an STX after the SOH (or anywhere without one)
    bool eot = false; ///< an EOT after the payload's start
    /// The digits between SOH and STX, read as the archive reads them; none without STX.
    std::optional<std::int64_t> declaredLength;
    /// Bytes from the payload's start (after STX, else after SOH, else the block's start) up to
    /// the first EOT after it, or the end of the block.
    qsizetype actualLength = 0;
    qsizetype payloadOffset = 0;
    /// Offset in the block of the first byte that is not Base64 (a character outside the
    /// alphabet, a "=" that is not padding, or an unfinished group of four); -1 when the payload
    /// is clean. Checked over the declared length when it fits, else over the actual one.
    qsizetype base64BadOffset = -1;
    /// The first line of the payload, decoded from Base64 when asked for and clean, else the
    /// payload's own bytes in the ANSI code page; at most kFirstLineLimit characters.
    QString firstLine;

    bool lengthMatches() const { return declaredLength && *declaredLength == actualLength; }
    bool base64Valid() const { return base64BadOffset < 0; }

    /// One pass over the bytes; the first line decodes a bounded prefix only.
    static FrameAnalysis of(QByteArrayView bytes, bool base64);
};
