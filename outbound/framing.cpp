#include "outbound/framing.h"

#include "transport/base64.h"

using namespace Qt::Literals::StringLiterals;

namespace framing {

namespace {

QString build(QStringView payload, const Options& o, QStringView lineEnd) {
    QString text = payload.toString();
    // In line form every line ends in CR LF, the last one too, even when the caller's text
    // stops short of it: the length and the Base64 then cover the line end the host receives.
    if (!lineEnd.isEmpty() && !text.isEmpty() && !text.endsWith(lineEnd))
        text += lineEnd;
    const QString body = o.base64 ? base64::encode(text) : text;
    QString frame;
    frame.reserve(body.size() + 32);
    if (o.soh) {
        frame += QChar(kSoh);
        frame += lineEnd;
    }
    if (o.stx) {
        frame += QString::number(body.size());
        frame += QChar(kStx);
        frame += lineEnd;
    }
    frame += body;
    // A plain line-form payload already ends in its own CR LF.
    if (o.base64)
        frame += lineEnd;
    if (o.eot) {
        frame += QChar(kEot);
        frame += lineEnd;
    }
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
