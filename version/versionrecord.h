#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

/// The version record the build embeds in an executable, standing in for a Windows version
/// resource: the fixed part (versions as two 32-bit words each, flags, OS, type, subtype), one
/// translation entry and string entries. On file it is a magic, a size, a CRC-32 and the body,
/// so a reader finds it by scanning and can tell a real record from a stray match.
struct VersionRecord {
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t flagsMask = 0x3F;
    std::uint32_t flags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 1;
    std::uint32_t fileSubtype = 0;
    std::uint32_t translation = 0x041304E4; ///< language (high half), code page (low half)
    QList<std::pair<QString, QString>> strings;

    /// "a.b.c.d" to the two words; false when the text is not four numbers of 0..65535.
    static bool parseVersion(const QString& text, std::uint32_t& ms, std::uint32_t& ls);
};

namespace versionrecord {

/// 16 bytes that open every record.
QByteArray magic();

/// The record's bytes as they are embedded: magic, body size, CRC-32 of the body, body.
QByteArray encode(const VersionRecord& record);

/// Reads the body of a record (without magic, size and CRC); nothing when malformed.
std::optional<VersionRecord> decodeBody(QByteArrayView body);

/// CRC-32/ISO-HDLC.
std::uint32_t crc32(QByteArrayView bytes, std::uint32_t crc = 0);

} // namespace versionrecord
