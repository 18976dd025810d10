// A received block through the frame reader's cutting and decoding (what the archive writes and
// the inspector shows), and the same bytes as a payload framed the way a dispatch host frames it.
#include <QByteArray>
#include <QString>

#include "common/ansicodec.h"
#include "common/textlines.h"
#include "frames/framelog.h"
#include "frames/framereader.h"
#include "fuzz/fuzzcheck.h"
#include "transport/base64.h"

using fuzzcheck::require;

namespace {

bool allBelow256(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

void checkBlock(QByteArrayView block) {
    const QString text = ansi::toText(block);
    const std::optional<QString> payload = framereader::payloadOf(text);
    require(payload.has_value() ==
                (text.contains(QChar(framereader::kSoh)) && text.contains(QChar(framereader::kEot))),
            "a payload exactly when the block holds SOH and EOT");
    const Result<QByteArray> decoded = framereader::decodedPayload(block);
    if (!payload) {
        require(!decoded, "no frame, nothing decoded");
        return;
    }
    // The payload was cut from text that had its NULs cut off, so the decoder never refuses it.
    require(!payload->contains(QChar(0)), "no NUL in a payload");
    require(textlines::normalize(text).contains(*payload), "the payload is a piece of the block's text");
    require(decoded.ok(), "a payload always decodes");
    const Result<QString> raw = base64::decode(*payload);
    require(raw.ok() && raw.value().size() <= payload->size() / 4 * 3,
            "three bytes at most per group of four");
    require(allBelow256(raw.value()), "the decoder gives bytes");
    const QString archived = QString::fromLatin1(decoded.value());
    require(fuzzcheck::isCrLfText(archived), "the archive text has CR LF lines");
    require(archived == textlines::normalize(raw.value()), "the archive text is the decoded payload's lines");
    FrameLog log;
    const std::uint64_t serial = log.addReceived({}, block.toByteArray(), std::nullopt);
    require(block.size() > log.headLimit() || log.decodedPayload(serial) == ansi::toText(decoded.value()),
            "the inspector shows what is archived");
}

void checkFramed(QByteArrayView bytes) {
    const QString payload = QString::fromLatin1(bytes);
    const QString encoded = base64::encode(payload);
    require(encoded.size() == base64::encodedSize(payload.size()), "the encoding's length");
    const Result<QString> back = base64::decode(encoded);
    require(back.ok() && back.value() == payload, "decode(encode(x)) == x");
    const QByteArray frame =
        '\x01' + QByteArray::number(encoded.size()) + '\x02' + encoded.toLatin1() + '\x04';
    const Result<QByteArray> archived = framereader::decodedPayload(frame);
    require(archived.ok() && archived.value() == textlines::normalize(payload).toLatin1(),
            "a framed payload is archived as its own lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes = fuzzcheck::bytes(data, size);
    checkBlock(bytes);
    checkFramed(bytes);
    return 0;
}
