#include "hexview/hexlayout.h"

#include <algorithm>
#include <cmath>

int HexLayout::offsetDigits(qint64 size) noexcept {
    if (size <= 0)
        return 0;
    int digits = 0;
    for (quint64 rest = quint64(size); rest != 0; rest >>= 4)
        ++digits;
    digits = std::max(digits, 8);
    return digits % 2 ? digits + 1 : digits;
}

int HexLayout::linesPerScreen(int viewHeight, int lineHeight) noexcept {
    if (lineHeight <= 0 || viewHeight <= 2)
        return 0;
    return std::min((viewHeight - 2) / lineHeight, MaxLines);
}

int HexLayout::linesDrawn(int linesPerScreen) noexcept {
    return std::min(std::max(linesPerScreen, 0) + 1, MaxLines);
}

HexLayout::HexLayout(qint64 size, int linesPerScreen) noexcept
    : m_size(std::max<qint64>(size, 0))
    , m_digits(offsetDigits(size))
    , m_lines(std::clamp(linesPerScreen, 0, MaxLines)) {}

qint64 HexLayout::lastLineOffset() const noexcept {
    return m_size > 0 ? (m_size - 1) & ~qint64(BytesPerLine - 1) : 0;
}

qint64 HexLayout::lastPageOffset() const noexcept {
    // A view too low for one whole line still counts as one line: else the last page would lie
    // a line past the end of the file.
    const qint64 screen = qint64(std::max(m_lines, 1) - 1) * BytesPerLine;
    return std::max<qint64>(lastLineOffset() - screen, 0);
}

qint64 HexLayout::clampOffset(qint64 requested) const noexcept {
    if (m_size <= 0)
        return 0;
    return std::clamp<qint64>(requested, 0, m_size - 1) & ~qint64(BytesPerLine - 1);
}

qint64 HexLayout::down(qint64 view, qint64 distance) const noexcept {
    if (view >= lastPageOffset())
        return view;
    return std::min(view + distance, lastLineOffset());
}

qint64 HexLayout::up(qint64 view, qint64 distance) const noexcept {
    return std::max<qint64>(view - distance, 0);
}

int HexLayout::columnAtCell(int cell) const noexcept {
    if (cell >= charCell(0))
        return std::min(cell - charCell(0), BytesPerLine - 1);
    if (cell >= middleSeparatorCell())
        return 8 + std::clamp((cell - middleSeparatorCell()) / 3, 0, 7);
    return std::clamp((cell - hexAreaFirstCell()) / 3, 0, 7);
}

int HexLayout::scrollSteps() const noexcept {
    return int(std::clamp<qint64>(m_size / BytesPerLine, 1, MaxScrollSteps));
}

qint64 HexLayout::offsetForScrollValue(int value) const noexcept {
    const int steps = scrollSteps();
    if (value <= 0)
        return 0;
    // long double keeps 64 bits of mantissa: size * value cannot overflow or lose a line.
    const auto offset = qint64(static_cast<long double>(m_size) * value / steps);
    if (offset >= m_size - 1)
        return lastPageOffset();
    return clampOffset(offset);
}

int HexLayout::scrollValueFor(qint64 view) const noexcept {
    const int steps = scrollSteps();
    if (view <= 0 || m_size <= 0)
        return 0;
    if (view >= lastPageOffset())
        return steps;
    return std::clamp(int(std::llround(static_cast<long double>(view) * steps / m_size)), 0, steps);
}
