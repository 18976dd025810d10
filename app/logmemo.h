#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>
#include <deque>

class QPlainTextEdit;
class TrafficLog;

/// Shows a traffic log in a memo (a LogMemoEdit, so copies join display blocks), entry by entry.
/// Entries added in one pass of the event loop are laid out together: one edit for ten thousand
/// outbox lines instead of ten thousand, each of which would walk the whole document. Every
/// entry up to kShownPerEntry characters and kShownLinesPerEntry lines shows whole; a longer one
/// (a 100 MB frame, a stream of line breaks) shows its start and a line that says how many more
/// characters it holds. The memo keeps the newest kKeptEntries entries at least; older ones
/// leave it. Once the entries shown whole pass kWholeCharacters or kWholeBlocks, the oldest are
/// cut to their first kShortHead characters and the notice. The log itself, and every file saved
/// from it, keeps the whole entry.
class LogMemo : public QObject {
    Q_OBJECT
public:
    /// Characters of one entry shown at most, its line breaks counted as one each.
    static constexpr qsizetype kShownPerEntry = qsizetype(1) << 20;
    /// Lines of one entry shown at most: every line is a block of the memo's document, and a
    /// block costs about 200 bytes however short it is.
    static constexpr qsizetype kShownLinesPerEntry = 2000;
    /// A longer line is laid out as display blocks of at most this many characters: the memo lays
    /// out a block whole on every change and resize, at about a microsecond per character.
    static constexpr qsizetype kDisplayBlock = 4096;
    /// Entries the memo keeps at least; it lets kTrimBatch more gather before the oldest go, so
    /// that the front of the document is not cut for every entry.
    static constexpr qsizetype kKeptEntries = 10'000;
    static constexpr qsizetype kTrimBatch = 1000;
    /// What the newest entries may take shown whole, all together.
    static constexpr qsizetype kWholeCharacters = qsizetype(4) << 20;
    static constexpr qsizetype kWholeBlocks = 40'000;
    /// What is left of an older entry cut short: the start of its first line.
    static constexpr qsizetype kShortHead = 160;

    /// Where one entry lies in the display text.
    struct Extent {
        int blocks = 0;
        /// Characters of its display blocks, each block's line break included.
        qsizetype characters = 0;
        /// Characters of the entry itself, line breaks counted as one each.
        qsizetype total = 0;
        bool shortened = false;
    };

    /// Display text of some entries: display blocks separated by LF.
    struct Shown {
        QString text;
        int blocks = 0;
        /// Display blocks (counted from the first of text) that continue the line before them.
        QList<int> continued;
        QList<Extent> entries;
    };

    LogMemo(TrafficLog& log, QPlainTextEdit* memo);

    /// Appends the display blocks of one entry (its lines): whole up to kShownPerEntry
    /// characters and kShownLinesPerEntry lines, otherwise its start and a notice line.
    static void appendEntry(Shown& shown, const QStringList& lines);
    /// Appends an entry cut short: its first line up to kShortHead characters and, when that is
    /// not all of it, the notice.
    static void appendShort(Shown& shown, const QStringList& lines);

    /// The notice shown after the start of an entry that holds `hidden` more characters.
    static QString cutNotice(qsizetype hidden);

    /// Lays out what is waiting now; the event loop does it otherwise.
    void flush();

    /// Each entry's first line starts with its time, to the millisecond. Off at first.
    void setShowTimes(bool on);
    /// Only the entries holding text (in any letter case) show; empty shows all. What the log
    /// holds and saves is not touched. The memo is laid out again from what the log still holds
    /// (TrafficLog::tail()).
    void setFilter(const QString& text);

    /// The entries in the memo now, oldest first.
    const std::deque<Extent>& entries() const { return m_shown; }

private:
    struct Pending {
        QStringList lines;
        QDateTime at;
    };

    void append(const QStringList& lines, const QDateTime& at);
    void rebuild();
    /// Whether the filter lets the entry show.
    bool passes(const QStringList& lines) const;
    /// Adds an entry as the options show it, whole or cut short.
    void show(Shown& shown, const QStringList& lines, const QDateTime& at, bool shortened) const;
    void markContinued(const Shown& shown, int firstBlock);
    /// Takes the entries just laid out into the count and keeps the memo within its bounds.
    void keepBounded(const Shown& added);
    void dropOldest(qsizetype entries);
    void shorten(std::size_t index, int firstBlock);

    TrafficLog& m_log;
    QPlainTextEdit* m_memo;
    QList<Pending> m_pending;
    std::deque<Extent> m_shown;
    /// The entries before this one in m_shown are cut short already.
    std::size_t m_firstWhole = 0;
    qsizetype m_wholeCharacters = 0;
    qsizetype m_wholeBlocks = 0;
    bool m_flushQueued = false;
    bool m_memoEmpty = true;
    bool m_showTimes = false;
    QString m_filter;
};
