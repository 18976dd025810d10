#include "engine/linkstatus.h"

using namespace Qt::Literals::StringLiterals;

QString LinkStatus::phaseText(Phase phase) {
    switch (phase) {
    case Phase::Down:
        return u"verbroken"_s;
    case Phase::Connecting:
        return u"verbinden"_s;
    case Phase::Up:
        return u"verbonden"_s;
    }
    return {};
}

QString LinkStatus::text(const QDateTime& now) const {
    QString line = phaseText(phase);
    if (!host.isEmpty())
        line += u" %1:%2"_s.arg(host).arg(port);
    if (since.isValid())
        line += u" sinds "_s + since.toString(u"HH:mm:ss"_s);
    if (nextAttempt.isValid())
        line += u", volgende poging over %1 s"_s.arg((std::max<qint64>(0, now.msecsTo(nextAttempt)) + 999) /
                                                     1000);
    if (attemptsSinceSuccess > 0)
        line += u", pogingen: %1"_s.arg(attemptsSinceSuccess);
    if (lastErrorTime.isValid())
        line += u", laatste fout om %1: %2"_s.arg(lastErrorTime.toString(u"HH:mm:ss"_s),
                                                  QString(lastError).replace(u"\r\n"_s, u" "_s));
    return line;
}
