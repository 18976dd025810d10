#include "frames/framelog.h"

#include <QFileInfo>
#include <QLocale>

#include "common/ansicodec.h"
#include "frames/framereader.h"
#include "transport/asciitext.h"

using namespace Qt::Literals::StringLiterals;

FrameLog::FrameLog(QObject* parent)
    : QAbstractTableModel(parent) {}

void FrameLog::setCapacity(int capacity) {
    m_capacity = std::max(0, capacity);
    trim();
}

void FrameLog::setByteBudget(qsizetype bytes) {
    m_byteBudget = std::max<qsizetype>(0, bytes);
    trim();
}

void FrameLog::setHeadLimit(qsizetype bytes) {
    m_headLimit = std::max<qsizetype>(1, bytes);
}

qsizetype FrameLog::costOf(const FrameRecord& record) {
    // The texts are UTF-16; the entry itself and its analysis (a bounded first line) as well.
    const qsizetype texts = record.payload.size() + record.archiveDetail.size() + record.file.size();
    return qsizetype(sizeof(Entry)) + record.bytes.size() + 2 * texts + 2 * FrameAnalysis::kFirstLineLimit;
}

std::uint64_t FrameLog::append(FrameRecord record) {
    if (m_capacity == 0)
        return 0;
    record.serial = m_nextSerial++;
    record.wireSize = std::max(record.wireSize, record.bytes.size());
    std::optional<FrameAnalysis> analysis;
    if (record.bytes.size() > m_headLimit) {
        // The verdicts are about the whole frame; afterwards only the head is held, copied out
        // so that the rest of a shared block can go.
        analysis = FrameAnalysis::of(record.bytes, record.base64);
        record.bytes = record.bytes.first(m_headLimit);
    }
    if (record.payload.size() > m_headLimit)
        record.payload = record.payload.first(m_headLimit);
    const std::uint64_t serial = record.serial;
    const qsizetype cost = costOf(record);
    const int row = int(m_entries.size());
    beginInsertRows({}, row, row);
    m_bytesHeld += cost;
    m_entries.push_back({std::move(record), std::move(analysis), cost});
    endInsertRows();
    trim();
    return serial;
}

std::uint64_t FrameLog::addReceived(const QDateTime& time, const QByteArray& block,
                                    const std::optional<Result<QString>>& archived) {
    FrameRecord record;
    record.time = time;
    record.bytes = block;
    if (!archived) {
        record.archive = FrameRecord::Archive::Off;
    } else if (archived->ok()) {
        record.archive = FrameRecord::Archive::Written;
        record.archiveDetail = archived->value();
    } else {
        switch (archived->failure().code) {
        case framereader::NoFrame:
            record.archive = FrameRecord::Archive::NoFrame;
            break;
        case framereader::Undecodable:
            record.archive = FrameRecord::Archive::Undecodable;
            break;
        default:
            record.archive = FrameRecord::Archive::NotWritable;
            break;
        }
        record.archiveDetail = archived->message();
    }
    return append(std::move(record));
}

std::uint64_t FrameLog::addSent(const QDateTime& time, FrameRecord::Source source, QStringView frame,
                                const QString& payload, bool base64, const QString& file,
                                FrameRecord::Delivery delivery) {
    return addSent(time, source, ascii::fromText(frame), payload, base64, file, delivery);
}

std::uint64_t FrameLog::addSent(const QDateTime& time, FrameRecord::Source source, const QByteArray& bytes,
                                const QString& payload, bool base64, const QString& file,
                                FrameRecord::Delivery delivery) {
    FrameRecord record;
    record.time = time;
    record.direction = FrameRecord::Direction::Sent;
    record.source = source;
    record.bytes = bytes;
    record.base64 = base64;
    record.payload = payload;
    record.file = file;
    record.delivery = delivery;
    return append(std::move(record));
}

void FrameLog::trim() {
    qsizetype drop = 0;
    qsizetype bytes = m_bytesHeld;
    const qsizetype size = qsizetype(m_entries.size());
    while (drop < size && (size - drop > m_capacity || (bytes > m_byteBudget && size - drop > 1))) {
        bytes -= m_entries[std::size_t(drop)].cost;
        ++drop;
    }
    if (drop == 0)
        return;
    beginRemoveRows({}, 0, int(drop - 1));
    m_entries.erase(m_entries.begin(), m_entries.begin() + drop);
    m_bytesHeld = bytes;
    endRemoveRows();
}

