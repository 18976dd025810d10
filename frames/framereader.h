#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

#include "common/result.h"

/// The one reading of a received frame's payload: where it is cut from a block and how it is
/// decoded. The archive writes what it gives, and the inspector shows the same, so the two can
/// never tell different stories about one frame.
namespace framereader {

inline constexpr char16_t kSoh = 0x01; ///< the start marker
inline constexpr char16_t kStx = 0x02; ///< ends the declared length
inline constexpr char16_t kEot = 0x04; ///< the end marker, and the host's acknowledgement

/// The failure codes of decodedPayload().
enum FailureCode { NoFrame = 1, Undecodable = 2 };

/// The Base64 payload of the first frame in a block's text, or nothing when the text lacks
/// SOH or EOT. Line ends are made CR LF and everything after a NUL is dropped before cutting,
/// and the declared length counts characters of that text. With STX after the SOH the
/// payload is the declared number of characters after the STX (fewer when the text ends
/// first, none for 0 or less); without STX it is what lies after the SOH up to the first EOT
/// after it, or to the end of the block.
std::optional<QString> payloadOf(QStringView blockText);

/// The first frame of a received block (read in the ANSI code page) cut by payloadOf() and
/// decoded by our Base64 decoder, which counts a character outside the alphabet as 0 rather
/// than skipping it; then split into lines by the text file rules (a decoded NUL ends it) with
/// CR LF after every line. The bytes are the decoded bytes unchanged: exactly an archive
/// file's contents. A block without a frame (NoFrame) and a payload the decoder refuses
/// (Undecodable) are failures.
Result<QByteArray> decodedPayload(QByteArrayView block);

} // namespace framereader
