#include "outbound/outgoingfile.h"

#include <QDir>
#include <algorithm>
#include <array>
#include <memory>

#include "common/ansicodec.h"
#include "common/apperror.h"
#include "common/textlines.h"
#include "common/writerprobe.h"
#include "transport/asciitext.h"
#include "transport/base64.h"

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

// The normalized text's characters, each with its Windows-1252 byte, in order, as normalized()
// writes them; visit returns false to stop.
template <class Unit, class Byte, class Visit>
void eachNormalized(qsizetype n, Unit unit, Byte byte, Visit visit) {
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = unit(i);
        if (c == u'\r' || c == u'\n') {
            if (!visit(u'\r', '\r') || !visit(u'\n', '\n'))
                return;
            if (c == u'\r' && i + 1 < n && unit(i + 1) == u'\n')
                ++i;
        } else if (!visit(c, byte(i))) {
            return;
        }
    }
    if (n > 0 && unit(n - 1) != u'\r' && unit(n - 1) != u'\n')
        std::ignore = visit(u'\r', '\r') && visit(u'\n', '\n');
}

// Base64 of the low byte of each character, fed one at a time, as base64::encodeTo does it.
class Base64Writer {
public:
    explicit Base64Writer(char* dst)
        : m_dst(dst) {}
    void put(char16_t c) {
        m_group = m_group << 8 | (c & 0xFFu);
        if (++m_held == 3) {
            flush(4);
            m_group = 0;
            m_held = 0;
        }
    }
    char* finish() {
        if (m_held == 0)
            return m_dst;
        const int held = m_held;
        m_group <<= 8 * (3 - held);
        flush(held + 1);
        for (int i = held; i < 3; ++i)
            *m_dst++ = '=';
        return m_dst;
    }

private:
    void flush(int count) {
        static constexpr char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int k = 0; k < count; ++k)
            *m_dst++ = kAlphabet[(m_group >> (18 - 6 * k)) & 63];
    }
    char* m_dst;
    unsigned m_group = 0;
    int m_held = 0;
};

template <class Unit, class Byte>
OutgoingFrame frameOf(qsizetype n, Unit unit, Byte byte, const framing::Options& o, qsizetype head) {
    for (qsizetype i = 0; i < n; ++i)
        if (unit(i) == 0) {
            n = i;
            break;
        }
    OutgoingFrame out;
    qsizetype size = 0;
    eachNormalized(n, unit, byte, [&size](char16_t, char) { return ++size, true; });
    out.payloadSize = size;
    out.payloadHead.reserve(std::min(size, head));
    eachNormalized(n, unit, byte, [&out, head](char16_t c, char) {
        if (out.payloadHead.size() >= head)
            return false;
        out.payloadHead.append(QChar(c));
        return true;
    });
    const qsizetype bodySize = o.base64 ? base64::encodedSize(size) : size;
    const QByteArray length = o.stx ? QByteArray::number(bodySize) : QByteArray();
    out.ansi = QByteArray((o.soh ? 1 : 0) + (o.stx ? length.size() + 1 : 0) + bodySize + (o.eot ? 1 : 0),
                          Qt::Uninitialized);
    char* dst = out.ansi.data();
    if (o.soh)
        *dst++ = char(framing::kSoh);
    if (o.stx) {
        dst = std::copy(length.begin(), length.end(), dst);
        *dst++ = char(framing::kStx);
    }
    if (o.base64) {
        Base64Writer writer(dst);
        eachNormalized(n, unit, byte, [&writer](char16_t c, char) { return writer.put(c), true; });
        dst = writer.finish();
    } else {
        eachNormalized(n, unit, byte, [&dst](char16_t, char b) { return *dst++ = b, true; });
    }
    if (o.eot)
        *dst++ = char(framing::kEot);
    Q_ASSERT(dst == out.ansi.constData() + out.ansi.size());
    return out;
}

// Every UTF-16 code unit's Windows-1252 byte, "?" where it has none.
const std::array<unsigned char, 65536>& ansiTable() {
    static const auto table = [] {
        auto t = std::make_unique<std::array<unsigned char, 65536>>();
        t->fill('?');
        for (unsigned b = 0; b < 256; ++b)
            (*t)[ansi::decodeByte(static_cast<unsigned char>(b))] = static_cast<unsigned char>(b);
        return t;
    }();
    return *table;
}

} // namespace

OutgoingFrame outgoingFrame(QByteArray bytes, const framing::Options& options, qsizetype payloadHead) {
    const bool bom =
        bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    if (!bom) {
        // Windows-1252 straight from the bytes: each byte is its own character's byte.
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
        return frameOf(
            bytes.size(), [b](qsizetype i) { return ansi::decodeByte(b[i]); },
            [b](qsizetype i) { return char(b[i]); }, options, payloadHead);
    }
    QString decoded = textlines::decode(bytes);
    bytes = QByteArray();
    const char16_t* t = reinterpret_cast<const char16_t*>(decoded.constData());
    const auto& table = ansiTable();
    return frameOf(
        decoded.size(), [t](qsizetype i) { return t[i]; },
        [t, &table](qsizetype i) { return char(table[t[i]]); }, options, payloadHead);
}

const std::array<char, 256>& wireBytes() {
    static const auto table = [] {
        std::array<char, 256> t{};
        for (unsigned b = 0; b < 256; ++b)
            t[b] = ascii::byteOf(ansi::decodeByte(static_cast<unsigned char>(b)));
        return t;
    }();
    return table;
}

bool isAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char b) { return static_cast<unsigned char>(b) < 0x80; });
}

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
