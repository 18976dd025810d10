#include "settings/settingsdocument.h"

#include <QXmlStreamReader>

#include "common/ansicodec.h"
#include "common/textlines.h"

using namespace Qt::Literals::StringLiterals;

namespace {

bool representable(char32_t c) {
    if (c > 0xFFFF)
        return false;
    const QString one(QChar(static_cast<char16_t>(c)));
    return ansi::toText(ansi::fromText(one)) == one;
}

enum class Place { Text, Attribute };

// A reader turns a raw CR LF or lone CR into LF, and in an attribute also LF and tab into a
// blank; as references they read back as themselves.
bool keptRaw(char32_t c, Place place) {
    if (c == U'\r')
        return false;
    if (place == Place::Attribute && (c == U'\n' || c == U'\t'))
        return false;
    return c <= 0x20AB && representable(c);
}

// XML has no way to carry the other control characters, U+FFFE and U+FFFF, not even as
// references; a value from an edit can still hold them.
bool xmlCanCarry(char32_t c) {
    return c == U'\t' || c == U'\n' || c == U'\r' || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000;
}

QString escaped(QStringView text, Place place = Place::Text) {
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        switch (c) {
        case U'<':
            out += u"&lt;"_s;
            break;
        case U'>':
            out += u"&gt;"_s;
            break;
        case U'"':
            out += u"&quot;"_s;
            break;
        case U'&':
            out += u"&amp;"_s;
            break;
        case U'\'':
            out += u"&apos;"_s;
            break;
        default:
            if (!xmlCanCarry(c))
                out += u'?';
            else if (!keptRaw(c, place))
                out += u"&#x"_s + QString::number(c, 16).rightJustified(2, u'0') + u';';
            else
                out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

// Names, comments and processing instructions take no references: each character Windows-1252
// holds is written as itself, the euro sign too. One it cannot hold (only a file with a
// byte-order mark can bring it) becomes "_", which renames an element we do not know but keeps
// the file readable; a "?" could close a processing instruction early.
QString writableMarkup(QStringView markup) {
    QString out;
    out.reserve(markup.size());
    for (const char32_t c : markup.toUcs4())
        out += representable(c) ? QChar(static_cast<char16_t>(c)) : QChar(u'_');
    return out;
}

void writeElement(const SettingsElement& e, int depth, QString& out) {
    const QString indent(depth * 2, u' ');
    const QString name = writableMarkup(e.name);
    QString open = indent + u'<' + name;
    for (const auto& [attribute, value] : e.attributes)
        open += u' ' + writableMarkup(attribute) + u"=\""_s + escaped(value, Place::Attribute) + u'"';
    if (!e.children.isEmpty()) {
        out += open + u">\r\n"_s;
        for (const SettingsElement& c : e.children)
            writeElement(c, depth + 1, out);
        out += indent + u"</"_s + name + u">\r\n"_s;
    } else if (!e.value.isEmpty()) {
        out += open + u'>' + escaped(e.value) + u"</"_s + name + u">\r\n"_s;
    } else {
        out += open + u"/>\r\n"_s;
    }
}

// Read without recursion, one level of the stack per open element: a file nested thousands of
// levels deep is damaged, not a reason to run out of stack.
SettingsElement readElement(QXmlStreamReader& xml) {
    struct Open {
        SettingsElement element;
        QString text;
    };
    const auto start = [&xml] {
        Open open;
        open.element.name = xml.qualifiedName().toString();
        for (const QXmlStreamAttribute& a : xml.attributes())
            open.element.attributes.append({a.qualifiedName().toString(), a.value().toString()});
        return open;
    };
    QList<Open> stack{start()};
    while (xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isStartElement()) {
            if (stack.size() >= SettingsDocument::maxDepth) {
                xml.raiseError(u"meer dan %1 niveaus diep genest"_s.arg(SettingsDocument::maxDepth));
                break;
            }
            stack.append(start());
        } else if (xml.isCharacters()) {
            stack.last().text += xml.text();
        } else if (xml.isEndElement()) {
            Open done = stack.takeLast();
            // Between child elements the text is only the layout's line breaks and indentation.
            if (done.element.children.isEmpty())
                done.element.value = std::move(done.text);
            if (stack.isEmpty())
                return std::move(done.element);
            stack.last().element.children.append(std::move(done.element));
        }
    }
    return {};
}

} // namespace

Result<SettingsDocument> SettingsDocument::parse(QByteArrayView bytes) {
    // Decoded by us, not by the reader: a QString input makes it ignore the header's encoding.
    QXmlStreamReader xml(textlines::decode(bytes));
    // Names are kept as written, prefixes and xmlns attributes included: the writer knows no
    // namespaces, and a prefix whose declaration was dropped would make the file unreadable.
    xml.setNamespaceProcessing(false);
    SettingsDocument doc;
    doc.prolog.clear();
    bool haveRoot = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            doc.version = xml.documentVersion().toString();
            doc.encoding = xml.documentEncoding().toString();
            doc.standalone = xml.isStandaloneDocument();
            break;
        case QXmlStreamReader::Comment:
            if (!haveRoot)
                doc.prolog.append(u"<!--"_s + xml.text() + u"-->"_s);
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (!haveRoot) {
                const QString data = xml.processingInstructionData().toString();
                doc.prolog.append(u"<?"_s + xml.processingInstructionTarget() +
                                  (data.isEmpty() ? QString() : QString(u' ' + data)) + u"?>"_s);
            }
            break;
        case QXmlStreamReader::StartElement:
            doc.root = readElement(xml);
            haveRoot = true;
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return Failure{
            1,
            u"regel %1, kolom %2: %3"_s.arg(xml.lineNumber()).arg(xml.columnNumber()).arg(xml.errorString())};
    if (!haveRoot)
        return Failure{2, u"geen hoofdelement"_s};
    if (doc.version.isEmpty()) {
        // A file without a header is written with the header of a new file.
        doc.version = u"1.0"_s;
        doc.encoding = u"iso-8859-1"_s;
    }
    return doc;
}

QByteArray SettingsDocument::toBytes() const {
    QString out = u"<?xml version=\""_s + version + u'"';
    if (!encoding.isEmpty())
        out += u" encoding=\""_s + encoding + u'"';
    if (standalone)
        out += u" standalone=\"yes\""_s;
    out += u"?>\r\n"_s;
    for (const QString& item : prolog)
        out += writableMarkup(item) + u"\r\n"_s;
    writeElement(root, 0, out);
    return ansi::fromText(out);
}
