#pragma once

#include <QByteArray>
#include <QStringList>
#include <QStringView>

/// Resident memory of this process in KiB (VmRSS in /proc/self/status), or -1 when it cannot
/// be read, so that a failed reading never passes for a figure.
long residentKiB();

/// A blocking TCP socket connected to 127.0.0.1:port, the plain baseline a benchmark measures
/// the program's own transport against; -1 when the connect fails. The caller closes it.
int connectToLoopback(quint16 port);
/// Sends all of bytes on socket; false when the connection fails first.
bool sendAll(int socket, const QByteArray& bytes);

/// The value after name in "--name value" pairs following the program name, as a number;
/// fallback when name is absent. A later pair wins over an earlier one.
int intOption(const QStringList& args, QStringView name, int fallback);
