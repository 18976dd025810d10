#pragma once

#include <QByteArray>

/// A packet as a dispatch host sends it: SOH, the length of the Base64 payload, STX, xml in
/// Base64, EOT.
QByteArray frame(const QByteArray& xml);