int FrameLog::rowOf(std::uint64_t serial) const {
    if (m_entries.empty() || serial < m_entries.front().record.serial)
        return -1;
    const std::uint64_t row = serial - m_entries.front().record.serial;
    return row < m_entries.size() ? int(row) : -1;
}

const FrameAnalysis& FrameLog::analysis(int row) const {
    const Entry& entry = m_entries[std::size_t(row)];
    if (!entry.analysis)
        entry.analysis = FrameAnalysis::of(entry.record.bytes, entry.record.base64);
    return *entry.analysis;
}

const FrameRecord* FrameLog::find(std::uint64_t serial) const {
    const int row = rowOf(serial);
    return row < 0 ? nullptr : &record(row);
}

std::optional<QString> FrameLog::decodedPayload(std::uint64_t serial) const {
    const int row = rowOf(serial);
    if (row < 0)
        return std::nullopt;
    const FrameRecord& r = record(row);
    if (r.direction == FrameRecord::Direction::Sent)
        return r.payload;
    if (!r.cut())
        if (const Result<QByteArray> archived = framereader::decodedPayload(r.bytes))
            return ansi::toText(archived.value());
    // The analysis of a cut frame was made on all of it: its payload may run past the head.
    const FrameAnalysis& a = analysis(row);
    const qsizetype from = std::min(a.payloadOffset, r.bytes.size());
    return ansi::toText(
        QByteArrayView(r.bytes).sliced(from, std::min(a.actualLength, r.bytes.size() - from)));
}

void FrameLog::setDelivery(std::uint64_t serial, FrameRecord::Delivery delivery) {
    const int row = rowOf(serial);
    if (row < 0)
        return;
    m_entries[std::size_t(row)].record.delivery = delivery;
    emit dataChanged(index(row, OutcomeColumn), index(row, OutcomeColumn));
}

int FrameLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int FrameLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FrameLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == SerialRole)
        return QVariant::fromValue<quint64>(record(index.row()).serial);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return text(index.row(), index.column());
    return {};
}

QVariant FrameLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return u"Tijd"_s;
    case DirectionColumn:
        return u"Richting"_s;
    case MarkersColumn:
        return u"Markeringen"_s;
    case LengthColumn:
        return u"Lengte (opgegeven / werkelijk)"_s;
    case Base64Column:
        return u"Base64"_s;
    case FirstLineColumn:
        return u"Eerste regel"_s;
    case OutcomeColumn:
        return u"Archief / aflevering"_s;
    default:
        return {};
    }
}

QString FrameLog::markersText(const FrameAnalysis& a) {
    QStringList present;
    if (a.soh)
        present << u"SOH"_s;
    if (a.stx)
        present << u"lengte + STX"_s;
    if (a.eot)
        present << u"EOT"_s;
    return present.isEmpty() ? u"geen"_s : present.join(u", "_s);
}

QString FrameLog::lengthText(const FrameAnalysis& a) {
    const QString declared = a.declaredLength ? QString::number(*a.declaredLength) : u"geen"_s;
    QString text = declared + u" / "_s + QString::number(a.actualLength);
    if (a.declaredLength && !a.lengthMatches())
        text += u" (wijkt af)"_s;
    return text;
}

QString FrameLog::cutText(const FrameRecord& record) {
    const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);
    return u"ingekort bewaard: %1 van %2 bytes"_s.arg(dutch.toString(record.bytes.size()),
                                                      dutch.toString(record.wireSize));
}

QString FrameLog::base64Text(const FrameAnalysis& a, bool base64) {
    if (!base64)
        return u"n.v.t."_s;
    return a.base64Valid() ? u"geldig"_s : u"ongeldig vanaf byte %1"_s.arg(a.base64BadOffset);
}

