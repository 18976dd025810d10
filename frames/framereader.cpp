#include "frames/framereader.h"

#include "common/ansicodec.h"
#include "common/leadingnumber.h"
#include "common/textlines.h"
#include "transport/base64.h"

using namespace Qt::Literals::StringLiterals;

namespace framereader {

std::optional<QString> payloadOf(QStringView blockText) {
    // The markers are looked for in the block as received, before a NUL could hide them.
    if (!blockText.contains(QChar(kSoh)) || !blockText.contains(QChar(kEot)))
        return std::nullopt;
    const QString text = textlines::normalize(blockText);
    // A NUL ahead of the SOH leaves no SOH in the text: then the whole text is the frame.
    const qsizetype soh = text.indexOf(QChar(kSoh));
    const QStringView frame = soh >= 0 ? QStringView(text).sliced(soh) : QStringView(text);
    const qsizetype stx = frame.indexOf(QChar(kStx));
    if (stx >= 0) {
        const std::int64_t declared = leadingNumber(stx > 1 ? frame.sliced(1, stx - 1) : QStringView());
        if (declared <= 0)
            return QString();
        const QStringView rest = frame.sliced(stx + 1);
        return rest.first(std::min<qsizetype>(rest.size(), declared)).toString();
    }
    const QStringView rest = frame.isEmpty() ? frame : frame.sliced(1);
    if (const qsizetype eot = rest.indexOf(QChar(kEot)); eot >= 0)
        return rest.first(eot).toString();
    // To the end of the block: the line end that the working text adds is not part of it.
    return (rest.endsWith(u"\r\n") ? rest.chopped(2) : rest).toString();
}

Result<QByteArray> decodedPayload(QByteArrayView block) {
    const std::optional<QString> payload = payloadOf(ansi::toText(block));
    if (!payload)
        return Failure{NoFrame, u"No framed packet in the block."_s};
    const Result<QString> decoded = base64::decode(*payload);
    if (!decoded)
        return Failure{Undecodable, decoded.message()};
    // One character per decoded byte, so Latin-1 gives back exactly the host's bytes. Through
    // Windows-1252 the bytes 0x80 to 0x9F would come out as "?", and a UTF-8 packet (a euro
    // sign is E2 82 AC) would be damaged.
    return textlines::normalize(decoded.value()).toLatin1();
}

} // namespace framereader
