#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

/// The status line and header lines of an HTTP response, as the update's client reads them.
struct HttpResponseHead {
    int status = 0;
    QByteArray reason;
    /// "Name: value" each, the name as sent, the value without surrounding blanks.
    QList<QByteArray> lines;

    /// The value of the first header called name (any case); empty when there is none.
    QByteArray header(QByteArrayView name) const;
    /// Content-Length, when present and a valid count.
    std::optional<qint64> contentLength() const;
    /// The answer can carry a body at all (not 1xx, 204 or 304).
    bool mayHaveBody() const { return status >= 200 && status != 204 && status != 304; }
    bool isRedirect() const {
        return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    }
};

/// Where the head ends in data received so far: the offset of the first body byte, or -1 while
/// the empty line has not arrived. Bare LF line ends are accepted, as old servers send them.
qsizetype httpHeadEnd(QByteArrayView data);

/// Parses a head (without the empty line that ends it). Empty when the first line is no HTTP
/// status line.
std::optional<HttpResponseHead> parseHttpResponseHead(QByteArrayView head);
