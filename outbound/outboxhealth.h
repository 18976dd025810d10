#pragma once

#include <QDateTime>
#include <QString>

/// How the outbox stands: the files waiting, the oldest of them by its file time, and a warning
/// once that one has waited longer than the set time, with the reason when it is known.
struct OutboxHealth {
    enum class Reason {
        None,                 ///< no warning
        Unknown,              ///< waited too long for no reason the program can see
        LinkDown,             ///< no link to send it over
        BeingWritten,         ///< its producer still holds it open for writing
        NotDeletable,         ///< sent, but it could not be deleted
        AwaitingConfirmation, ///< sent, the host has not acknowledged it yet
        TooLarge,             ///< above the size limit; it stays in place
        Settling,             ///< no lease to be had: waits until it has stood still
    };

    int waiting = 0;      ///< "*.xml" files that the sender would send
    QString oldestFile;   ///< path of the oldest; empty when none waits
    QDateTime oldestTime; ///< its last modification
    bool warning = false;
    Reason reason = Reason::None;

    bool operator==(const OutboxHealth&) const = default;

    /// Milliseconds the oldest file has waited at now; 0 when none waits.
    qint64 oldestAgeMs(const QDateTime& now) const {
        return oldestTime.isValid() ? oldestTime.msecsTo(now) : 0;
    }
    /// The warning for the status bar and the journal; empty without one.
    QString warningText(const QDateTime& now) const;
    static QString reasonText(Reason reason);
};
