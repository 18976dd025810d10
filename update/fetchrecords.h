#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

/// What the update's fetch helper (rtcpipclient-fetch) is asked: one request, written to its
/// standard input as one line of JSON.
struct FetchRequest {
    QByteArray method; ///< "GET" or "HEAD"
    QString url;
    QString proxyHost; ///< empty: the system's proxy settings (http_proxy, https_proxy, no_proxy)
    QString proxyPort;
    qint64 connectLimitMs = 0; ///< until the request is on its way; 0 for none
    qint64 stallLimitMs = 0;   ///< longest time without a byte once it is; 0 for none

    QByteArray toLine() const;
    static std::optional<FetchRequest> fromLine(QByteArrayView line);
};

/// What the helper answers on its standard output, in order: one head, the body in data records,
/// then done or a failure (a failure can come at any point).
namespace fetchrecord {

struct Head {
    int status = 0;
    QString reason;
    QList<QByteArray> lines; ///< "Name: value" each
};
struct Data {
    QByteArray bytes;
};
struct Done {};
struct Failed {
    int code = 0;
    QString reason;
};
using Record = std::variant<Head, Data, Done, Failed>;

QByteArray encode(const Head& head);
QByteArray encodeData(QByteArrayView bytes);
QByteArray encodeDone();
QByteArray encode(const Failed& failed);

/// Cuts records out of the helper's output as it arrives. A malformed record stops it for good:
/// the helper is ours, so anything else on the pipe means it is not talking to us.
class Reader {
public:
    /// Appends bytes; the records complete so far follow from next().
    void feed(QByteArrayView bytes);
    std::optional<Record> next();
    bool broken() const { return m_broken; }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_broken = false;
};

} // namespace fetchrecord
