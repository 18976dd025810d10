#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <deque>
#include <optional>

#include "common/result.h"
#include "frames/frameanalysis.h"
#include "frames/framerecord.h"

/// The frames that crossed the link, newest last, as a table for the inspector. Bounded three
/// ways, so a host that streams cannot grow it: at most capacity() records (1,000 by default),
/// at most byteBudget() bytes held by them all (frames, payloads, texts; the newest record is
/// kept whatever it costs) with the oldest going first, and of a frame above headLimit() bytes
/// only its head (the record says it was cut). Appending an ordinary frame never looks at its
/// bytes: its analysis is made the first time a view or a caller asks for it and then kept, so
/// the receive poll pays nothing; a frame that is cut is analysed whole before it is cut.
///
/// Records are found by serial, never by row: rows move as old records go.
class FrameLog : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        TimeColumn,
        DirectionColumn,
        MarkersColumn,
        LengthColumn,
        Base64Column,
        FirstLineColumn,
        OutcomeColumn,
        ColumnCount
    };
    /// The record's serial (quint64) under this role in every column.
    static constexpr int SerialRole = Qt::UserRole + 1;

    static constexpr int kDefaultCapacity = 1000;
    static constexpr qsizetype kDefaultByteBudget = qsizetype(32) * 1024 * 1024;
    static constexpr qsizetype kDefaultHeadLimit = qsizetype(1) * 1024 * 1024;

    explicit FrameLog(QObject* parent = nullptr);

    int capacity() const { return m_capacity; }
    /// 0 keeps nothing: append() then adds no row and returns 0.
    void setCapacity(int capacity);
    qsizetype byteBudget() const { return m_byteBudget; }
    void setByteBudget(qsizetype bytes);
    /// Bytes kept of one frame, and characters of its payload; at least 1.
    qsizetype headLimit() const { return m_headLimit; }
    void setHeadLimit(qsizetype bytes);
    /// What the records held cost, as counted against byteBudget().
    qsizetype bytesHeld() const { return m_bytesHeld; }

    /// Adds a record with a new serial (from 1 on) and returns that serial; 0 when the capacity
    /// is 0 and nothing was kept. A frame above headLimit() keeps its head only.
    std::uint64_t append(FrameRecord record);
    /// A received block, with what the archive made of it: the file written, or its failure by
    /// the archive's codes (framereader::NoFrame, framereader::Undecodable; any other code is a
    /// file that could not be written); none when the archive is off.
    std::uint64_t addReceived(const QDateTime& time, const QByteArray& block,
                              const std::optional<Result<QString>>& archived);
    /// A frame that went out as the transport wrote it (one byte per code unit), with the
    /// payload before framing and the file it came from, if any.
    std::uint64_t addSent(const QDateTime& time, FrameRecord::Source source, QStringView frame,
                          const QString& payload, bool base64, const QString& file = {},
                          FrameRecord::Delivery delivery = FrameRecord::Delivery::NotApplicable);

    /// The same, with the bytes as the wire took them; the record shares them.
    std::uint64_t addSent(const QDateTime& time, FrameRecord::Source source, const QByteArray& bytes,
                          const QString& payload, bool base64, const QString& file = {},
                          FrameRecord::Delivery delivery = FrameRecord::Delivery::NotApplicable);

    /// The row of the record with this serial, or -1 when it has been dropped.
    int rowOf(std::uint64_t serial) const;
    /// The record with this serial, or nullptr when it has been dropped.
    const FrameRecord* find(std::uint64_t serial) const;
    const FrameRecord& record(int row) const { return m_entries[std::size_t(row)].record; }
    const FrameAnalysis& analysis(int row) const;
    /// The payload as text, for the detail view and a resend; none when the record has been
    /// dropped. A received frame's is what the archive writes for it (framereader), read in the
    /// ANSI code page; when the archive would take no frame from it, or only its head is kept,
    /// the payload's bytes as they came. A sent frame's is its payload before framing.
    std::optional<QString> decodedPayload(std::uint64_t serial) const;
    /// What became of the frame, in words: the archive file or why none, the outbox file and
    /// its delivery.
    QString outcomeText(int row) const;
    /// The whole row on one line, for the journal.
    QString summary(int row) const;
    /// Changes the delivery state of an outbox record that is still held.
    void setDelivery(std::uint64_t serial, FrameRecord::Delivery delivery);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString markersText(const FrameAnalysis& analysis);
    static QString lengthText(const FrameAnalysis& analysis);
    static QString base64Text(const FrameAnalysis& analysis, bool base64);
    static QString deliveryText(FrameRecord::Delivery delivery);
    /// How much of a cut frame is kept, for the operator.
    static QString cutText(const FrameRecord& record);
    /// Why an archive file was not written, from the archive's message: the folder refusing
    /// files, or the system's own reason where the folder takes them.
    static QString notWrittenText(const QString& detail);

private:
    struct Entry {
        FrameRecord record;
        mutable std::optional<FrameAnalysis> analysis;
        qsizetype cost = 0; ///< counted against the byte budget
    };
    static qsizetype costOf(const FrameRecord& record);
    QString text(int row, int column) const;
    bool splitOverTwoTicks(int row) const;
    void trim();

    std::deque<Entry> m_entries;
    int m_capacity = kDefaultCapacity;
    qsizetype m_byteBudget = kDefaultByteBudget;
    qsizetype m_headLimit = kDefaultHeadLimit;
    qsizetype m_bytesHeld = 0;
    std::uint64_t m_nextSerial = 1;
};
