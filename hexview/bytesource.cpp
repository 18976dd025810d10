#include "hexview/bytesource.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

ByteSource::ByteSource(std::unique_ptr<QIODevice> device)
    : m_device(std::move(device))
    , m_size(m_device ? m_device->size() : 0) {}

Result<ByteSource> ByteSource::openFile(const QString& path) {
    if (QFileInfo(path).isDir())
        return Failure{OpenFailed, u"is a folder"_s};
    auto file = std::make_unique<QFile>(path);
    // A plain read-only open takes no lock, so writers and deleters are not held up.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Failure{OpenFailed, file->errorString()};
    return ByteSource(std::move(file));
}

Result<QByteArray> ByteSource::read(qint64 offset, qint64 length) const {
    if (!m_device)
        return Failure{ReadFailed, u"no file"_s};
    if (offset < 0 || length < 0)
        return Failure{ReadFailed, u"negative offset or length"_s};
    if (!m_device->seek(offset))
        return Failure{ReadFailed, m_device->errorString()};
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const qint64 n = m_device->read(bytes.data() + done, length - done);
        if (n < 0)
            return Failure{ReadFailed, m_device->errorString()};
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