QString FrameLog::deliveryText(FrameRecord::Delivery delivery) {
    switch (delivery) {
    case FrameRecord::Delivery::NotApplicable:
        return {};
    case FrameRecord::Delivery::Deleted:
        return u"verzonden en verwijderd"_s;
    case FrameRecord::Delivery::AwaitingConfirmation:
        return u"wacht op bevestiging"_s;
    case FrameRecord::Delivery::Confirmed:
        return u"bevestigd en verwijderd"_s;
    case FrameRecord::Delivery::NotConfirmed:
        return u"geen bevestiging, blijft staan voor een volgende ronde"_s;
    case FrameRecord::Delivery::NotDeletable:
        return u"verzonden, niet te verwijderen"_s;
    case FrameRecord::Delivery::WriteFailed:
        return u"verzenden mislukt, blijft staan"_s;
    case FrameRecord::Delivery::NotAcknowledged:
        return u"niet door de host ontvangen, verbinding verbroken, blijft staan"_s;
    }
    return {};
}

bool FrameLog::splitOverTwoTicks(int row) const {
    const auto received = [this](int r) {
        return record(r).direction == FrameRecord::Direction::Received;
    };
    const FrameAnalysis& a = analysis(row);
    if (a.soh && !a.eot) {
        for (int next = row + 1; next < rowCount(); ++next)
            if (received(next))
                return !analysis(next).soh && analysis(next).eot;
    } else if (!a.soh && a.eot) {
        for (int previous = row - 1; previous >= 0; --previous)
            if (received(previous))
                return analysis(previous).soh && !analysis(previous).eot;
    }
    return false;
}

QString FrameLog::notWrittenText(const QString& detail) {
    // The archive's message names the file in quotes and gives the system's reason after it.
    // A folder that takes files failed for that reason (no descriptors left, a full disk).
    const qsizetype open = detail.indexOf(u'"');
    const qsizetype close = detail.lastIndexOf(u"\". "_s);
    if (open >= 0 && close > open) {
        const QFileInfo folder(QFileInfo(detail.mid(open + 1, close - open - 1)).path());
        if (folder.isDir() && folder.isWritable())
            return u"niet bewaard: "_s + detail.mid(close + 3);
    }
    return u"niet bewaard: map niet beschrijfbaar"_s;
}

QString FrameLog::outcomeText(int row) const {
    const FrameRecord& r = record(row);
    if (r.direction == FrameRecord::Direction::Received) {
        switch (r.archive) {
        case FrameRecord::Archive::Written:
            return QFileInfo(r.archiveDetail).fileName();
        case FrameRecord::Archive::Off:
            return u"niet bewaard: archief staat uit"_s;
        case FrameRecord::Archive::NoFrame:
            return splitOverTwoTicks(row) ? u"niet bewaard: frame verdeeld over twee ticks"_s
                                          : u"niet bewaard: geen volledig frame"_s;
        case FrameRecord::Archive::Undecodable:
            return u"niet bewaard: niet te decoderen"_s;
        case FrameRecord::Archive::NotWritable:
            return notWrittenText(r.archiveDetail);
        case FrameRecord::Archive::NotApplicable:
            return {};
        }
        return {};
    }
    switch (r.source) {
    case FrameRecord::Source::Typed:
        return u"getypt pakket"_s;
    case FrameRecord::Source::Resend:
        return u"opnieuw verzonden"_s;
    case FrameRecord::Source::ChosenFile:
        return QFileInfo(r.file).fileName();
    case FrameRecord::Source::Outbox:
        return QFileInfo(r.file).fileName() + u": "_s + deliveryText(r.delivery);
    case FrameRecord::Source::Received:
        break;
    }
    return {};
}

QString FrameLog::text(int row, int column) const {
    const FrameRecord& r = record(row);
    switch (column) {
    case TimeColumn:
        return r.time.toString(u"HH:mm:ss.zzz"_s);
    case DirectionColumn:
        return r.direction == FrameRecord::Direction::Received ? u"in"_s : u"uit"_s;
    case MarkersColumn:
        return markersText(analysis(row));
    case LengthColumn:
        return r.cut() ? lengthText(analysis(row)) + u" ("_s + cutText(r) + u')' : lengthText(analysis(row));
    case Base64Column:
        return base64Text(analysis(row), r.base64);
    case FirstLineColumn:
        return analysis(row).firstLine;
    case OutcomeColumn:
        return outcomeText(row);
    default:
        return {};
    }
}

QString FrameLog::summary(int row) const {
    QStringList parts;
    for (int column = DirectionColumn; column < ColumnCount; ++column)
        parts << text(row, column);
    return parts.join(u" | "_s);
}
