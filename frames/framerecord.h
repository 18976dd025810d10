#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

/// One frame that crossed the link, as the inspector keeps it. The bytes are those on the wire;
/// for a received block they share the poll's buffer (implicit sharing), so keeping a record
/// copies nothing. Of a frame larger than the frame log's head limit only the head is kept:
/// wireSize then tells how large it was, and cut() says so.
struct FrameRecord {
    enum class Direction { Received, Sent };
    /// Where a sent frame came from; Received for the host's blocks.
    enum class Source { Received, Typed, ChosenFile, Outbox, Resend };
    /// What became of a received block in the archive.
    enum class Archive {
        NotApplicable, ///< a sent frame
        Written,       ///< detail holds the file's path
        Off,           ///< XMLBestandenBewaren off
        NoFrame,       ///< SOH or EOT missing (the inspector tells a frame split over two ticks)
        Undecodable,   ///< the decoder refused the payload; detail holds its message
        NotWritable,   ///< the archive folder refused the file; detail holds the message
    };
    /// What became of an outbox file after its frame was written.
    enum class Delivery {
        NotApplicable,        ///< not an outbox send
        Deleted,              ///< deleted after the write, as without confirmation
        AwaitingConfirmation, ///< written, kept until the host acknowledges
        Confirmed,            ///< acknowledged and deleted
        NotConfirmed,         ///< no acknowledgement in time: the file stays for a later pass
        NotDeletable,         ///< written (and acknowledged if asked), but the file stays
        WriteFailed,          ///< the write failed; the file stays
        NotAcknowledged,      ///< the host's TCP did not take the whole frame: link dropped, file stays
    };

    QDateTime time;
    Direction direction = Direction::Received;
    Source source = Source::Received;
    QByteArray bytes;
    /// The frame's size on the wire; more than bytes.size() when only its head is kept.
    qsizetype wireSize = 0;
    /// Whether the payload is meant to be Base64: always for received blocks (the archive decodes
    /// them), as enc64verzenden stood for sent frames.
    bool base64 = true;
    /// A sent frame's payload before framing, what a resend sends again; empty for received.
    QString payload;
    Archive archive = Archive::NotApplicable;
    QString archiveDetail;
    QString file; ///< the chosen or outbox file a sent frame came from
    Delivery delivery = Delivery::NotApplicable;
    /// Unique within one FrameLog; a later update finds its record by it.
    std::uint64_t serial = 0;

    bool cut() const { return bytes.size() < wireSize; }
};
