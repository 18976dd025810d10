#pragma once

#include <QString>
#include <QStringView>

/// The frame every packet travels in: optional SOH, optional decimal length + STX, the payload
/// (plain or Base64), optional EOT. Pure functions: no I/O, cannot fail.
namespace framing {

struct Options {
    bool soh = false;
    bool stx = false;
    bool eot = false;
    bool base64 = false; // enc64verzenden
};

inline constexpr char16_t kSoh = 0x01;
inline constexpr char16_t kStx = 0x02;
inline constexpr char16_t kEot = 0x04;

/// The pieces back to back, nothing added: the length counts the payload as the frame holds
/// it (after Base64), never the control characters.
QString compact(QStringView payload, const Options& options);

/// Every piece a line ending in CR LF. The payload is a text whose lines already end in CR LF
/// (a file's text, the last line too): plain, it goes as it is and the length counts all of it;
/// Base64, its encoding goes as one line and the length counts that line without its CR LF.
QString lines(QStringView payload, const Options& options);

} // namespace framing
