#include <QTemporaryFile>
#include <QTest>
#include <cstdio>

#include "logs/trafficlogs.h"
#include "service/consolelog.h"

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
};

QTEST_GUILESS_MAIN(TestConsoleLog)
#include "tst_consolelog.moc"
