#include "update/fetchrecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace {

// A head with every header of a real server fits many times over; more is not a head.
constexpr qsizetype kMaxLine = 256 * 1024;
// The helper sends what one read of the network gave; the reader never holds more than this.
constexpr qint64 kMaxData = 16 * 1024 * 1024;

QByteArray jsonLine(char kind, const QJsonObject& object) {
    return QByteArray(1, kind) + ' ' + QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> jsonObject(QByteArrayView text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

} // namespace

QByteArray FetchRequest::toLine() const {
    QJsonObject o;
    o[u"method"_s] = QString::fromLatin1(method);
    o[u"url"_s] = url;
    o[u"proxyHost"_s] = proxyHost;
    o[u"proxyPort"_s] = proxyPort;
    o[u"connectLimitMs"_s] = connectLimitMs;
    o[u"stallLimitMs"_s] = stallLimitMs;
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<FetchRequest> FetchRequest::fromLine(QByteArrayView line) {
    const auto o = jsonObject(line.trimmed());
    if (!o)
        return std::nullopt;
    FetchRequest r;
    r.method = (*o)[u"method"_s].toString().toLatin1();
    if (r.method != "GET" && r.method != "HEAD")
        return std::nullopt;
    r.url = (*o)[u"url"_s].toString();
    r.proxyHost = (*o)[u"proxyHost"_s].toString();
    r.proxyPort = (*o)[u"proxyPort"_s].toString();
    r.connectLimitMs = (*o)[u"connectLimitMs"_s].toInteger();
    r.stallLimitMs = (*o)[u"stallLimitMs"_s].toInteger();
    return r;
}

namespace fetchrecord {

QByteArray encode(const Head& head) {
    QJsonArray lines;
    for (const QByteArray& line : head.lines)
        lines.append(QString::fromLatin1(line));
    return jsonLine('H', {{u"status"_s, head.status}, {u"reason"_s, head.reason}, {u"lines"_s, lines}});
}

QByteArray encodeData(QByteArrayView bytes) {
    return "D " + QByteArray::number(bytes.size()) + '\n' + bytes.toByteArray();
}

QByteArray encodeDone() {
    return "E\n";
}

QByteArray encode(const Failed& failed) {
    return jsonLine('F', {{u"code"_s, failed.code}, {u"reason"_s, failed.reason}});
}

void Reader::feed(QByteArrayView bytes) {
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(bytes.data(), bytes.size());
}

std::optional<Record> Reader::next() {
    if (m_broken)
        return std::nullopt;
    const qsizetype end = m_buffer.indexOf('\n', m_pos);
    if (end < 0) {
        if (m_buffer.size() - m_pos > kMaxLine)
            m_broken = true;
        return std::nullopt;
    }
    const QByteArrayView line = QByteArrayView(m_buffer).sliced(m_pos, end - m_pos);
    const char kind = line.isEmpty() ? '\0' : line[0];
    if (line.size() > 1 && line[1] != ' ') {
        m_broken = true;
        return std::nullopt;
    }
    const QByteArrayView rest = line.size() > 2 ? line.sliced(2) : QByteArrayView();
    switch (kind) {
    case 'D': {
        bool ok = false;
        const qint64 size = rest.toByteArray().toLongLong(&ok);
        if (!ok || size < 0 || size > kMaxData) {
            m_broken = true;
            return std::nullopt;
        }
        if (m_buffer.size() - (end + 1) < size)
            return std::nullopt; // the bytes are still on their way
        Data data{m_buffer.mid(end + 1, size)};
        m_pos = end + 1 + size;
        return data;
    }
    case 'E':
        m_pos = end + 1;
        return Done{};
    case 'H':
    case 'F': {
        const auto o = jsonObject(rest);
        if (!o) {
            m_broken = true;
            return std::nullopt;
        }
        m_pos = end + 1;
        if (kind == 'F')
            return Failed{(*o)[u"code"_s].toInt(), (*o)[u"reason"_s].toString()};
        Head head{(*o)[u"status"_s].toInt(), (*o)[u"reason"_s].toString(), {}};
        for (const auto& v : (*o)[u"lines"_s].toArray())
            head.lines.append(v.toString().toLatin1());
        return head;
    }
    default:
        m_broken = true;
        return std::nullopt;
    }
}

} // namespace fetchrecord
