#include "hexview/readwindow.h"

#include <algorithm>

Result<bool> ReadWindow::ensure(const ByteSource& source, qint64 offset) {
    if (m_loaded && covers(m_start, offset))
        return false;
    const qint64 start = startFor(offset);
    auto bytes = source.read(start, Size);
    if (!bytes) {
        clear();
        return bytes.failure();
    }
    m_bytes = std::move(bytes).value();
    m_start = start;
    m_loaded = true;
    return true;
}

void ReadWindow::clear() {
    m_loaded = false;
    m_start = 0;
    m_bytes.clear();
}

QByteArrayView ReadWindow::slice(qint64 offset, qint64 length) const {
    if (!m_loaded || length <= 0 || offset < m_start || offset >= m_start + m_bytes.size())
        return {};
    const qint64 from = offset - m_start;
    return QByteArrayView(m_bytes).sliced(from, std::min<qint64>(length, m_bytes.size() - from));
}
