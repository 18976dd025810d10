#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "common/result.h"

/// What an SMS request carries, each text inserted exactly as typed: no trimming and no
/// escaping, because the dispatch host reads the envelope as it has always been written.
struct SmsRequest {
    int tag = 0; ///< 0 to 9999
    QString verzender;
    QString ontvanger;
    QString server;
    QString inlognaam;
    QString wachtwoord;
    QString nummer;
    QString afzender;
    QString bericht; ///< line breaks as typed ("\n" or CR LF); written as CR LF
};

namespace smsrequest {

/// The 22 lines of the envelope. Line 17 holds the message, a multi-line one with CR LF inside.
QStringList lines(const SmsRequest& request);

/// The file's bytes: CR LF after every line, Windows-1252, no byte-order mark.
QByteArray bytes(const SmsRequest& request);

/// Writes "sms_" + the year-first stamp of now + ".xml" into folder. A name already taken
/// (two requests in one second) gets "_2", "_3", ... before ".xml": a request never replaces
/// another. Returns the path written.
Result<QString> write(const QString& folder, const SmsRequest& request, const QDateTime& now);

} // namespace smsrequest
