// A text file's bytes through the reader: the byte-order mark picks the encoding, otherwise
// Windows-1252; line ends become CR LF; the first NUL ends the text.
#include <QByteArray>
#include <QString>

#include "common/ansicodec.h"
#include "common/textlines.h"
#include "fuzz/fuzzcheck.h"

using fuzzcheck::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes = fuzzcheck::bytes(data, size);
    const QString text = textlines::decode(bytes);
    const bool bom =
        bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    if (!bom) {
        require(text.size() == bytes.size(), "Windows-1252 gives one character per byte");
        require(ansi::fromText(text) == bytes, "and writes back the same bytes");
    }

    const QString read = textlines::normalize(text);
    require(fuzzcheck::isCrLfText(read), "what the reader gives has CR LF lines");
    require(textlines::normalize(read) == read, "normalizing twice changes nothing");
    const QStringList lines = textlines::split(text);
    require(textlines::split(read) == lines, "the lines survive normalizing");
    require(read.isEmpty() == lines.isEmpty(), "empty exactly when there are no lines");

    // A file we write from lines read from a Windows-1252 file reads back as the same lines.
    if (!bom)
        require(textlines::normalize(textlines::decode(textlines::encodeCrLf(lines))) == read,
                "what we write reads back the same");
    return 0;
}
