#include "app/logmemo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

#include "link/trafficlog.h"

using namespace Qt::Literals::StringLiterals;

LogMemo::LogMemo(TrafficLog& log, QPlainTextEdit* memo)
    : QObject(memo)
    , m_log(log)
    , m_memo(memo) {
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setAccessibleName(log.name());
    connect(&log, &TrafficLog::appended, this, &LogMemo::append);
    connect(&log, &TrafficLog::replaced, this, &LogMemo::replace);
    setPlainText(log.lines());
}

QString LogMemo::shown(const QStringList& lines) {
    QString text;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += u'\n';
        const QString& line = lines[i];
        if (line.size() <= kShownPerLine)
            text += line;
        else
            text += QStringView(line).left(kShownPerLine) + u" \u2026 (nog "_s +
                    QString::number(line.size() - kShownPerLine) + u" tekens)"_s;
    }
    return text;
}

void LogMemo::append(const QStringList& lines) {
    m_pending += lines;
    if (!m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, &LogMemo::flush);
    }
}

void LogMemo::replace(const QStringList& lines) {
    m_pending.clear();
    setPlainText(lines);
}

void LogMemo::setPlainText(const QStringList& lines) {
    m_memo->setPlainText(shown(lines));
}

void LogMemo::flush() {
    m_flushQueued = false;
    if (m_pending.isEmpty())
        return;
    const QStringList lines = std::exchange(m_pending, {});
    // The memo was empty before these lines: they are the whole log.
    if (m_log.lineCount() == lines.size()) {
        setPlainText(lines);
        return;
    }
    QScrollBar* bar = m_memo->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    // A cursor, not appendPlainText(): that one adds no line after an empty first line.
    QTextCursor cursor(m_memo->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(shown(lines));
    cursor.endEditBlock();
    if (atEnd)
        bar->setValue(bar->maximum());
}
