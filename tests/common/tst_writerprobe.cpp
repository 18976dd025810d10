#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "common/writerprobe.h"

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
        QProcess writer;
        // Holds the file open for writing until its standard input closes.
        writer.start(
            u"/bin/sh"_s,
            {u"-c"_s, u"exec 3>>\"$0\"; printf '<MSG>' >&3; read line; printf '</MSG>' >&3"_s, path});
        QVERIFY(writer.waitForStarted());
        QTRY_VERIFY(QFile(path).size() > 0);
        QCOMPARE(writerprobe::probe(path), writerprobe::State::BeingWritten);
        writer.write("go\n");
        writer.closeWriteChannel();
        QVERIFY(writer.waitForFinished());
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
