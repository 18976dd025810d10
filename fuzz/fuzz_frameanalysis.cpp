// A received block through the frame inspector's analysis, and the same bytes as a payload
// framed the way a dispatch host frames it.
#include <QByteArray>
#include <QString>

#include "common/ansicodec.h"
#include "frames/frameanalysis.h"
#include "fuzz/fuzzcheck.h"

using fuzzcheck::require;

namespace {

void checkBlock(QByteArrayView block) {
    for (const bool base64 : {true, false}) {
        const FrameAnalysis a = FrameAnalysis::of(block, base64);
        require(a.payloadOffset >= 0 && a.actualLength >= 0 &&
                    a.payloadOffset + a.actualLength <= block.size(),
                "the payload lies inside the block");
        require(a.base64BadOffset == -1 || (a.base64BadOffset >= a.payloadOffset &&
                                            a.base64BadOffset <= a.payloadOffset + a.actualLength),
                "a bad Base64 offset points into the payload or just past it");
        require(base64 || a.base64BadOffset == -1, "no Base64 verdict without Base64");
        require(a.firstLine.size() <= FrameAnalysis::kFirstLineLimit, "the first line is bounded");
        require(!a.firstLine.contains(u'\r') && !a.firstLine.contains(u'\n'), "the first line is one line");
        require(a.stx == a.declaredLength.has_value(), "a declared length exactly with STX");
    }
}

void checkFramed(QByteArrayView bytes) {
    const QByteArray encoded = bytes.toByteArray().toBase64();
    const QByteArray frame = '\x01' + QByteArray::number(encoded.size()) + '\x02' + encoded + '\x04';
    const FrameAnalysis a = FrameAnalysis::of(frame, true);
    require(a.soh && a.stx && a.eot, "all three markers");
    require(a.lengthMatches() && a.actualLength == encoded.size(), "the declared length is the actual one");
    require(a.base64Valid(), "an encoding is clean Base64");
    qsizetype end = 0;
    while (end < bytes.size() && end < FrameAnalysis::kFirstLineLimit && bytes[end] != '\r' &&
           bytes[end] != '\n')
        ++end;
    require(a.firstLine == ansi::toText(bytes.first(end)), "the first line is the payload's own");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes = fuzzcheck::bytes(data, size);
    checkBlock(bytes);
    checkFramed(bytes);
    return 0;
}
