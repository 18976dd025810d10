#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

/// One on-screen log (incoming, outgoing or status): the lines it holds and the two ways it is
/// written to. The memo on screen mirrors it through the signals, so the lines counted for
/// rotation and the lines saved to a file are exactly the lines shown.
class TrafficLog : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    /// One entry: when it was written and how many of the log's lines it holds, in order.
    struct Entry {
        QDateTime at;
        qsizetype lines = 0;
    };

    explicit TrafficLog(QString name, QObject* parent = nullptr);

    const QString& name() const { return m_name; }
    /// The clock entries are stamped with; the system's clock by default.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    /// Appends an entry; CR LF, lone CR and lone LF inside it start new lines, so an entry of n
    /// breaks counts n + 1 lines (an empty entry is one empty line).
    void add(const QString& entry);

    /// Sets the whole text; every earlier line is gone. An empty text leaves no lines.
    void replace(const QString& text);

    void clear() { replace({}); }

    qsizetype lineCount() const { return m_lines.size(); }
    const QStringList& lines() const { return m_lines; }
    /// The lines joined by LF, as a memo shows them.
    QString text() const { return m_lines.join(u'\n'); }
    /// The entries, oldest first; their line counts add up to lineCount(). A replaced text is one
    /// entry.
    const QList<Entry>& entries() const { return m_entries; }

    /// The lines with the time of their entry before the first line of each, as
    /// "yyyy-MM-dd HH:mm:ss.zzz " + line.
    QStringList stampedLines() const;
    /// How an entry's first line reads with its time.
    static QString stamped(const QDateTime& at, const QString& line);

    /// Splits a text into lines the way add() and replace() count them.
    static QStringList splitLines(QStringView text);

signals:
    /// lines is the entry just added; at is its time.
    void appended(const QStringList& lines, const QDateTime& at);
    void replaced(const QStringList& lines);

private:
    QString m_name;
    QStringList m_lines;
    QList<Entry> m_entries;
    Clock m_clock = &QDateTime::currentDateTime;
};
