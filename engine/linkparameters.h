#pragma once

#include <QList>
#include <QString>
#include <chrono>
#include <variant>

#include "outbound/framing.h"

/// The options the link works by, as the "Instellingen" and "Parameters" tabs hold them and the
/// settings file keeps them. The member initialisers are the defaults of a first start, except
/// the outbox folder, which defaults to the executable's folder.
struct LinkParameters {
    QString host = QStringLiteral("127.0.0.1"); ///< edtHost, used as typed
    QString portText = QStringLiteral("4000");  ///< edtPoort, read by its leading number
    bool soh = false;                           ///< SOH
    bool stx = false;                           ///< STX
    bool eot = false;                           ///< EOT
    bool toonHex = false;                       ///< ToonHex
    bool logbewaren = false;                    ///< Logbewaren
    bool xmlBestandenBewaren = true;            ///< XMLBestandenBewaren
    bool enc64verzenden = false;                ///< enc64verzenden
    bool enc64ontvangst = false;                ///< enc64ontvangst, kept but read by nothing
    bool autoConnect = false;                   ///< AutoConnect
    bool ackDisconnect = false;                 ///< ACKDisconnect
    bool autoBestanden = false;                 ///< AutoBestanden
    QString autoLocatie;                        ///< AutoLocatie, the outbox folder as typed
    bool bevestigdAfleveren = false; ///< BevestigdAfleveren: delete outbox files on acknowledgement
    QString bevestigingsTijd = QStringLiteral("30"); ///< BevestigingsTijd, seconds to wait for it
    /// PakketIsBevestiging: the EOT ending a framed packet of the host's counts as an
    /// acknowledgement too (for hosts that acknowledge with a framed message of their own)
    bool pakketIsBevestiging = false;
    QString maxBestandsGrootte = QStringLiteral("64"); ///< MaxBestandsGrootte, MiB an outbox file may have
    QString wachtWaarschuwing = QStringLiteral("60"); ///< WachtWaarschuwing, seconds before an outbox warning
    QString inspecteurAantal = QStringLiteral("1000"); ///< InspecteurAantal, frames the inspector keeps
    bool tijdInLogboeken = false;    ///< TijdInLogboeken: the time before each entry on screen
    bool tijdInLogbestanden = false; ///< TijdInLogbestanden: and in the log files

    framing::Options frame() const { return {soh, stx, eot, enc64verzenden}; }
    /// The texts above read by their leading number; a number below 0 counts as 0.
    std::chrono::milliseconds confirmationWait() const;
    std::chrono::milliseconds outboxWarnAfter() const;
    int frameLogCapacity() const;
    /// MaxBestandsGrootte in bytes.
    qint64 outboxSizeLimit() const;
};

/// One stored option of the main window: the control's name (also its key in the settings
/// file), the stored property's name and the member it fills.
struct MainSetting {
    QString control;
    QString property;
    std::variant<QString LinkParameters::*, bool LinkParameters::*> member;

    bool isBoolean() const { return std::holds_alternative<bool LinkParameters::*>(member); }
};

/// The main window's stored options, in the order the settings file lists them.
const QList<MainSetting>& mainSettings();
