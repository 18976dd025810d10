// A settings file's bytes through the reader; whatever it accepts must survive our writer. The
// same bytes as a value the program stores must survive the writer too.
#include <QByteArray>
#include <cstring>

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

// Characters an XML file can carry at all, as themselves or as references.
bool xmlCanCarry(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        const bool carried =
            c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD);
        if (!carried)
            return false;
    }
    return true;
}

// Values also come from the operator's edits, so they can hold anything: the file we write must
// read back whatever they hold, and a value XML can carry must read back unchanged.
void checkStoredValue(QByteArrayView bytes) {
    QString value(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(value.data(), bytes.data(), value.size() * sizeof(QChar));
    SettingsDocument doc;
    doc.root.children.append({QStringLiteral("v"), {{QStringLiteral("a"), value}}, value, {}});
    const Result<SettingsDocument> back = reread(doc.toBytes());
    if (xmlCanCarry(value))
        require(back.value() == doc, "a stored value reads back unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkStoredValue(fuzzcheck::bytes(data, size));
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
