#include "app/logmemo.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

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
    connect(&log, &TrafficLog::replaced, this, &LogMemo::replace);
    setPlainText(log.lines());
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

void LogMemo::append(const QStringList& lines) {
    m_pending.append(lines);
    m_pendingLines += lines.size();
    if (!m_flushQueued) {
        m_flushQueued = true;
        // Posted rather than a zero timer: a transport wait lets posted events through but holds
        // timers, and the status lines of a connect must show while it waits.
        QMetaObject::invokeMethod(this, &LogMemo::flush, Qt::QueuedConnection);
    }
}

void LogMemo::replace(const QStringList& lines) {
    m_pending.clear();
    m_pendingLines = 0;
    setPlainText(lines);
}

void LogMemo::setPlainText(const QStringList& lines) {
    Shown shown;
    if (!lines.isEmpty())
        appendEntry(shown, lines);
    keepBlocksCounted(shown.text);
    m_memo->setPlainText(shown.text);
    markContinued(shown, 0);
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
    const QList<QStringList> entries = std::exchange(m_pending, {});
    const qsizetype lines = std::exchange(m_pendingLines, 0);
    Shown shown;
    for (const QStringList& entry : entries)
        appendEntry(shown, entry);
    keepBlocksCounted(shown.text);
    QScrollBar* bar = m_memo->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(m_memo->document());
    cursor.beginEditBlock();
    // The memo was empty before these entries: they are the whole log, and no empty first line.
    // A cursor, not appendPlainText(): that one adds no line after an empty first line.
    const bool whole = m_log.lineCount() == lines;
    if (whole) {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
    } else {
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock();
    }
    const int first = cursor.blockNumber();
    cursor.insertText(shown.text);
    cursor.endEditBlock();
    markContinued(shown, first);
    if (atEnd)
        bar->setValue(bar->maximum());
}
