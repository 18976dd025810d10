#include "version/versioninforeader.h"

#include <QFile>
#include <algorithm>
#include <functional>

#include "version/versionrecord.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qsizetype kHeaderSize = 16 + 4 + 4;
constexpr qsizetype kMaxRecordSize = 65527;

QString versionText(std::uint32_t ms, std::uint32_t ls) {
    return u"%1.%2.%3.%4"_s.arg(ms >> 16).arg(ms & 0xFFFF).arg(ls >> 16).arg(ls & 0xFFFF);
}

QString osName(std::uint32_t os) {
    const auto high = [](std::uint32_t v) -> QString {
        switch (v) {
        case 0x0001:
            return u"MS-DOS"_s;
        case 0x0002:
            return u"OS/2 16"_s;
        case 0x0003:
            return u"OS/2 32"_s;
        case 0x0004:
            return u"Windows NT"_s;
        case 0x0010:
            return u"Linux"_s;
        default:
            return u"Unknown"_s;
        }
    };
    const auto low = [](std::uint32_t v) -> QString {
        switch (v) {
        case 0x0001:
            return u"Windows 16"_s;
        case 0x0002:
            return u"PM 16"_s;
        case 0x0003:
            return u"PM 32"_s;
        case 0x0004:
            return u"Windows 32"_s;
        case 0x0010:
            return u"POSIX"_s;
        default:
            return u"Unknown"_s;
        }
    };
    return high(os >> 16) + u" - "_s + low(os & 0xFFFF);
}

QString typeName(std::uint32_t type) {
    switch (type) {
    case 1:
        return u"Application"_s;
    case 2:
        return u"DLL"_s;
    case 3:
        return u"Driver"_s;
    case 4:
        return u"Font"_s;
    case 5:
        return u"VXD"_s;
    case 7:
        return u"Static Library"_s;
    default:
        return u"Unknown"_s;
    }
}

QString subtypeName(std::uint32_t type, std::uint32_t subtype) {
    if (type == 3) {
        static const char16_t* const drivers[] = {
            u"Unknown",        u"Printer",      u"Keyboard",         u"Language",    u"Display",
            u"Mouse",          u"Network",      u"System",           u"Installable", u"Sound",
            u"Communications", u"Input Method", u"Versioned Printer"};
        return subtype < std::size(drivers) ? QString::fromUtf16(drivers[subtype]) : u"Unknown"_s;
    }
    if (type == 4) {
        static const char16_t* const fonts[] = {u"Unknown", u"Raster", u"Vector", u"TrueType"};
        return subtype < std::size(fonts) ? QString::fromUtf16(fonts[subtype]) : u"Unknown"_s;
    }
    return {};
}

QString languageName(std::uint32_t language) {
    switch (language) {
    case 0x0000:
        return u"Language Neutral"_s;
    case 0x0409:
        return u"English (United States)"_s;
    case 0x0809:
        return u"English (United Kingdom)"_s;
    case 0x0413:
        return u"Dutch (Netherlands)"_s;
    case 0x0813:
        return u"Dutch (Belgium)"_s;
    case 0x0407:
        return u"German (Germany)"_s;
    case 0x040C:
        return u"French (France)"_s;
    default:
        return u"Unknown"_s;
    }
}

QString charSetName(std::uint32_t codePage) {
    switch (codePage) {
    case 0:
        return u"7-bit ASCII"_s;
    case 1200:
        return u"Unicode"_s;
    case 1250:
        return u"Windows, Latin-2 (Eastern European)"_s;
    case 1252:
        return u"Windows, Multilingual"_s;
    default:
        return u"Unknown"_s;
    }
}

} // namespace

