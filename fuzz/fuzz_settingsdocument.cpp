// A settings file's bytes through the reader; whatever it accepts must survive our writer.
#include <QByteArray>

#include "common/ansicodec.h"
#include "fuzz/fuzzcheck.h"
#include "settings/settingsdocument.h"

using fuzzcheck::require;

namespace {

bool fits1252(const QString& name) {
    return ansi::toText(ansi::fromText(name)) == name;
}

// Only a file with a byte-order mark can bring markup that the Windows-1252 file we write cannot
// hold, in a name, a comment or a processing instruction; the writer changes those characters.
bool namesFit1252(const SettingsElement& e) {
    if (!fits1252(e.name))
        return false;
    for (const auto& attribute : e.attributes)
        if (!fits1252(attribute.first))
            return false;
    for (const SettingsElement& child : e.children)
        if (!namesFit1252(child))
            return false;
    return true;
}

Result<SettingsDocument> reread(const QByteArray& written) {
    Result<SettingsDocument> doc = SettingsDocument::parse(written);
    if (!doc)
        std::fprintf(stderr, "%s\n%s\n", written.toBase64().constData(), qPrintable(doc.message()));
    require(doc.ok(), "what we write parses");
    return doc;
}

bool markupFits1252(const SettingsDocument& doc) {
    for (const QString& item : doc.prolog)
        if (!fits1252(item))
            return false;
    return namesFit1252(doc.root);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Result<SettingsDocument> read = SettingsDocument::parse(fuzzcheck::bytes(data, size));
    if (!read)
        return 0;
    const QByteArray written = read.value().toBytes();
    const Result<SettingsDocument> again = reread(written);
    if (markupFits1252(read.value()))
        require(again.value() == read.value(), "what we write reads back as the document we read");
    const QByteArray rewritten = again.value().toBytes();
    require(reread(rewritten).value() == again.value(), "a document we wrote reads back the same");
    require(rewritten == written, "and is written with the same bytes");
    return 0;
}
