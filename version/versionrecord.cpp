#include "version/versionrecord.h"

#include <QStringList>

namespace {

constexpr std::uint32_t kSignature = 0xFEEF04BD;
constexpr std::uint32_t kStructVersion = 0x00010000;

void putU32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putU16(QByteArray& out, std::uint32_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}

void putText(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8().left(0xFFFF);
    putU16(out, static_cast<std::uint32_t>(utf8.size()));
    out.append(utf8);
}

class Cursor {
public:
    explicit Cursor(QByteArrayView bytes)
        : m_bytes(bytes) {}
    bool u32(std::uint32_t& v) {
        if (m_pos + 4 > m_bytes.size())
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t(static_cast<unsigned char>(m_bytes[m_pos + i])) << (8 * i);
        m_pos += 4;
        return true;
    }
    bool u16(std::uint32_t& v) {
        if (m_pos + 2 > m_bytes.size())
            return false;
        v = std::uint32_t(static_cast<unsigned char>(m_bytes[m_pos])) |
            std::uint32_t(static_cast<unsigned char>(m_bytes[m_pos + 1])) << 8;
        m_pos += 2;
        return true;
    }
    bool text(QString& s) {
        std::uint32_t n = 0;
        if (!u16(n) || m_pos + qsizetype(n) > m_bytes.size())
            return false;
        s = QString::fromUtf8(m_bytes.sliced(m_pos, n));
        m_pos += n;
        return true;
    }
    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

} // namespace

bool VersionRecord::parseVersion(const QString& text, std::uint32_t& ms, std::uint32_t& ls) {
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    std::array<std::uint32_t, 4> n{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok);
        if (!ok || v > 0xFFFF)
            return false;
        n[i] = v;
    }
    ms = n[0] << 16 | n[1];
    ls = n[2] << 16 | n[3];
    return true;
}

namespace versionrecord {

QByteArray magic() {
    // Assembled at run time so that the reader's own code never holds the pattern it scans for.
    QByteArray m("RTCP-VERSIONREC");
    m.append('\x01');
    return m;
}

std::uint32_t crc32(QByteArrayView bytes, std::uint32_t crc) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (const char b : bytes)
        crc = table[(crc ^ static_cast<unsigned char>(b)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QByteArray encode(const VersionRecord& r) {
    QByteArray body;
    for (const std::uint32_t v : {kSignature, kStructVersion, r.fileVersionMS, r.fileVersionLS,
                                  r.productVersionMS, r.productVersionLS, r.flagsMask, r.flags, r.fileOS,
                                  r.fileType, r.fileSubtype, std::uint32_t(0), std::uint32_t(0)})
        putU32(body, v);
    putU32(body, r.translation);
    putU16(body, static_cast<std::uint32_t>(r.strings.size()));
    for (const auto& [key, value] : r.strings) {
        putText(body, key);
        putText(body, value);
    }
    QByteArray out = magic();
    putU32(out, static_cast<std::uint32_t>(body.size()));
    putU32(out, crc32(body));
    out.append(body);
    return out;
}

std::optional<VersionRecord> decodeBody(QByteArrayView body) {
    Cursor c(body);
    std::uint32_t signature = 0, structVersion = 0, dateMS = 0, dateLS = 0, count = 0;
    VersionRecord r;
    if (!c.u32(signature) || signature != kSignature || !c.u32(structVersion) || !c.u32(r.fileVersionMS) ||
        !c.u32(r.fileVersionLS) || !c.u32(r.productVersionMS) || !c.u32(r.productVersionLS) ||
        !c.u32(r.flagsMask) || !c.u32(r.flags) || !c.u32(r.fileOS) || !c.u32(r.fileType) ||
        !c.u32(r.fileSubtype) || !c.u32(dateMS) || !c.u32(dateLS) || !c.u32(r.translation) || !c.u16(count))
        return std::nullopt;
    for (std::uint32_t i = 0; i < count; ++i) {
        QString key, value;
        if (!c.text(key) || !c.text(value))
            return std::nullopt;
        r.strings.append({key, value});
    }
    if (!c.atEnd())
        return std::nullopt;
    return r;
}

} // namespace versionrecord