void VersionInfoReader::Read() {
    m_infos.clear();
    m_debug = m_patched = m_preRelease = m_privateBuild = m_specialBuild = false;
    m_lastError = NoError;

    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_lastError = NoVersionRecord;
        return;
    }
    // Mapping keeps a large executable out of memory; fall back to reading where mapping fails.
    QByteArray copy;
    QByteArrayView bytes;
    if (uchar* mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr) {
        bytes = QByteArrayView(mapped, file.size());
    } else {
        copy = file.readAll();
        bytes = copy;
    }

    const QByteArray magic = versionrecord::magic();
    const std::boyer_moore_horspool_searcher searcher(magic.begin(), magic.end());
    std::optional<VersionRecord> record;
    bool sawCandidate = false;
    bool sawOversize = false;
    for (auto it = bytes.begin(); !record;) {
        it = std::search(it, bytes.end(), searcher);
        if (it == bytes.end())
            break;
        sawCandidate = true;
        const qsizetype at = it - bytes.begin();
        ++it;
        if (at + kHeaderSize > bytes.size())
            continue;
        const QByteArrayView header = bytes.sliced(at + magic.size(), 8);
        const auto u32 = [&](qsizetype i) {
            std::uint32_t v = 0;
            for (int k = 0; k < 4; ++k)
                v |= std::uint32_t(static_cast<unsigned char>(header[i + k])) << (8 * k);
            return v;
        };
        const qsizetype bodySize = u32(0);
        if (kHeaderSize + bodySize >= kMaxRecordSize) {
            sawOversize = true;
            continue;
        }
        if (at + kHeaderSize + bodySize > bytes.size())
            continue;
        const QByteArrayView body = bytes.sliced(at + kHeaderSize, bodySize);
        if (versionrecord::crc32(body) != u32(4))
            continue;
        record = versionrecord::decodeBody(body);
    }
    if (!record) {
        m_lastError = sawOversize ? RecordTooLarge : sawCandidate ? ReadFailed : NoVersionRecord;
        return;
    }

    const VersionRecord& r = *record;
    const std::uint32_t flags = r.flags & r.flagsMask;
    m_debug = flags & 0x01;
    m_preRelease = flags & 0x02;
    m_patched = flags & 0x04;
    m_privateBuild = flags & 0x08;
    m_specialBuild = flags & 0x20;

    const auto flagLine = [](const char16_t* name, bool set) -> QString {
        return QString::fromUtf16(name) + (set ? u"=1"_s : u"=0"_s);
    };
    m_infos << u"InternalFileVersion="_s + versionText(r.fileVersionMS, r.fileVersionLS)
            << u"InternalProductVersion="_s + versionText(r.productVersionMS, r.productVersionLS)
            << u"OSVersion="_s + osName(r.fileOS) << u"FileType="_s + typeName(r.fileType)
            << u"FileSubType="_s + subtypeName(r.fileType, r.fileSubtype) << flagLine(u"FlagDebug", m_debug)
            << flagLine(u"FlagPatched", m_patched) << flagLine(u"FlagPreRelease", m_preRelease)
            << flagLine(u"FlagPrivateBuild", m_privateBuild) << flagLine(u"FlagSpecialBuild", m_specialBuild)
            << u"Language="_s + languageName(r.translation >> 16)
            << u"CharSet="_s + charSetName(r.translation & 0xFFFF);

    const auto entry = [&r](const QString& key) -> std::optional<QString> {
        for (const auto& [k, v] : r.strings)
            if (k == key)
                return v;
        return std::nullopt;
    };
    for (const char16_t* key :
         {u"Comments", u"CompanyName", u"FileDescription", u"FileVersion", u"InternalName", u"LegalCopyright",
          u"LegalTrademarks", u"OriginalFileName", u"ProductName", u"ProductVersion"}) {
        const QString name = QString::fromUtf16(key);
        if (const auto v = entry(name))
            m_infos << name + u'=' + *v;
    }
    if (m_privateBuild)
        if (const auto v = entry(u"PrivateBuild"_s))
            m_infos << u"PrivateBuildInfos="_s + *v;
    if (m_specialBuild)
        if (const auto v = entry(u"SpecialBuild"_s))
            m_infos << u"SpecialBuildInfos="_s + *v;
}

QString VersionInfoReader::value(const QString& name) const {
    for (const QString& line : m_infos) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && QStringView(line).first(eq).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return {};
}
