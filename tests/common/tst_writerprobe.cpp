#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "common/writerprobe.h"
#include "slowwriter.h"

using namespace Qt::Literals::StringLiterals;

class TestWriterProbe : public QObject {
    Q_OBJECT
private slots:
    void ownWriteHandleCounts() {
        QTemporaryDir dir;
        QFile file(dir.filePath(u"a.xml"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<half");
        file.flush();
        QCOMPARE(writerprobe::probe(file.fileName()), writerprobe::State::BeingWritten);
        file.close();
        QCOMPARE(writerprobe::probe(file.fileName()), writerprobe::State::Free);
    }

    void anotherProcessWriting() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"slow.xml"_s);
        SlowWriter writer(path);
        QVERIFY(writer.started());
        QCOMPARE(writerprobe::probe(path), writerprobe::State::BeingWritten);
        QVERIFY(writer.finish());
        QCOMPARE(writerprobe::probe(path), writerprobe::State::Free);
    }

    void readersDoNotCount() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"r.xml"_s);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("<x/>");
        out.close();
        QFile reader(path);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        QCOMPARE(writerprobe::probe(path), writerprobe::State::Free);
    }

    void missingFileIsUnknown() {
        QCOMPARE(writerprobe::probe(u"/nonexistent/x.xml"_s), writerprobe::State::Unknown);
    }
};

QTEST_GUILESS_MAIN(TestWriterProbe)
#include "tst_writerprobe.moc"
