#pragma once

#include <QString>

/// Tells whether another program still holds a file open for writing, so that a file its
/// producer has not finished is never read, sent or deleted. Windows refuses such a file through
/// its share modes; here the question is asked of the kernel with a read lease, which it grants
/// only while no process has the file open for writing.
namespace writerprobe {

enum class State {
    Free,         ///< nobody has it open for writing
    BeingWritten, ///< some process has it open for writing
    Unknown,      ///< the platform or the file system cannot tell (e.g. leases refused)
};

State probe(const QString& path);

} // namespace writerprobe
