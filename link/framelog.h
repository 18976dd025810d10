#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <deque>
#include <optional>

#include "link/frameanalysis.h"
#include "link/framerecord.h"

/// The frames that crossed the link, newest last, as a table for the inspector. Bounded: at most
/// capacity() records (1,000 by default) and at most byteBudget() bytes of frames held (the
/// newest is kept whatever its size); the oldest go first. Appending never looks at the bytes:
/// a record's analysis is made the first time a view or a caller asks for it and then kept, so
/// the receive poll pays nothing for a large block.
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
    static constexpr qsizetype kDefaultByteBudget = qsizetype(256) * 1024 * 1024;

    explicit FrameLog(QObject* parent = nullptr);

    int capacity() const { return m_capacity; }
    /// 0 keeps nothing: append() then drops every record at once.
    void setCapacity(int capacity);
    qsizetype byteBudget() const { return m_byteBudget; }
    void setByteBudget(qsizetype bytes);

    /// Adds a record with a new serial and returns that serial.
    std::uint64_t append(FrameRecord record);
    /// The row of the record with this serial, or -1 when it has been dropped.
    int rowOf(std::uint64_t serial) const;
    const FrameRecord& record(int row) const { return m_entries[std::size_t(row)].record; }
    const FrameAnalysis& analysis(int row) const;
    /// The whole payload as text: Base64-decoded when the record's payload is meant to be and
    /// decodes, else the payload's bytes in the ANSI code page. For the detail view.
    QString decodedPayload(int row) const;
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
    /// Why an archive file was not written, from the archive's message: the folder refusing
    /// files, or the system's own reason where the folder takes them.
    static QString notWrittenText(const QString& detail);

private:
    struct Entry {
        FrameRecord record;
        mutable std::optional<FrameAnalysis> analysis;
    };
    QString text(int row, int column) const;
    bool splitOverTwoTicks(int row) const;
    void trim();

    std::deque<Entry> m_entries;
    int m_capacity = kDefaultCapacity;
    qsizetype m_byteBudget = kDefaultByteBudget;
    qsizetype m_bytesHeld = 0;
    std::uint64_t m_nextSerial = 1;
};
