#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>

class QPlainTextEdit;
class TrafficLog;

/// Shows a traffic log in a memo (a LogMemoEdit, so copies join display blocks), entry by entry.
/// Entries added in one pass of the event loop are laid out together: one edit for ten thousand
/// outbox lines instead of ten thousand, each of which would walk the whole document. Every
/// entry up to kShownPerEntry characters shows whole; a longer one (a 100 MB frame) shows its
/// first kShownPerEntry characters and a line that says how many more it holds. The log itself,
/// and every file saved from it, keeps the whole entry.
class LogMemo : public QObject {
    Q_OBJECT
public:
    /// Characters of one entry shown at most, its line breaks counted as one each.
    static constexpr qsizetype kShownPerEntry = qsizetype(1) << 20;
    /// A longer line is laid out as display blocks of at most this many characters: the memo lays
    /// out a block whole on every change and resize, at about a microsecond per character.
    static constexpr qsizetype kDisplayBlock = 4096;

    /// Display text of some entries: display blocks separated by LF.
    struct Shown {
        QString text;
        int blocks = 0;
        /// Display blocks (counted from the first of text) that continue the line before them.
        QList<int> continued;
    };

    LogMemo(TrafficLog& log, QPlainTextEdit* memo);

    /// Appends the display blocks of one entry (its lines): whole up to kShownPerEntry
    /// characters, otherwise its start and a notice line.
    static void appendEntry(Shown& shown, const QStringList& lines);

    /// The notice shown after the start of an entry that holds `hidden` more characters.
    static QString cutNotice(qsizetype hidden);

    /// Lays out what is waiting now; the event loop does it otherwise.
    void flush();

    /// Each entry's first line starts with its time, to the millisecond. Off at first.
    void setShowTimes(bool on);
    /// Only the entries holding text (in any letter case) show; empty shows all. What the log
    /// holds and saves is not touched.
    void setFilter(const QString& text);

private:
    struct Pending {
        QStringList lines;
        QDateTime at;
    };

    void append(const QStringList& lines, const QDateTime& at);
    void rebuild();
    /// Adds an entry as the options show it; false when the filter hides it.
    bool show(Shown& shown, const QStringList& lines, const QDateTime& at) const;
    void markContinued(const Shown& shown, int firstBlock);

    TrafficLog& m_log;
    QPlainTextEdit* m_memo;
    QList<Pending> m_pending;
    bool m_flushQueued = false;
    bool m_memoEmpty = true;
    bool m_showTimes = false;
    QString m_filter;
};
