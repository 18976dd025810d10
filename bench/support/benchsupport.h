#pragma once

#include <QByteArray>
#include <QStringList>
#include <QStringView>
#include <vector>

/// Resident memory in KiB (VmRSS in /proc/<pid>/status) of this process, or of the process pid,
/// or -1 when it cannot be read, so that a failed reading never passes for a figure.
long residentKiB(qint64 pid = 0);
/// Any "<field>:\t... kB" figure of /proc/<pid>/status (VmHWM, the peak, for one), in KiB; -1
/// when it cannot be read.
long statusKiB(qint64 pid, const char* field);
/// CPU time that all live threads of the process pid have used so far, in seconds, to the
/// nanosecond; -1 when it cannot be read.
double cpuSeconds(qint64 pid);

/// A blocking TCP socket connected to 127.0.0.1:port, the plain baseline a benchmark measures
/// the program's own transport against; -1 when the connect fails. The caller closes it.
int connectToLoopback(quint16 port);
/// Sends all of bytes on socket; false when the connection fails first.
bool sendAll(int socket, const QByteArray& bytes);

/// The value after name in "--name value" pairs following the program name, as a number;
/// fallback when name is absent. A later pair wins over an earlier one.
int intOption(const QStringList& args, QStringView name, int fallback);

/// The middle value of figures (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> figures);
