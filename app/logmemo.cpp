#include "app/logmemo.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "app/logmemoedit.h"
#include "logs/trafficlog.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// How far back from a display block's end a blank is looked for, so that words and hex values
// are not split between two blocks; text without blanks (Base64) is cut at the size.
constexpr qsizetype kBlankSearch = 64;

// A cut between the halves of a surrogate pair would show two broken characters.
qsizetype safeCut(QStringView text, qsizetype at) {
    if (at > 0 && at < text.size() && text[at - 1].isHighSurrogate())
        return at - 1;
    return at;
}

void startBlock(LogMemo::Shown& shown) {
    if (shown.blocks > 0)
        shown.text += u'\n';
    ++shown.blocks;
}

void appendLine(LogMemo::Shown& shown, QStringView line) {
    startBlock(shown);
    qsizetype at = 0;
    while (line.size() - at > LogMemo::kDisplayBlock) {
        qsizetype end = at + LogMemo::kDisplayBlock;
        const qsizetype blank = line.sliced(end - kBlankSearch, kBlankSearch).lastIndexOf(u' ');
        end = blank >= 0 ? end - kBlankSearch + blank + 1 : safeCut(line, end);
        shown.text += line.sliced(at, end - at);
        shown.text += u'\n';
        shown.continued.append(shown.blocks++);
        at = end;
    }
    shown.text += line.sliced(at);
}

// QTextCursor::insertText() starts a block at these too, which would shift the blocks marked
// continued; the memo shows them as the line break within a block that it makes of them anyway.
void keepBlocksCounted(QString& text) {
    text.replace(QChar::ParagraphSeparator, QChar::LineSeparator);
    text.replace(QChar(0xFDD0), QChar::ReplacementCharacter);
    text.replace(QChar(0xFDD1), QChar::ReplacementCharacter);
}

} // namespace

LogMemo::LogMemo(TrafficLog& log, QPlainTextEdit* memo)
    : QObject(memo)
    , m_log(log)
    , m_memo(memo) {
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false); // a log is never undone; the stack would hold every entry twice
    // Wrapped at the window, a whole frame can be read without scrolling sideways.
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setAccessibleName(log.name());
    connect(&log, &TrafficLog::appended, this, &LogMemo::append);
    connect(&log, &TrafficLog::replaced, this, &LogMemo::rebuild);
    rebuild();
}

QString LogMemo::cutNotice(qsizetype hidden) {
    return u"\u2026 nog %1 tekens niet getoond (het logbestand bewaart alles als \u201cLogboeken bewaren op "
           u"schijf\u201d aan staat)"_s.arg(QLocale(QLocale::Dutch, QLocale::Netherlands).toString(hidden));
}

namespace {

qsizetype totalCharacters(const QStringList& lines) {
    qsizetype total = std::max<qsizetype>(lines.size() - 1, 0);
    for (const QString& line : lines)
        total += line.size();
    return total;
}

// The entry just appended from `blocks` and `start` on.
void record(LogMemo::Shown& shown, int blocks, qsizetype start, qsizetype total, bool shortened) {
    shown.entries.append({shown.blocks - blocks, shown.text.size() - start + 1, total, shortened});
}

void join(LogMemo::Shown& into, const LogMemo::Shown& piece) {
    if (piece.blocks == 0) {
        into.entries.append(piece.entries);
        return;
    }
    if (into.blocks > 0)
        into.text += u'\n';
    into.text += piece.text;
    for (const int block : piece.continued)
        into.continued.append(into.blocks + block);
    into.blocks += piece.blocks;
    into.entries.append(piece.entries);
}

} // namespace

void LogMemo::appendEntry(Shown& shown, const QStringList& lines) {
    const int blocks = shown.blocks;
    const qsizetype start = shown.text.size();
    const qsizetype total = totalCharacters(lines);
    qsizetype used = 0;
    for (qsizetype i = 0; i < lines.size() && i < kShownLinesPerEntry && used < kShownPerEntry; ++i) {
        if (i > 0)
            ++used; // the line break
        QStringView line = lines[i];
        if (line.size() > kShownPerEntry - used)
            line = line.first(safeCut(line, kShownPerEntry - used));
        appendLine(shown, line);
        used += line.size();
    }
    if (used < total) {
        startBlock(shown);
        shown.text += cutNotice(total - used);
    }
    record(shown, blocks, start, total, false);
}

