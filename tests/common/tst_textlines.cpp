#include <QTemporaryDir>
#include <QTest>

#include "common/textlines.h"
#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

class TestTextLines : public QObject {
    Q_OBJECT
private slots:
    void split_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("one line, no break") << u"a"_s << QStringList{u"a"_s};
        QTest::newRow("final break starts no line") << u"a\r\n"_s << QStringList{u"a"_s};
        QTest::newRow("CR LF") << u"a\r\nb"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("lone CR") << u"a\rb\r"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("lone LF") << u"a\nb\n"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("LF CR is two breaks") << u"a\n\rb"_s << QStringList{u"a"_s, QString(), u"b"_s};
        QTest::newRow("empty lines kept") << u"\r\n\r\nx"_s << QStringList{QString(), QString(), u"x"_s};
        QTest::newRow("NUL ends the text") << u"ab\ncd\0ef\ngh"_s << QStringList{u"ab"_s, u"cd"_s};
        QTest::newRow("NUL first") << u"\0abc"_s << QStringList();
    }
    void split() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(textlines::split(text), lines);
    }

    void normalizeEndsEveryLineWithCrLf() {
        QCOMPARE(textlines::normalize(u"A\nB"_s), u"A\r\nB\r\n"_s);
        QCOMPARE(textlines::normalize(u"A\rB\r\n"_s), u"A\r\nB\r\n"_s);
        QCOMPARE(textlines::normalize(QString()), QString());
    }

    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("no BOM is Windows-1252") << QByteArray("caf\xE9 \x80") << u"café €"_s;
        QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF"
                                                 "caf\xC3\xA9")
                                   << u"café"_s;
        QTest::newRow("UTF-16 LE BOM") << QByteArray("\xFF\xFE"
                                                     "a\0\xAC\x20",
                                                     6)
                                       << u"a€"_s;
        QTest::newRow("UTF-16 BE BOM") << QByteArray("\xFE\xFF\0a\x20\xAC", 6) << u"a€"_s;
        QTest::newRow("UTF-8 without BOM is read as 1252")
            << QByteArray("caf\xC3\xA9") << u"caf\u00C3\u00A9"_s;
    }
    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(textlines::decode(bytes), text);
    }

    void readFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing final line break") << QByteArray("A\r\nB") << u"A\r\nB\r\n"_s;
        QTest::newRow("lone LF") << QByteArray("A\nB\n") << u"A\r\nB\r\n"_s;
        QTest::newRow("lone CR") << QByteArray("A\rB") << u"A\r\nB\r\n"_s;
        QTest::newRow("NUL cuts") << QByteArray("A\nB\0C\nD", 7) << u"A\r\nB\r\n"_s;
        QTest::newRow("UTF-16 LE with LF") << QByteArray("\xFF\xFE"
                                                         "A\0\n\0B\0",
                                                         8)
                                           << u"A\r\nB\r\n"_s;
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF") << QString();
    }
    void readFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"in.txt"_s);
        QVERIFY(writeFile(path, bytes));
        const auto read = textlines::readFile(path);
        QVERIFY(read.ok());
        QCOMPARE(read.value(), text);
    }

    void readMissingFileFails() {
        QTemporaryDir dir;
        const auto read = textlines::readFile(dir.filePath(u"absent.xml"_s));
        QVERIFY(!read.ok());
        QVERIFY(read.message().contains(u"absent.xml"_s));
    }

    void encodeCrLf() {
        QCOMPARE(textlines::encodeCrLf({u"a€"_s, QString(), u"\u0416"_s}), QByteArray("a\x80\r\n\r\n?\r\n"));
        QCOMPARE(textlines::encodeCrLf({}), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestTextLines)
#include "tst_textlines.moc"
