#pragma once

#include <QObject>
#include <QStringList>

class QPlainTextEdit;
class TrafficLog;

/// Shows a traffic log in a memo, line for line. Lines added in one pass of the event loop are
/// laid out together: one edit for ten thousand outbox lines instead of ten thousand, each of
/// which would walk the whole document. A line too long to lay out in good time (a 100 MB frame
/// is one line) shows its start and how much more it holds; the log itself, and every file
/// saved from it, keeps the whole line.
class LogMemo : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kShownPerLine = 4096;

    LogMemo(TrafficLog& log, QPlainTextEdit* memo);

    /// The text a memo shows for these lines.
    static QString shown(const QStringList& lines);

    /// Lays out what is waiting now; the event loop does it otherwise.
    void flush();

private:
    void append(const QStringList& lines);
    void replace(const QStringList& lines);
    void setPlainText(const QStringList& lines);

    TrafficLog& m_log;
    QPlainTextEdit* m_memo;
    QStringList m_pending;
    bool m_flushQueued = false;
};
