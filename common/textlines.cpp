#include "common/textlines.h"

#include <QFile>
#include <QStringDecoder>

#include "common/ansicodec.h"

using namespace Qt::Literals::StringLiterals;

namespace textlines {

QString decode(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.sliced(3));
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder.decode(bytes.sliced(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(QStringDecoder::Utf16BE);
        return decoder.decode(bytes.sliced(2));
    }
    return ansi::toText(bytes);
}

QStringList split(QStringView text) {
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        text = text.first(nul);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.sliced(start).toString());
    return lines;
}

QString joinCrLf(const QStringList& lines) {
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    QString out;
    out.reserve(size);
    for (const QString& line : lines) {
        out += line;
        out += u"\r\n"_s;
    }
    return out;
}

QString normalize(QStringView text) {
    return joinCrLf(split(text));
}

QByteArray encodeCrLf(const QStringList& lines) {
    return ansi::fromText(joinCrLf(lines));
}

Result<QString> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{1, u"Cannot open file \"%1\". %2"_s.arg(path, file.errorString())};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Failure{2, u"Cannot read file \"%1\". %2"_s.arg(path, file.errorString())};
    return normalize(decode(bytes));
}

} // namespace textlines
