#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>

#include <sys/stat.h>

#include "frames/framelog.h"
#include "logs/trafficlogs.h"
#include "service/consolelog.h"
#include "service/journalstream.h"

using namespace Qt::Literals::StringLiterals;

// The journal's view of the three logs: one line per log line, with the time to the millisecond
// and the log's name, and received control bytes spelled out so a frame stays on its line.
class TestConsoleLog : public QObject {
    Q_OBJECT
private slots:
    void everyLineOfEveryLogWithItsTimeAndName() {
        const QDateTime at(QDate(2026, 3, 7), QTime(14, 5, 9, 42));
        TrafficLogs logs(u"/nonexistent/"_s);
        std::FILE* stream = std::tmpfile();
        QVERIFY(stream);
        ConsoleLog console(logs, stream, [at] { return at; });
        logs.incoming().add(u"Verbinding opgebouwd"_s);
        logs.incoming().add(u"\x01"
                            "12\x02PHJpdC8+\x04 \x7f é"_s);
        logs.outgoing().add(u"a\r\nb"_s);
        logs.status().add(u"Connected."_s);
        logs.incoming().replace(u"Socket Error # 10061\r\nConnection refused."_s);

        std::rewind(stream);
        QByteArray written(4096, '\0');
        written.resize(qsizetype(std::fread(written.data(), 1, size_t(written.size()), stream)));
        std::fclose(stream);
        QCOMPARE(written,
                 QByteArray("2026-03-07 14:05:09.042 Inkomend Verbinding opgebouwd\n"
                            "2026-03-07 14:05:09.042 Inkomend \\x0112\\x02PHJpdC8+\\x04 \\x7F \xc3\xa9\n"
                            "2026-03-07 14:05:09.042 Uitgaand a\n"
                            "2026-03-07 14:05:09.042 Uitgaand b\n"
                            "2026-03-07 14:05:09.042 Status Connected.\n"
                            "2026-03-07 14:05:09.042 Inkomend Socket Error # 10061\n"
                            "2026-03-07 14:05:09.042 Inkomend Connection refused.\n"));
    }

    // Nothing that reaches the journal can steer a terminal: every C0 and C1 control and DEL as
    // \xNN, the marks that turn the text's direction as \u{XXXX}; all else as it is.
    void controlsAndDirectionMarksAreEscaped() {
        QString expected;
        QString all;
        for (char32_t c = 0; c < 0x3000; ++c) {
            all += QChar(char16_t(c));
            const bool bidi = c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
                              (c >= 0x2066 && c <= 0x2069);
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
                expected += u"\\x"_s + QString::number(c, 16).toUpper().rightJustified(2, u'0');
            else if (bidi)
                expected += u"\\u{"_s + QString::number(c, 16).toUpper() + u'}';
            else
                expected += QChar(char16_t(c));
        }
        QCOMPARE(ConsoleLog::escaped(all), expected);
        // The bytes a host sent that the code page leaves unassigned, and a file name written backwards.
        QCOMPARE(ConsoleLog::escaped(u"\u0081\u008D\u008F\u0090\u009D rit\u202Elmx.exe"_s),
                 u"\\x81\\x8D\\x8F\\x90\\x9D rit\\u{202E}lmx.exe"_s);
    }

    // The priority prefix only on the journal's own stream (named by device and inode), and the
    // status log's lines as notices there.
    void priorityPrefixOnlyOnTheJournalsStream() {
        std::FILE* stream = std::tmpfile();
        QVERIFY(stream);
        struct stat status {};
        QCOMPARE(::fstat(::fileno(stream), &status), 0);
        const QByteArray named = QByteArray::number(qulonglong(status.st_dev)) + ':' +
                                 QByteArray::number(qulonglong(status.st_ino));
        const QByteArray saved = qgetenv("JOURNAL_STREAM");
        for (const QByteArray& env : {QByteArray(), QByteArray("0:0"), QByteArray("junk"), named}) {
            qputenv("JOURNAL_STREAM", env);
            QCOMPARE(journal::connectedTo(stream), env == named);
        }
        const QDateTime at(QDate(2026, 3, 7), QTime(14, 5, 9, 42));
        TrafficLogs logs(u"/nonexistent/"_s);
        {
            ConsoleLog console(logs, stream, [at] { return at; });
            logs.status().add(u"Connected."_s);
            logs.incoming().add(u"<rit/>"_s);
        }
        qputenv("JOURNAL_STREAM", saved);
        std::rewind(stream);
        QByteArray written(4096, '\0');
        written.resize(qsizetype(std::fread(written.data(), 1, size_t(written.size()), stream)));
        std::fclose(stream);
        QCOMPARE(written, QByteArray("<5>2026-03-07 14:05:09.042 Status Connected.\n"
                                     "<6>2026-03-07 14:05:09.042 Inkomend <rit/>\n"));
        QCOMPARE(journal::prefixed(journal::Priority::Err, "x", true), QByteArray("<3>x"));
        QCOMPARE(journal::prefixed(journal::Priority::Warning, "x", true), QByteArray("<4>x"));
        QCOMPARE(journal::prefixed(journal::Priority::Err, "x", false), QByteArray("x"));
    }

    // An archive file not written says why: the folder refusing files, or the system's reason
    // where the folder takes them (say, out of descriptors).
    void archiveFailureSaysItsRealReason() {
        QTemporaryDir folder;
        const QString file = folder.filePath(u"MC_1.XML"_s);
        QCOMPARE(FrameLog::notWrittenText(u"Cannot create file \"%1\". Too many open files"_s.arg(file)),
                 u"niet bewaard: Too many open files"_s);
        QCOMPARE(FrameLog::notWrittenText(
                     u"Cannot create file \"/nonexistent/x/MC_1.XML\". No such file or directory"_s),
                 u"niet bewaard: map niet beschrijfbaar"_s);
    }
};

QTEST_GUILESS_MAIN(TestConsoleLog)
#include "tst_consolelog.moc"
