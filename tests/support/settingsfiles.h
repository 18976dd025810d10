#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

/// Settings files as programs at an installation leave them beside the executable.
namespace settingsfiles {

using Entries = QList<QPair<QByteArray, QByteArray>>;

/// The main window's file after a first start whose outbox folder is folder: the header, the
/// "Hoofdscherm" element with FormVersion and the fourteen options at their defaults.
QByteArray firstStart(const QByteArray& folder);
/// The main window's file as the version before the extra file wrote it: the first start's
/// entries, then the six extra options, each with its value from extras where given, else its
/// default.
QByteArray withExtrasInside(const QByteArray& folder, const Entries& extras = {});
/// The extra file with these entries under "Hoofdscherm", after FormVersion.
QByteArray extraFile(const Entries& entries);
/// A file whose root holds levels elements, each inside the one before.
QByteArray nested(int levels);

} // namespace settingsfiles
