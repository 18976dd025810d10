#include "update/httpresponsehead.h"

QByteArray HttpResponseHead::header(QByteArrayView name) const {
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon >= 0 && QByteArrayView(line).first(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.sliced(colon + 1).trimmed();
    }
    return {};
}

std::optional<qint64> HttpResponseHead::contentLength() const {
    const QByteArray value = header("Content-Length");
    bool ok = false;
    const qint64 length = value.toLongLong(&ok);
    if (!ok || length < 0)
        return std::nullopt;
    return length;
}

qsizetype httpHeadEnd(QByteArrayView data) {
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != '\n')
            continue;
        if (i + 1 < data.size() && data[i + 1] == '\n')
            return i + 2;
        if (i + 2 < data.size() && data[i + 1] == '\r' && data[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

std::optional<HttpResponseHead> parseHttpResponseHead(QByteArrayView head) {
    QList<QByteArray> rows = QByteArray(head.data(), head.size()).split('\n');
    for (QByteArray& row : rows)
        if (row.endsWith('\r'))
            row.chop(1);
    const QByteArray& first = rows.value(0);
    // "HTTP/1.x 200 Reason": the code is exactly three digits after the version.
    if (!first.startsWith("HTTP/"))
        return std::nullopt;
    const qsizetype blank = first.indexOf(' ');
    if (blank < 0)
        return std::nullopt;
    const QByteArray rest = first.sliced(blank + 1).trimmed();
    const QByteArray code = rest.left(3);
    bool ok = code.size() == 3;
    for (const char c : code)
        ok = ok && c >= '0' && c <= '9';
    if (!ok || (rest.size() > 3 && rest[3] != ' '))
        return std::nullopt;

    HttpResponseHead out;
    out.status = code.toInt();
    out.reason = rest.sliced(3).trimmed();
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QByteArray& row = rows[i];
        if (row.isEmpty())
            continue;
        // A line that starts with a blank continues the previous header's value.
        if ((row[0] == ' ' || row[0] == '\t') && !out.lines.isEmpty()) {
            out.lines.last() += ' ' + row.trimmed();
            continue;
        }
        const qsizetype colon = row.indexOf(':');
        if (colon <= 0)
            continue;
        out.lines.append(row.first(colon) + ": " + row.sliced(colon + 1).trimmed());
    }
    return out;
}
