#include "outbound/outboxhealth.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

QString OutboxHealth::reasonText(Reason reason) {
    switch (reason) {
    case Reason::None:
        return {};
    case Reason::Unknown:
        return u"reden onbekend"_s;
    case Reason::LinkDown:
        return u"geen verbinding"_s;
    case Reason::BeingWritten:
        return u"bestand wordt nog geschreven"_s;
    case Reason::NotDeletable:
        return u"bestand is niet te verwijderen"_s;
    case Reason::AwaitingConfirmation:
        return u"wacht op bevestiging van de host"_s;
    case Reason::TooLarge:
        return u"bestand is groter dan de grens"_s;
    case Reason::Settling:
        return u"wacht tot het bestand niet meer verandert"_s;
    }
    return {};
}

QString OutboxHealth::warningText(const QDateTime& now) const {
    if (!warning)
        return {};
    return u"Uitgaand bestand %1 wacht al %2 s (%3)"_s.arg(QFileInfo(oldestFile).fileName())
        .arg(oldestAgeMs(now) / 1000)
        .arg(reasonText(reason));
}
