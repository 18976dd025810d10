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
        QTest::newRow("limit inside a line") << repeated(u"0123456789\n", most + 5000) << most;
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

private:
    std::optional<QTemporaryDir> m_dir;
    QDateTime m_now = QDateTime::currentDateTime();
    LogMemo* m_view = nullptr;
    std::optional<TrafficLogs> m_logs;
    std::optional<LogMemoEdit> m_memo;
};

QTEST_MAIN(TestLogMemo)
#include "tst_logmemo.moc"
