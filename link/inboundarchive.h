#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <functional>

#include "common/result.h"
#include "frames/framereader.h"

/// Keeps the framed packet of a received block as an XML file: what framereader::decodedPayload()
/// reads from the block (the first frame's payload, Base64-decoded, CR LF after every line, the
/// decoded bytes unchanged) is written as "MC_" + file stamp + ".XML" into the archive folder.
/// A second packet within the same second gets "_2", "_3", ... rather than replacing the first,
/// so no received packet is lost.
class InboundArchive {
public:
    using Clock = std::function<QDateTime()>;

    static constexpr char16_t kSoh = framereader::kSoh;
    static constexpr char16_t kStx = framereader::kStx;
    static constexpr char16_t kEot = framereader::kEot;

    /// The failure codes of archive(), so a caller can tell why no file was written: the
    /// reader's two, and a file that could not be written.
    enum FailureCode {
        NoFrame = framereader::NoFrame,
        Undecodable = framereader::Undecodable,
        NotWritten = 3
    };

    explicit InboundArchive(QString xmlFolder, Clock clock = &QDateTime::currentDateTime);

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
