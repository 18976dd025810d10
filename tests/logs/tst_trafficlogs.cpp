#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "common/ansicodec.h"
#include "common/newfile.h"
#include "common/textlines.h"
#include "logs/trafficlogs.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime kNow(QDate(2026, 3, 7), QTime(14, 5, 9));

void fill(TrafficLog& log, int lines) {
    for (int i = 0; i < lines; ++i)
        log.add(u"line %1"_s.arg(i));
}

} // namespace

class TestTrafficLogs : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_logs = std::make_unique<TrafficLogs>(m_dir->path() + u'/', [] { return kNow; });
    }
    void cleanup() {
        m_logs.reset();
        m_dir.reset();
    }

    void entriesCountTheirLines_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("lines");
        QTest::newRow("plain") << u"Verbinding opgebouwd"_s << 1;
        QTest::newRow("empty entry is one line") << QString() << 1;
        QTest::newRow("CR LF") << u"a\r\nb"_s << 2;
        QTest::newRow("lone LF and CR") << u"a\nb\rc"_s << 3;
        QTest::newRow("trailing break leaves an empty line") << u"a\r\n"_s << 2;
    }
    void entriesCountTheirLines() {
        QFETCH(QString, entry);
        QFETCH(int, lines);
        m_logs->incoming().add(entry);
        QCOMPARE(m_logs->incoming().lineCount(), lines);
    }

    // An entry from its Windows-1252 bytes is the entry of its text, kept or followed only; one
    // too large for the tail goes at once with all before it, and its followers still see it.
    void ansiEntryIsItsTextsEntry() {
        const QByteArray bytes("\x01"
                               "12"
                               "\x02"
                               "caf"
                               "\xE9"
                               " "
                               "\x80"
                               "\r\nb\nc\r\r\n"
                               "\x04"
                               "\x81");
        TrafficLog byText(u"a"_s);
        TrafficLog byBytes(u"b"_s);
        QSignalSpy appended(&byBytes, &TrafficLog::appended);
        byText.add(ansi::toText(bytes));
        byBytes.addAnsi(bytes);
        QCOMPARE(byBytes.lines(), byText.lines());
        QCOMPARE(byBytes.characters(), byText.characters());
        QCOMPARE(appended.size(), 1);
        QCOMPARE(appended[0][0].toStringList(), byText.lines());

        for (const TrafficLog::Tail tail : {TrafficLog::Tail{}, TrafficLog::Tail{100, 4, 1000}}) {
            TrafficLog log(u"c"_s);
            log.setKeepAll(false);
            log.setTail(tail);
            log.add(u"before"_s);
            QSignalSpy seen(&log, &TrafficLog::appended);
            log.addAnsi(bytes);
            QCOMPARE(seen.size(), 1);
            QCOMPARE(seen[0][0].toStringList(), byText.lines());
            QCOMPARE(log.lineCount(), 0);
            QCOMPARE(log.characters(), 0);
            QVERIFY(log.entries().isEmpty());
            log.add(u"after"_s);
            QCOMPARE(log.lines(), tail.lines > 0 ? QStringList{u"after"_s} : QStringList());
        }
    }

    void replaceDropsEverything() {
        TrafficLog& log = m_logs->incoming();
        fill(log, 3);
        QSignalSpy replaced(&log, &TrafficLog::replaced);
        log.replace(u"Socket Error # 10061\r\nConnection refused."_s);
        QCOMPARE(log.lines(), (QStringList{u"Socket Error # 10061"_s, u"Connection refused."_s}));
        QCOMPARE(replaced.size(), 1);
        log.replace(QString());
        QCOMPARE(log.lineCount(), 0);
    }

    void rotationBoundary_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("rotated");
        QTest::newRow("499") << 499 << true << false;
        QTest::newRow("500 is not rotated") << 500 << true << false;
        QTest::newRow("501 is rotated") << 501 << true << true;
        QTest::newRow("501 with Logbewaren off") << 501 << false << false;
        QTest::newRow("5000 with Logbewaren off") << 5000 << false << false;
    }
    void rotationBoundary() {
        QFETCH(int, lines);
        QFETCH(bool, keep);
        QFETCH(bool, rotated);
        fill(m_logs->incoming(), lines);
        fill(m_logs->outgoing(), lines);
        QVERIFY(m_logs->rotate(keep).ok());
        const QStringList files = QDir(m_dir->path()).entryList(QDir::Files, QDir::Name);
        if (!rotated) {
            QCOMPARE(files, QStringList());
            QCOMPARE(m_logs->incoming().lineCount(), lines);
            return;
        }
        QCOMPARE(files, (QStringList{u"MM_IN_0703202614050939.txt"_s, u"MM_UIT_0703202614050939.txt"_s}));
        QCOMPARE(m_logs->incoming().lineCount(), 0);
        QCOMPARE(m_logs->outgoing().lineCount(), 0);
        const QByteArray saved = readFile(m_dir->filePath(files[0]));
        QCOMPARE(saved.count("\r\n"), lines);
        QVERIFY(saved.startsWith("line 0\r\nline 1\r\n"));
        QVERIFY(saved.endsWith("line 500\r\n"));
    }

    void statusIsNeverSaved() {
        fill(m_logs->status(), 600);
        QVERIFY(m_logs->rotate(true).ok());
        QVERIFY(m_logs->flush(true).ok());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
        QCOMPARE(m_logs->status().lineCount(), 600);
    }

    void fileHoldsWindows1252WithCrLf() {
        m_logs->incoming().add(u"prijs € 5\nnaïef"_s);
        m_logs->incoming().add(u"\u0416"_s);
        QVERIFY(m_logs->flush(true).ok());
        QCOMPARE(readFile(m_dir->filePath(u"MM_IN_0703202614050939.txt"_s)),
                 QByteArray("prijs \x80 5\r\nna\xEF"
                            "ef\r\n?\r\n"));
    }

    void flushWritesOnlyWhatHoldsLines() {
        m_logs->incoming().add(u"Verbinding opgebouwd"_s);
        QVERIFY(m_logs->flush(true).ok());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"MM_IN_0703202614050939.txt"_s});
        QCOMPARE(m_logs->incoming().lineCount(), 0);
    }

    void flushWithLogbewarenOffWritesNothing() {
        fill(m_logs->incoming(), 800);
        fill(m_logs->outgoing(), 800);
        QVERIFY(m_logs->flush(false).ok());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
        QCOMPARE(m_logs->incoming().lineCount(), 800);
    }

    void twoSavesInOneSecondKeepBoth() {
        m_logs->incoming().add(u"first"_s);
        QVERIFY(m_logs->flush(true).ok());
        m_logs->incoming().add(u"second"_s);
        QVERIFY(m_logs->flush(true).ok());
        QCOMPARE(readFile(m_dir->filePath(u"MM_IN_0703202614050939.txt"_s)), QByteArray("first\r\n"));
        QCOMPARE(readFile(m_dir->filePath(u"MM_IN_0703202614050939_2.txt"_s)), QByteArray("second\r\n"));
    }

    void failedSaveKeepsTheLines() {
        TrafficLogs logs(m_dir->filePath(u"missing/"_s), [] { return kNow; });
        fill(logs.incoming(), 501);
        fill(logs.outgoing(), 501);
        const auto rotated = logs.rotate(true);
        QVERIFY(!rotated.ok());
        QVERIFY2(rotated.message().contains(u"MM_IN_0703202614050939.txt"_s), qPrintable(rotated.message()));
        QCOMPARE(logs.incoming().lineCount(), 501);
        QCOMPARE(logs.outgoing().lineCount(), 501);
        const auto flushed = logs.flush(true);
        QVERIFY(!flushed.ok());
        QCOMPARE(logs.incoming().lineCount(), 501);
    }

    void outgoingFailsAfterIncomingWasSaved() {
        // The incoming log was saved before the failure, so it is already empty.
        QTemporaryDir other;
        int calls = 0;
        bool saving = false; // the entries take the time from the same clock
        TrafficLogs logs(other.path() + u'/', [&] {
            if (saving && ++calls == 2)
                QDir(other.path()).removeRecursively();
            return kNow;
        });
        logs.incoming().add(u"in"_s);
        logs.outgoing().add(u"out"_s);
        saving = true;
        QVERIFY(!logs.flush(true).ok());
        QCOMPARE(logs.incoming().lineCount(), 0);
        QCOMPARE(logs.outgoing().lineCount(), 1);
    }

    // Each entry takes the time of the logs' clock; with times in files on, a saved file starts
    // every entry's first line with it, and off it holds the lines alone.
    void timesOfEntriesInTheFilesOnlyWhenAsked() {
        QDateTime now = kNow;
        TrafficLogs logs(m_dir->path() + u'/', [&now] { return now; });
        logs.incoming().add(u"Verbinding opgebouwd"_s);
        now = now.addMSecs(1042);
        logs.incoming().add(u"twee\r\nregels"_s);
        QCOMPARE(logs.incoming().entries().size(), 2);
        QCOMPARE(logs.incoming().entries()[1].at, kNow.addMSecs(1042));
        QCOMPARE(logs.incoming().entries()[1].lines, 2);
        const QString plain = logs.save(logs.incoming(), u"MM_IN_"_s).value();
        QCOMPARE(readFile(plain), QByteArray("Verbinding opgebouwd\r\ntwee\r\nregels\r\n"));
        logs.setTimesInFiles(true);
        now = now.addSecs(1); // another second, another file name
        const QString stamped = logs.save(logs.incoming(), u"MM_IN_"_s).value();
        QCOMPARE(readFile(stamped), QByteArray("2026-03-07 14:05:09.000 Verbinding opgebouwd\r\n"
                                               "2026-03-07 14:05:10.042 twee\r\nregels\r\n"));
        // A replaced text is one entry of the moment it was replaced.
        logs.incoming().replace(u"Socket Error # 10061\r\nConnection refused."_s);
        QCOMPARE(logs.incoming().entries().size(), 1);
        QCOMPARE(logs.incoming().stampedLines(),
                 (QStringList{u"2026-03-07 14:05:11.042 Socket Error # 10061"_s, u"Connection refused."_s}));
    }

    // A stream of many thousands of lines, ticks of the poll between its blocks. Off, a log holds
    // only its tail, whole entries from the newest back, and a log without a screen holds none;
    // on, every line reaches the files exactly, whatever the tail, and no more than one tick's
    // lines wait in memory. Lines that left while it was off are not in a later file.
    void streamedLinesBoundedInMemoryAndExactOnDisk() {
        const TrafficLog::Tail small{300, 2000, 40'000};
        m_logs->setTail(small);
        TrafficLog& log = m_logs->incoming();
        QStringList expected; // what the files must hold, line by line
        qsizetype mostWaiting = 0;
        int block = 0;
        const auto stream = [&](bool keepOnDisk, int blocks) {
            for (int end = block + blocks; block < end; ++block) {
                // Blocks as a host sends them: line breaks of every kind, empty lines, one long line.
                const QString entry = block % 2000 == 1000 ? QString(50'000, u'x')
                                      : block % 5 == 0     ? u"\n\r\n\r"_s
                                                           : u"blok %1\r\nregel b\rregel c\n"_s.arg(block);
                log.add(entry);
                if (keepOnDisk)
                    expected += TrafficLog::splitLines(entry);
                mostWaiting = std::max(mostWaiting, log.lineCount());
                if (block % 3 == 2)
                    QVERIFY(m_logs->rotate(keepOnDisk).ok());
                if (!keepOnDisk) {
                    QVERIFY(log.entries().size() <= small.entries);
                    QVERIFY(log.lineCount() <= small.lines);
                    QVERIFY(log.characters() <= small.characters);
                }
            }
        };
        stream(false, 6000);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
        // The tail is the newest entries, whole.
        QCOMPARE(log.lines().last(), QString());
        QCOMPARE(log.lines().mid(log.lineCount() - 8),
                 (QStringList{u"blok 5998"_s, u"regel b"_s, u"regel c"_s, QString(), u"blok 5999"_s,
                              u"regel b"_s, u"regel c"_s, QString()}));
        QCOMPARE(log.entries().size(), small.entries);
        const QStringList tailBefore = log.lines();
        QVERIFY(tailBefore.size() > 500);

        // On: the tail still held is saved at the next tick, then every line of the stream.
        QVERIFY(m_logs->rotate(true).ok());
        expected = tailBefore;
        m_logs->setTail({}); // as the service has it
        mostWaiting = 0;
        stream(true, 9000);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(m_logs->flush(true).ok());
        QVERIFY2(mostWaiting <= 500 + 3 * 4, qPrintable(QString::number(mostWaiting)));
        QCOMPARE(log.lineCount(), 0);
        QByteArray files;
        const QStringList names = QDir(m_dir->path()).entryList({u"MM_IN_*"_s}, QDir::Files);
        for (int n = 1; n <= names.size(); ++n)
            files +=
                readFile(m_dir->filePath(newfile::candidateName(u"MM_IN_0703202614050939"_s, u".txt"_s, n)));
        QVERIFY(names.size() > 40);
        QCOMPARE(files.size(), textlines::encodeCrLf(expected).size());
        QVERIFY(files == textlines::encodeCrLf(expected));

        // Off without a screen: from the tick that sees it off, nothing stays behind.
        QVERIFY(m_logs->rotate(false).ok());
        stream(false, 10);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(log.lineCount(), 0);
        QCOMPARE(log.characters(), 0);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<TrafficLogs> m_logs;
};

QTEST_GUILESS_MAIN(TestTrafficLogs)
#include "tst_trafficlogs.moc"
