#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

#include "common/result.h"

/// A file read in pieces, so its size never matters. The file is opened for reading only and
/// without a lock: other programs may go on writing it, or delete it, while it is shown. The size
/// is taken once, at open.
class ByteSource {
public:
    enum ErrorCode { OpenFailed = 1, ReadFailed = 2 };

    ByteSource() = default;
    /// Takes a device already open for reading that can seek (a file, or a device in a test).
    explicit ByteSource(std::unique_ptr<QIODevice> device);
    ByteSource(ByteSource&&) noexcept = default;
    ByteSource& operator=(ByteSource&&) noexcept = default;

    static Result<ByteSource> openFile(const QString& path);

    bool isOpen() const { return m_device != nullptr; }
    qint64 size() const { return m_size; }
    /// Up to length bytes from offset; fewer at the end of the file (or when it shrank since).
    Result<QByteArray> read(qint64 offset, qint64 length) const;

private:
    std::unique_ptr<QIODevice> m_device;
    qint64 m_size = 0;
};