void LogMemo::appendShort(Shown& shown, const QStringList& lines) {
    const int blocks = shown.blocks;
    const qsizetype start = shown.text.size();
    const qsizetype total = totalCharacters(lines);
    if (!lines.isEmpty()) {
        QStringView head = lines.front();
        if (head.size() > kShortHead)
            head = head.first(safeCut(head, kShortHead));
        startBlock(shown);
        shown.text += head;
        if (head.size() < total) {
            startBlock(shown);
            shown.text += cutNotice(total - head.size());
        }
    }
    record(shown, blocks, start, total, true);
}

void LogMemo::append(const QStringList& lines, const QDateTime& at) {
    m_pending.append({lines, at});
    if (!m_flushQueued) {
        m_flushQueued = true;
        // Posted rather than a zero timer: a transport wait lets posted events through but holds
        // timers, and the status lines of a connect must show while it waits.
        QMetaObject::invokeMethod(this, &LogMemo::flush, Qt::QueuedConnection);
    }
}

void LogMemo::setShowTimes(bool on) {
    if (on == m_showTimes)
        return;
    m_showTimes = on;
    rebuild();
}

void LogMemo::setFilter(const QString& text) {
    if (text == m_filter)
        return;
    m_filter = text;
    rebuild();
}

bool LogMemo::passes(const QStringList& lines) const {
    return m_filter.isEmpty() || std::any_of(lines.begin(), lines.end(), [this](const QString& line) {
               return line.contains(m_filter, Qt::CaseInsensitive);
           });
}

void LogMemo::show(Shown& shown, const QStringList& lines, const QDateTime& at, bool shortened) const {
    const auto add = shortened ? &LogMemo::appendShort : &LogMemo::appendEntry;
    if (!m_showTimes || lines.isEmpty()) {
        add(shown, lines);
        return;
    }
    QStringList withTime = lines;
    withTime[0] = TrafficLog::stamped(at, lines[0]);
    add(shown, withTime);
}

// The memo again from what the log still holds, as the options show it: after a replace, and
// when an option changes. The newest entries come whole as far as the bounds allow.
void LogMemo::rebuild() {
    m_pending.clear();
    const QStringList& lines = m_log.lines();
    const QList<TrafficLog::Entry>& entries = m_log.entries();
    std::vector<Shown> pieces; // newest first
    qsizetype whole = 0;
    qsizetype wholeBlocks = 0;
    bool shortened = false;
    qsizetype end = lines.size();
    for (qsizetype e = entries.size(); e-- > 0 && qsizetype(pieces.size()) < kKeptEntries;) {
        const qsizetype first = end - entries[e].lines;
        const QStringList part = lines.mid(first, entries[e].lines);
        end = first;
        if (!passes(part))
            continue;
        Shown piece;
        show(piece, part, entries[e].at, shortened);
        if (!shortened &&
            (whole + piece.text.size() > kWholeCharacters || wholeBlocks + piece.blocks > kWholeBlocks) &&
            !pieces.empty()) {
            shortened = true;
            piece = {};
            show(piece, part, entries[e].at, true);
        }
        if (!shortened) {
            whole += piece.text.size();
            wholeBlocks += piece.blocks;
        }
        pieces.push_back(std::move(piece));
    }
    Shown shown;
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece)
        join(shown, *piece);
    pieces.clear();
    keepBlocksCounted(shown.text);
    m_memo->setPlainText(shown.text);
    markContinued(shown, 0);
    m_memoEmpty = shown.entries.isEmpty();
    m_shown.assign(shown.entries.begin(), shown.entries.end());
    m_firstWhole = 0;
    m_wholeCharacters = 0;
    m_wholeBlocks = 0;
    for (const Extent& extent : m_shown) {
        if (extent.shortened) {
            ++m_firstWhole;
            continue;
        }
        m_wholeCharacters += extent.characters;
        m_wholeBlocks += extent.blocks;
    }
}

void LogMemo::markContinued(const Shown& shown, int firstBlock) {
    QTextDocument* document = m_memo->document();
    for (const int block : shown.continued)
        document->findBlockByNumber(firstBlock + block).setUserState(LogMemoEdit::kContinued);
}

