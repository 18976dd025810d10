#pragma once

#include <QtGlobal>

/// A run of selected bytes, and the anchor that a drag or a Shift-click extends from.
class ByteSelection {
public:
    bool isEmpty() const { return m_length <= 0; }
    qint64 start() const { return m_start; }
    qint64 length() const { return m_length; }
    qint64 end() const { return m_start + m_length; } ///< one past the last byte
    bool contains(qint64 offset) const { return offset >= m_start && offset < end(); }
    bool hasAnchor() const { return m_anchor >= 0; }
    qint64 anchor() const { return m_anchor; }

    void clear() { m_start = m_length = 0; }
    /// Empties the selection and anchors it at offset.
    void anchorAt(qint64 offset) {
        clear();
        m_anchor = offset;
    }
    /// Selects from the anchor to offset, both included, in either direction.
    void extendTo(qint64 offset);
    void setRange(qint64 start, qint64 length);

private:
    qint64 m_start = 0;
    qint64 m_length = 0;
    qint64 m_anchor = -1;
};
