#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "common/result.h"
#include "hexview/bytesource.h"

/// The part of the file held in memory: 180,000 bytes from start(). An offset in the first
/// 120,000 bytes is served from memory; any other moves the window to start 60,000 bytes before
/// it, so scrolling either way finds 60,000 bytes already read.
class ReadWindow {
public:
    static constexpr qint64 Step = 60000;
    static constexpr qint64 Size = 3 * Step;

    /// Whether a window starting at start serves offset without a read.
    static bool covers(qint64 start, qint64 offset) noexcept {
        return offset >= start && offset < start + 2 * Step;
    }
    /// Where the window goes when offset is not covered.
    static qint64 startFor(qint64 offset) noexcept { return offset > Step ? offset - Step : 0; }

    /// Makes offset covered, reading when needed; true when it read. A failed read empties it.
    Result<bool> ensure(const ByteSource& source, qint64 offset);
    void clear();

    bool isLoaded() const { return m_loaded; }
    qint64 start() const { return m_start; }
    const QByteArray& bytes() const { return m_bytes; }
    /// The bytes of [offset, offset + length) that the window holds; shorter or empty outside it.
    QByteArrayView slice(qint64 offset, qint64 length) const;

private:
    bool m_loaded = false;
    qint64 m_start = 0;
    QByteArray m_bytes;
};
