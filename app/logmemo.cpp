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

void LogMemo::appendEntry(Shown& shown, const QStringList& lines) {
    qsizetype total = lines.size() - 1;
    for (const QString& line : lines)
        total += line.size();
    qsizetype used = 0;
    for (qsizetype i = 0; i < lines.size() && used < kShownPerEntry; ++i) {
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

bool LogMemo::show(Shown& shown, const QStringList& lines, const QDateTime& at) const {
    if (!m_filter.isEmpty() && std::none_of(lines.begin(), lines.end(), [this](const QString& line) {
            return line.contains(m_filter, Qt::CaseInsensitive);
        }))
        return false;
    if (!m_showTimes || lines.isEmpty()) {
        appendEntry(shown, lines);
        return true;
    }
    QStringList withTime = lines;
    withTime[0] = TrafficLog::stamped(at, lines[0]);
    appendEntry(shown, withTime);
    return true;
}

// The whole log again, as the options show it: after a replace, and when an option changes.
void LogMemo::rebuild() {
    m_pending.clear();
    Shown shown;
    const QStringList& lines = m_log.lines();
    qsizetype first = 0;
    bool any = false;
    for (const TrafficLog::Entry& entry : m_log.entries()) {
        any = show(shown, lines.mid(first, entry.lines), entry.at) || any;
        first += entry.lines;
    }
    keepBlocksCounted(shown.text);
    m_memo->setPlainText(shown.text);
    markContinued(shown, 0);
    m_memoEmpty = !any;
}

void LogMemo::markContinued(const Shown& shown, int firstBlock) {
    QTextDocument* document = m_memo->document();
    for (const int block : shown.continued)
        document->findBlockByNumber(firstBlock + block).setUserState(LogMemoEdit::kContinued);
}

void LogMemo::flush() {
    m_flushQueued = false;
    if (m_pending.isEmpty())
        return;
    const QList<Pending> entries = std::exchange(m_pending, {});
    Shown shown;
    bool any = false;
    for (const Pending& entry : entries)
        any = show(shown, entry.lines, entry.at) || any;
    if (!any)
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
    cursor.endEditBlock();
    m_memoEmpty = false;
    markContinued(shown, first);
    if (atEnd)
        bar->setValue(bar->maximum());
}
