#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

#include "common/result.h"

/// Keeps the framed packet of a received block as an XML file: finds the start marker (SOH) and
/// the end marker (EOT), reads the declared length before STX, Base64-decodes the payload and
/// writes the decoded text as "MC_" + file stamp + ".XML" into the archive folder, CR LF after
/// every line, the decoded bytes unchanged. A second packet within the same second gets "_2", "_3", ...
/// rather than replacing the first, so no received packet is lost.
class InboundArchive {
public:
    using Clock = std::function<QDateTime()>;

    static constexpr char16_t kSoh = 0x01;
    static constexpr char16_t kStx = 0x02;
    static constexpr char16_t kEot = 0x04;

    /// The failure codes of archive(), so a caller can tell why no file was written.
    enum FailureCode { NoFrame = 1, Undecodable = 2, NotWritten = 3 };

    explicit InboundArchive(QString xmlFolder, Clock clock = &QDateTime::currentDateTime);

    /// The Base64 payload of the first frame in a block's text, or nothing when the text lacks
    /// SOH or EOT. Line ends are made CR LF and everything after a NUL is dropped before cutting,
    /// and the declared length counts characters of that text. With STX after the SOH the
    /// payload is the declared number of characters after the STX (fewer when the text ends
    /// first, none for 0 or less); without STX it is what lies after the SOH up to the first EOT
    /// after it, or to the end of the block.
    static std::optional<QString> payloadOf(QStringView blockText);

    /// What archive() writes for a block, before the file: the first frame's payload decoded,
    /// one character per byte (so every code unit is below 256), split into lines by the text
    /// file rules (a decoded NUL ends it) and CR LF after every line. A block without a frame
    /// and a payload the decoder refuses are failures.
    static Result<QString> decodedText(QByteArrayView block);

    /// Archives the first frame of a received block; at most one file. Returns the file
    /// written. A block without a frame, a payload the decoder refuses and a file that cannot be
    /// written are failures (NoFrame, Undecodable, NotWritten) that the receive poll never
    /// reports in a log; the frame inspector shows them.
    Result<QString> archive(QByteArrayView block);

    const QString& folder() const { return m_folder; }

private:
    QString m_folder;
    Clock m_clock;
};
