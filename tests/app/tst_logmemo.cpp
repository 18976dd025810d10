#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "app/logmemo.h"
#include "app/logmemoedit.h"
#include "common/ansicodec.h"
#include "common/hexrender.h"
#include "common/textlines.h"
#include "logs/trafficlogs.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString latin1Frame(qsizetype size) {
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        text[i] = QChar(ansi::decodeByte(static_cast<unsigned char>(i * 31 + i / 256)));
    return text;
}

QString repeated(QStringView unit, qsizetype size) {
    QString text;
    while (text.size() < size)
        text += unit;
    text.truncate(size);
    return text;
}

const QString kFace = u"\U0001F600"_s; // a surrogate pair
// An entry cut short: its head, the notice, their line breaks.
constexpr qsizetype kShortAtMost = LogMemo::kShortHead + 200;

} // namespace

class TestLogMemo : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_logs.emplace(m_dir->path(), [this] { return m_now; });
        m_memo.emplace();
        m_memo->resize(640, 160);
        m_view = new LogMemo(m_logs->incoming(), &*m_memo);
        m_memo->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*m_memo));
    }
    void cleanup() {
        m_memo.reset();
        m_logs.reset();
        m_dir.reset();
    }

    // The time before each entry and a filter change what shows, entry by entry, at once and for
    // later entries, and never what the log holds.
    void timesAndFilterShapeOnlyTheView() {
        m_now = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9, 7));
        m_logs->incoming().add(u"Verbinding opgebouwd"_s);
        m_now = m_now.addMSecs(5);
        m_logs->incoming().add(u"Socket Error # 10054\r\nConnection reset by peer."_s);
        m_view->flush();
        m_view->setShowTimes(true);
        QCOMPARE(m_memo->toPlainText(),
                 u"2026-03-07 14:05:09.007 Verbinding opgebouwd\n"
                 "2026-03-07 14:05:09.012 Socket Error # 10054\nConnection reset by peer."_s);
        m_view->setFilter(u"RESET"_s);
        QCOMPARE(m_memo->toPlainText(),
                 u"2026-03-07 14:05:09.012 Socket Error # 10054\nConnection reset by peer."_s);
        m_logs->incoming().add(u"nog een reset"_s);
        m_logs->incoming().add(u"Verbinding opgebouwd"_s);
        m_view->flush();
        QCOMPARE(m_memo->toPlainText(),
                 u"2026-03-07 14:05:09.012 Socket Error # 10054\nConnection reset by peer.\n"
                 "2026-03-07 14:05:09.012 nog een reset"_s);
        m_view->setFilter(u"geen"_s);
        QCOMPARE(m_memo->toPlainText(), QString());
        m_logs->incoming().add(u"geen verbinding"_s); // the first shown: no empty line above it
        m_view->flush();
        QCOMPARE(m_memo->toPlainText(), u"2026-03-07 14:05:09.012 geen verbinding"_s);
        m_view->setShowTimes(false);
        m_view->setFilter({});
        QCOMPARE(m_memo->toPlainText(),
                 u"Verbinding opgebouwd\nSocket Error # 10054\nConnection reset by peer.\n"
                 "nog een reset\nVerbinding opgebouwd\ngeen verbinding"_s);
        QCOMPARE(m_logs->incoming().lineCount(), 6);
    }

    void entriesShowWhole_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("1.4 KB frame in hex") << hexRender(latin1Frame(1400));
        QTest::newRow("64 KiB without a blank") << repeated(u"QUJDRA==", 64 * 1024);
        QTest::newRow("1 MiB, the most shown whole")
            << repeated(u"Verbinding opgebouwd ", LogMemo::kShownPerEntry);
        QTest::newRow("one display block") << QString(LogMemo::kDisplayBlock, u'x');
        QTest::newRow("one over a display block") << QString(LogMemo::kDisplayBlock + 1, u'x');
        QTest::newRow("surrogate pair on a block edge")
            << QString(LogMemo::kDisplayBlock - 1, u'x') + kFace + QString(20, u'y');
        QTest::newRow("several lines") << u"a\r\n"_s + repeated(u"0D 0A ", 9000) + u"\rb\n\nc"_s;
    }
    void entriesShowWhole() {
        QFETCH(QString, entry);
        m_logs->incoming().add(u"kort"_s);
        m_logs->incoming().add(entry);
        m_logs->incoming().add(u"na"_s);
        const QString expected = TrafficLog::splitLines(entry).join(u'\n');
        QTRY_COMPARE(m_memo->text(), u"kort\n"_s + expected + u"\nna"_s);

        // Layout time is bounded by the display block, and no block splits a character.
        for (QTextBlock b = m_memo->document()->begin(); b.isValid(); b = b.next()) {
            QVERIFY(b.length() - 1 <= LogMemo::kDisplayBlock);
            QVERIFY(b.text().isEmpty() || !b.text().back().isHighSurrogate());
        }
        // What the operator copies: all of it, or just the entry's display blocks.
        m_memo->selectAll();
        m_memo->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), m_memo->text());
        QTextCursor entryOnly(m_memo->document()->firstBlock().next());
        QTextCursor last(m_memo->document()->lastBlock().previous());
        last.movePosition(QTextCursor::EndOfBlock);
        entryOnly.setPosition(last.position(), QTextCursor::KeepAnchor);
        QCOMPARE(LogMemoEdit::copiedText(entryOnly), expected);
    }

    void longerEntriesShowTheirStartAndSaySo_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<qsizetype>("shown");
        const qsizetype most = LogMemo::kShownPerEntry;
        QTest::newRow("one character over") << QString(most + 1, u'x') << most;
        QTest::newRow("8 MiB frame in hex") << hexRender(latin1Frame(8 * 1024 * 1024 / 3)) << most;
        QTest::newRow("limit inside a line")
            << repeated(QString(QString(999, u'7') + u'\n'), most + 5000) << most;
        // A stream of short lines shows its first lines: each is a block of the document.
        QTest::newRow("limit of lines")
            << repeated(u"0123456789\n", most + 5000) << LogMemo::kShownLinesPerEntry * 11 - 1;
        QTest::newRow("limit on a line break") << QString(most, u'x') + u"\r\nrest"_s << most;
        QTest::newRow("limit inside a surrogate pair")
            << QString(most - 1, u'x') + kFace + u"zz"_s << most - 1;
    }
    void longerEntriesShowTheirStartAndSaySo() {
        QFETCH(QString, entry);
        QFETCH(qsizetype, shown);
        m_logs->incoming().add(entry);
        const QString whole = TrafficLog::splitLines(entry).join(u'\n');
        QVERIFY(whole.size() > LogMemo::kShownPerEntry);
        QTRY_COMPARE(m_memo->text(), whole.first(shown) + u'\n' + LogMemo::cutNotice(whole.size() - shown));
        // The log and the file saved from it keep every character.
        QCOMPARE(m_logs->incoming().text(), whole);
        const auto saved = m_logs->save(m_logs->incoming(), u"MM_IN_"_s);
        QVERIFY(saved);
        QFile file(saved.value());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), textlines::encodeCrLf(m_logs->incoming().lines()));
        QVERIFY(textlines::encodeCrLf(m_logs->incoming().lines()).size() > entry.size());

        QCOMPARE(LogMemo::cutNotice(98'951'424),
                 u"\u2026 nog 98.951.424 tekens niet getoond (het logbestand bewaart alles als "
                 u"\u201cLogboeken bewaren op schijf\u201d aan staat)"_s);
    }

    // Entries of one pass are laid out in one edit on the next; order, line breaks and the joins
    // of display blocks must come out as the log holds them, across passes and a rotation.
    void batchedEntriesAppearInOrder() {
        TrafficLog& log = m_logs->incoming();
        const QString longLine = repeated(u"41 42 ", 3 * LogMemo::kDisplayBlock + 7);
        for (int i = 0; i < 3000; ++i)
            log.add(i == 1500 ? longLine : i % 7 == 0 ? u"regel %1\r\nvervolg"_s.arg(i) : QString::number(i));
        QCOMPARE(m_memo->document()->blockCount(), 1); // nothing laid out before the pass
        QTRY_COMPARE(m_memo->text(), log.text());
        log.add(longLine);
        log.add(u"x"_s);
        QCoreApplication::processEvents();
        log.add(u"y"_s);
        QTRY_COMPARE(m_memo->text(), log.text());
        // A rotation drops what was waiting; the first entries after it are the whole memo.
        log.add(u"vervalt"_s);
        log.clear();
        log.add(longLine);
        log.add(QString());
        QTRY_COMPARE(m_memo->text(), longLine + u'\n');
        QCOMPARE(m_memo->toPlainText().count(u'\n'), m_memo->document()->blockCount() - 1);
    }

    void followsTheEndOnlyWhenAtTheEnd() {
        TrafficLog& log = m_logs->incoming();
        const auto endVisible = [this] {
            QTextCursor end(m_memo->document());
            end.movePosition(QTextCursor::End);
            return m_memo->viewport()->rect().contains(m_memo->cursorRect(end).center());
        };
        for (int i = 0; i < 200; ++i)
            log.add(QString::number(i));
        QTRY_VERIFY(endVisible());
        log.add(hexRender(latin1Frame(LogMemo::kShownPerEntry / 3)));
        log.add(u"laatste"_s);
        QTRY_COMPARE(m_memo->document()->lastBlock().text(), u"laatste"_s);
        QTRY_VERIFY(endVisible());

        // The operator scrolled up to read: new entries leave the view where it is.
        QScrollBar* bar = m_memo->verticalScrollBar();
        bar->setValue(0);
        log.add(u"nog een"_s);
        QTRY_COMPARE(m_memo->document()->lastBlock().text(), u"nog een"_s);
        QCOMPARE(bar->value(), 0);
        QVERIFY(!endVisible());
    }

    // A long run: the memo keeps the newest ten thousand entries at least and lets the older go;
    // big entries stay whole while they are the newest and are cut to their start as they age;
    // a stream of line breaks shows its first lines. The document never passes its bounds, and
    // what shows and is copied is each kept entry's own text (or its start and the notice).
    void longRunsKeepABoundedTail() {
        TrafficLog& log = m_logs->incoming();
        m_logs->setTail({LogMemo::kKeptEntries, 100'000, 1 << 20});
        QVERIFY(m_logs->rotate(false).ok());
        const auto bounded = [this] {
            qsizetype whole = 0;
            qsizetype wholeBlocks = 0;
            int blocks = 0;
            for (const LogMemo::Extent& e : m_view->entries()) {
                blocks += e.blocks;
                if (!e.shortened) {
                    whole += e.characters;
                    wholeBlocks += e.blocks;
                }
            }
            return qsizetype(m_view->entries().size()) <= LogMemo::kKeptEntries + LogMemo::kTrimBatch &&
                   whole <= LogMemo::kWholeCharacters && wholeBlocks <= LogMemo::kWholeBlocks &&
                   blocks == m_memo->document()->blockCount() &&
                   m_memo->document()->characterCount() <
                       LogMemo::kWholeCharacters +
                           (LogMemo::kKeptEntries + LogMemo::kTrimBatch) * 2 * kShortAtMost;
        };
        const QString big = repeated(u"QUJD RA== ", LogMemo::kShownPerEntry - 10);
        const QString breaks(300'000, u'\n');
        int n = 0;
        for (int pass = 0; pass < 13; ++pass) {
            for (int i = 0; i < 1000; ++i, ++n)
                log.add(n % 997 == 0 ? big : n % 1999 == 0 ? breaks : u"entry %1"_s.arg(n));
            m_view->flush();
            QVERIFY(bounded());
        }
        const qsizetype kept = qsizetype(m_view->entries().size());
        QVERIFY(kept >= LogMemo::kKeptEntries);
        // Oldest first, each as it was added: whole, cut to its start, or its first lines.
        QString expected;
        for (int i = n - int(kept); i < n; ++i) {
            const LogMemo::Extent& e = m_view->entries()[std::size_t(i - (n - kept))];
            QString entry;
            if (i % 997 == 0)
                entry = e.shortened ? big.first(LogMemo::kShortHead) + u'\n' +
                                          LogMemo::cutNotice(big.size() - LogMemo::kShortHead)
                                    : big;
            else if (i % 1999 == 0)
                entry =
                    (e.shortened ? QString() : QString(LogMemo::kShownLinesPerEntry - 1, u'\n')) + u'\n' +
                    LogMemo::cutNotice(e.shortened ? 300'000 : 300'000 - LogMemo::kShownLinesPerEntry + 1);
            else
                entry = u"entry %1"_s.arg(i);
            expected += (expected.isEmpty() ? QString() : u"\n"_s) + entry;
        }
        QCOMPARE(m_memo->text(), expected);
        QVERIFY(!m_view->entries().back().shortened);
        // The big entries near the end are whole, older ones cut.
        QVERIFY(m_memo->text().contains(big));
        QVERIFY(m_memo->text().count(LogMemo::cutNotice(big.size() - LogMemo::kShortHead)) >= 5);

        // Laid out again for a filter, from what the log still holds: its newest entries.
        m_view->setFilter(u"entry 1299"_s);
        QCOMPARE(m_memo->text(), u"entry 12990\nentry 12991\nentry 12992\nentry 12993\nentry 12994\n"
                                 "entry 12995\nentry 12996\nentry 12997\nentry 12998\nentry 12999"_s);
        m_view->setFilter({});
        QVERIFY(bounded());
        QCOMPARE(m_memo->document()->lastBlock().text(), u"entry 12999"_s);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QDateTime m_now = QDateTime::currentDateTime();
    LogMemo* m_view = nullptr;
    std::optional<TrafficLogs> m_logs;
    std::optional<LogMemoEdit> m_memo;
};

QTEST_MAIN(TestLogMemo)
#include "tst_logmemo.moc"
