#include "outbound/framing.h"

#include <algorithm>

#include "transport/base64.h"

using namespace Qt::Literals::StringLiterals;

namespace framing {

namespace {

// The frame is measured first and written into one allocation: a long payload is copied once,
// or encoded straight into place.
QString build(QStringView payload, const Options& o, QStringView lineEnd) {
    // In line form every line ends in CR LF, the last one too, even when the caller's text
    // stops short of it: the length and the Base64 then cover the line end the host receives.
    QString completed;
    if (!lineEnd.isEmpty() && !payload.isEmpty() && !payload.endsWith(lineEnd)) {
        completed = payload + lineEnd;
        payload = completed;
    }
    const qsizetype bodySize = o.base64 ? base64::encodedSize(payload.size()) : payload.size();
    const QString length = o.stx ? QString::number(bodySize) : QString();
    const qsizetype end = lineEnd.size();
    // A plain line-form payload already ends in its own CR LF.
    const qsizetype size = (o.soh ? 1 + end : 0) + (o.stx ? length.size() + 1 + end : 0) + bodySize +
                           (o.base64 ? end : 0) + (o.eot ? 1 + end : 0);
    QString frame(size, Qt::Uninitialized);
    QChar* dst = frame.data();
    const auto put = [&dst](QStringView piece) {
        std::copy(piece.begin(), piece.end(), dst);
        dst += piece.size();
    };
    if (o.soh) {
        *dst++ = QChar(kSoh);
        put(lineEnd);
    }
    if (o.stx) {
        put(length);
        *dst++ = QChar(kStx);
        put(lineEnd);
    }
    if (o.base64) {
        dst = base64::encodeTo(payload, dst);
        put(lineEnd);
    } else {
        put(payload);
    }
    if (o.eot) {
        *dst++ = QChar(kEot);
        put(lineEnd);
    }
    Q_ASSERT(dst == frame.constData() + size);
    return frame;
}

} // namespace

QString compact(QStringView payload, const Options& options) {
    return build(payload, options, QStringView());
}

QString lines(QStringView payload, const Options& options) {
    return build(payload, options, u"\r\n");
}

} // namespace framing
