#include "hexview/byteselection.h"

#include <algorithm>

void ByteSelection::extendTo(qint64 offset) {
    if (m_anchor < 0)
        m_anchor = offset;
    m_start = std::min(m_anchor, offset);
    m_length = std::max(m_anchor, offset) - m_start + 1;
}

void ByteSelection::setRange(qint64 start, qint64 length) {
    m_start = std::max<qint64>(start, 0);
    m_length = std::max<qint64>(length, 0);
    m_anchor = m_start;
}
