#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "closedport.h"
#include "engine/linkengine.h"
#include "loopbackpeer.h"
#include "service/enginejournal.h"
#include "testclock.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

// The service's journal of what the window would show beside the logs: the link's state, the
// outbox warning coming and going, each file's delivery and each frame's verdicts.
class TestEngineJournal : public QObject {
    Q_OBJECT
private slots:
    void stateWarningDeliveryAndFrames() {
        QTemporaryDir dir;
        TestClock clock;
        LoopbackPeer peer;
        LinkParameters parameters;
        parameters.portText = QString::number(closedPort());
        parameters.autoLocatie = dir.path() + u"/outbox"_s;
        QVERIFY(QDir().mkpath(parameters.autoLocatie));
        QVERIFY(writeFile(parameters.autoLocatie + u"/a.xml"_s, "<a/>"));
        LinkEngine engine({.executableFolder = dir.path() + u'/',
                           .generalInterval = std::chrono::milliseconds(30),
                           .reconnectInterval = std::chrono::milliseconds(80),
                           .fileCheckerInterval = std::chrono::milliseconds(30),
                           .clock = clock.clock()},
                          [&parameters] { return parameters; });
        engine.dataFolders().create();
        std::FILE* stream = std::tmpfile();
        QVERIFY(stream);
        EngineJournal journal(engine, stream, clock.clock());
        engine.start();
        const auto written = [stream] {
            std::fflush(stream);
            std::rewind(stream);
            QByteArray bytes(1 << 16, '\0');
            bytes.resize(qsizetype(std::fread(bytes.data(), 1, size_t(bytes.size()), stream)));
            std::fseek(stream, 0, SEEK_END);
            QStringList lines;
            // Without the time stamp (23 characters and a blank).
            for (const QString& line : QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts))
                lines.append(line.mid(24));
            return lines;
        };
        const auto has = [&written](const QString& start) {
            const QStringList lines = written();
            return std::any_of(lines.cbegin(), lines.cend(),
                               [&start](const QString& l) { return l.startsWith(start); });
        };

        parameters.autoBestanden = true;
        QTRY_VERIFY(has(u"Verbinding verbroken 127.0.0.1:%1"_s.arg(parameters.portText)));
        QVERIFY(has(u"Verbinding verbinden 127.0.0.1:"_s));
        clock.advance(std::chrono::seconds(61));
        QTRY_VERIFY(has(u"Uitgaandemap Uitgaand bestand a.xml wacht al 6"_s));
        QVERIFY(written().filter(u"Uitgaandemap"_s).first().endsWith(u"(geen verbinding)"_s));

        parameters.portText = QString::number(peer.port());
        QTRY_VERIFY(has(u"Aflevering a.xml: verzonden en verwijderd"_s));
        QTRY_VERIFY(has(u"Uitgaandemap Waarschuwing opgeheven, 0 bestand(en) wachten"_s));
        QVERIFY(has(u"Verbinding verbonden 127.0.0.1:%1"_s.arg(peer.port())));
        QTRY_VERIFY(has(u"Frame uit | geen | geen / 6 | n.v.t. | <a/> | a.xml: verzonden en verwijderd"_s));

        peer.send("\x01"
                  "12\x02PHJpdC8+\x04");
        QTRY_VERIFY(has(u"Frame in | SOH, lengte + STX, EOT | 12 / 8 (wijkt af) | geldig | <rit/> | MC_"_s));
        std::fclose(stream);
    }
};

QTEST_GUILESS_MAIN(TestEngineJournal)
#include "tst_enginejournal.moc"
