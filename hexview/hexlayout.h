#pragma once

#include <QtGlobal>

/// Where things go in the view of a file of a given size, counted in lines of 16 bytes and in
/// cells (character widths) from the left margin. No pixels, no font: the widget multiplies.
class HexLayout {
public:
    static constexpr int BytesPerLine = 16;
    static constexpr int MaxLines = 200;
    static constexpr int MaxScrollSteps = 32767;

    /// Hex digits of the offset column: 0 for an empty file, else the file size's own digit
    /// count, at least 8 and always even. Counted exactly, so 16^8 bytes gives 10, not 8.
    static int offsetDigits(qint64 size) noexcept;
    /// Lines that fit wholly into a view viewHeight pixels high (a 2-pixel allowance), 0..200.
    static int linesPerScreen(int viewHeight, int lineHeight) noexcept;
    /// One more than fit, for the partly visible bottom line; at most 200.
    static int linesDrawn(int linesPerScreen) noexcept;

    HexLayout(qint64 size, int linesPerScreen) noexcept;

    qint64 size() const { return m_size; }
    int digits() const { return m_digits; }
    int lines() const { return m_lines; }

    /// The offset of the file's last line (0 for an empty file).
    qint64 lastLineOffset() const noexcept;
    /// The view offset that puts the file's last line at the bottom of the view.
    qint64 lastPageOffset() const noexcept;
    /// Any requested offset made a valid view offset: within the file, on a line start.
    qint64 clampOffset(qint64 requested) const noexcept;
    /// Moving down is refused from the last page on; a move from above it is only limited by the
    /// file's last line.
    qint64 down(qint64 view, qint64 distance) const noexcept;
    qint64 up(qint64 view, qint64 distance) const noexcept;
    /// One screen of lines, at least one line.
    qint64 pageBytes() const noexcept { return qint64(m_lines > 0 ? m_lines : 1) * BytesPerLine; }

    // Cells of a drawn line.
    int hexAreaFirstCell() const { return m_digits + 2; }
    int hexAreaEndCell() const { return m_digits + 52; }
    int middleSeparatorCell() const { return m_digits + 27; }
    int rightSeparatorCell() const { return m_digits + 52; }
    int hexCell(int column) const { return m_digits + (column < 8 ? 3 : 4) + 3 * column; }
    int charCell(int column) const { return m_digits + 53 + column; }
    /// Cells of a full line: offset, hex area and character column.
    int cellCount() const { return m_digits + 53 + BytesPerLine; }
    /// The byte column (0..15) that a click into cell belongs to: the hex digits and the blank
    /// after them, or the character; left of the hex area is column 0, right of the text 15.
    int columnAtCell(int cell) const noexcept;

    // The vertical scroll bar: a range of size / 16 steps, 1..32767, mapped linearly onto the file.
    int scrollSteps() const noexcept;
    qint64 offsetForScrollValue(int value) const noexcept;
    int scrollValueFor(qint64 view) const noexcept;

private:
    qint64 m_size;
    int m_digits;
    int m_lines;
};