void LogMemo::keepBounded(const Shown& added) {
    for (const Extent& extent : added.entries) {
        m_shown.push_back(extent);
        m_wholeCharacters += extent.characters;
        m_wholeBlocks += extent.blocks;
    }
    if (qsizetype(m_shown.size()) > kKeptEntries + kTrimBatch)
        dropOldest(qsizetype(m_shown.size()) - kKeptEntries);
    if (m_wholeCharacters <= kWholeCharacters && m_wholeBlocks <= kWholeBlocks)
        return;
    int firstBlock = 0;
    for (std::size_t i = 0; i < m_firstWhole; ++i)
        firstBlock += m_shown[i].blocks;
    // The newest entry stays whole: it alone is always within the bounds.
    while ((m_wholeCharacters > kWholeCharacters || m_wholeBlocks > kWholeBlocks) &&
           m_firstWhole + 1 < m_shown.size()) {
        Extent& extent = m_shown[m_firstWhole];
        // One short line is as short as it gets.
        if (extent.blocks > 2 || extent.characters > 2 * kShortHead)
            shorten(m_firstWhole, firstBlock);
        else {
            m_wholeCharacters -= extent.characters;
            m_wholeBlocks -= extent.blocks;
            extent.shortened = true;
        }
        firstBlock += extent.blocks;
        ++m_firstWhole;
    }
}

void LogMemo::dropOldest(qsizetype entries) {
    int blocks = 0;
    for (qsizetype i = 0; i < entries; ++i) {
        const Extent& extent = m_shown[std::size_t(i)];
        blocks += extent.blocks;
        if (!extent.shortened) {
            m_wholeCharacters -= extent.characters;
            m_wholeBlocks -= extent.blocks;
        }
    }
    m_shown.erase(m_shown.begin(), m_shown.begin() + entries);
    m_firstWhole = m_firstWhole > std::size_t(entries) ? m_firstWhole - std::size_t(entries) : 0;
    QTextDocument* document = m_memo->document();
    QTextCursor cursor(document);
    cursor.setPosition(document->findBlockByNumber(blocks).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    // An entry's first block never continues another line, whichever block's state survived.
    document->firstBlock().setUserState(-1);
}

void LogMemo::shorten(std::size_t index, int firstBlock) {
    Extent& extent = m_shown[index];
    QTextDocument* document = m_memo->document();
    const QTextBlock first = document->findBlockByNumber(firstBlock);
    const QTextBlock last = document->findBlockByNumber(firstBlock + extent.blocks - 1);
    // The first block holds at least the head: a display block is far longer than kShortHead.
    QString text = first.text();
    if (text.size() > kShortHead)
        text.truncate(safeCut(text, kShortHead));
    const qsizetype head = text.size();
    int blocks = 1;
    if (head < extent.total) {
        text += u'\n' + cutNotice(extent.total - head);
        ++blocks;
    }
    QTextCursor cursor(document);
    cursor.setPosition(first.position());
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    for (QTextBlock block = document->findBlockByNumber(firstBlock); blocks-- > 0; block = block.next())
        block.setUserState(-1);
    m_wholeCharacters -= extent.characters;
    m_wholeBlocks -= extent.blocks;
    extent.blocks = head < extent.total ? 2 : 1;
    extent.characters = text.size() + 1;
    extent.shortened = true;
}

void LogMemo::flush() {
    m_flushQueued = false;
    if (m_pending.isEmpty())
        return;
    const QList<Pending> entries = std::exchange(m_pending, {});
    Shown shown;
    for (const Pending& entry : entries)
        if (passes(entry.lines))
            show(shown, entry.lines, entry.at, false);
    if (shown.entries.isEmpty())
        return;
    keepBlocksCounted(shown.text);
    QScrollBar* bar = m_memo->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(m_memo->document());
    cursor.beginEditBlock();
    // The memo showed nothing before these entries: no empty first line above them.
    // A cursor, not appendPlainText(): that one adds no line after an empty first line.
    if (m_memoEmpty) {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
    } else {
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock();
    }
    const int first = cursor.blockNumber();
    cursor.insertText(shown.text);
    m_memoEmpty = false;
    markContinued(shown, first);
    keepBounded(shown);
    cursor.endEditBlock();
    if (atEnd)
        bar->setValue(bar->maximum());
}
