#pragma once

#include <QByteArrayView>
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

    /// How much a log keeps of what no file will take: the newest entries that fit all three
    /// limits (an entry larger than the limits goes at once).
    struct Tail {
        qsizetype entries = 0;
        qsizetype lines = 0;
        qsizetype characters = 0;
    };
    /// Enough for the window to show its memo again after a change of filter or times: about
    /// 20 MB at most, where every line is a string of its own.
    static constexpr Tail kScreenTail{10'000, 100'000, qsizetype(8) << 20};

    explicit TrafficLog(QString name, QObject* parent = nullptr);

    const QString& name() const { return m_name; }
    /// The clock entries are stamped with; the system's clock by default.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    /// Appends an entry; CR LF, lone CR and lone LF inside it start new lines, so an entry of n
    /// breaks counts n + 1 lines (an empty entry is one empty line).
    void add(const QString& entry);
    /// The same entry as add(ansi::toText(entry)), from its Windows-1252 bytes: each line is
    /// decoded on its own, so a large entry never exists as one text as well.
    void addAnsi(QByteArrayView entry);

    /// Sets the whole text; every earlier line is gone. An empty text leaves no lines.
    void replace(const QString& text);

    void clear() { replace({}); }

    /// While on (at first), nothing is dropped: the next save takes every line. Off, the log
    /// keeps only its tail; lines that drop out are gone for good.
    void setKeepAll(bool on);
    bool keepsAll() const { return m_keepAll; }
    void setTail(Tail tail);
    const Tail& tail() const { return m_tail; }
    /// The characters of the lines held, line breaks not counted.
    qsizetype characters() const { return m_characters; }

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
    void append(const QStringList& added);
    void trim();

    QString m_name;
    QStringList m_lines;
    QList<Entry> m_entries;
    Clock m_clock = &QDateTime::currentDateTime;
    Tail m_tail = kScreenTail;
    qsizetype m_characters = 0;
    bool m_keepAll = true;
};
