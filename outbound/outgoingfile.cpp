#include "outbound/outgoingfile.h"

#include <QDir>
#include <array>

#include "common/ansicodec.h"
#include "common/apperror.h"
#include "common/textlines.h"
#include "common/writerprobe.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Two passes over the source: the first measures, the second writes into a string of exactly
// that size.
template <class At>
QString normalized(qsizetype n, At at) {
    for (qsizetype i = 0; i < n; ++i)
        if (at(i) == 0) {
            n = i;
            break;
        }
    qsizetype size = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = at(i);
        if (c == u'\r' || c == u'\n') {
            size += 2;
            if (c == u'\r' && i + 1 < n && at(i + 1) == u'\n')
                ++i;
        } else {
            ++size;
        }
    }
    const bool unended = n > 0 && at(n - 1) != u'\r' && at(n - 1) != u'\n';
    if (unended)
        size += 2;
    QString out(size, Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = at(i);
        if (c == u'\r' || c == u'\n') {
            *dst++ = u'\r';
            *dst++ = u'\n';
            if (c == u'\r' && i + 1 < n && at(i + 1) == u'\n')
                ++i;
        } else {
            *dst++ = c;
        }
    }
    if (unended) {
        *dst++ = u'\r';
        *dst++ = u'\n';
    }
    return out;
}

} // namespace

QString outgoingText(QByteArray bytes) {
    const bool bom =
        bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    if (!bom) {
        // Windows-1252 straight from the bytes: one character per byte, no text in between.
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
        return normalized(bytes.size(), [b](qsizetype i) { return ansi::decodeByte(b[i]); });
    }
    QString decoded = textlines::decode(bytes);
    bytes = QByteArray();
    const QChar* t = decoded.constData();
    return normalized(decoded.size(), [t](qsizetype i) { return t[i].unicode(); });
}

void narrowToAnsi(QString& text) {
    static const auto representable = [] {
        std::array<bool, 65536> table{};
        for (unsigned b = 0; b < 256; ++b)
            table[ansi::decodeByte(static_cast<unsigned char>(b))] = true;
        return table;
    }();
    const QChar* const begin = text.constData();
    const QChar* const end = begin + text.size();
    // Most texts need nothing: look before detaching.
    const QChar* first = std::find_if(begin, end, [](QChar c) { return !representable[c.unicode()]; });
    if (first == end)
        return;
    const qsizetype from = first - begin;
    QChar* data = text.data();
    for (qsizetype i = from; i < text.size(); ++i)
        if (!representable[data[i].unicode()])
            data[i] = u'?';
}

QString readOutgoingFile(const QString& path) {
    if (writerprobe::probe(path) == writerprobe::State::BeingWritten)
        throw AppError(u"Cannot open file \"%1\". The process cannot access the file because it is being "
                       "used by another process."_s.arg(QDir::toNativeSeparators(path)));
    auto text = textlines::readFile(path);
    if (!text)
        throw AppError(text.message());
    return std::move(text).value();
}
