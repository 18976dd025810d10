#include <QTest>

#include "hexview/hexformatter.h"
#include "hexview/hexlayout.h"

using namespace Qt::Literals::StringLiterals;

namespace {
QByteArray allBytes() {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    return bytes;
}
} // namespace

class TestHexFormatter : public QObject {
    Q_OBJECT
private slots:
    void everyByteAsHex() {
        const QByteArray bytes = allBytes();
        for (int b = 0; b < 256; ++b)
            QCOMPARE(hexformat::byteHex(uchar(b)), QString::fromLatin1(bytes.mid(b, 1).toHex().toUpper()));
        const QString list = hexformat::hexList(bytes);
        QCOMPARE(list.size(), 256 * 3 - 1);
        QVERIFY(list.startsWith(u"00 01 02"_s));
        QVERIFY(list.endsWith(u"7F 80 81"_s) == false);
        QVERIFY(list.endsWith(u"FD FE FF"_s));
        QCOMPARE(list.split(u' ').join(QString()), QString::fromLatin1(bytes.toHex().toUpper()));
        QCOMPARE(hexformat::hexList({}), QString());
    }

    void everyByteInTheDefaultReading() {
        for (int b = 0; b < 256; ++b) {
            const QChar c = hexformat::displayChar(uchar(b), CharEncoding::Latin1);
            if (b < 0x20 || (b >= 0x7F && b <= 0x9F))
                QCOMPARE(c, QChar(u'.'));
            else
                QCOMPARE(c.unicode(), char16_t(b));
        }
        const QString column = hexformat::charColumn(allBytes(), 0, 256, CharEncoding::Latin1);
        QCOMPARE(column.size(), 256);
        QCOMPARE(column[0xE9], QChar(u'é'));
    }

    void everyByteInWindows1252() {
        for (int b = 0; b < 256; ++b) {
            const QChar c = hexformat::displayChar(uchar(b), CharEncoding::Windows1252);
            if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
                QCOMPARE(c, QChar(u'.'));
            else
                QVERIFY2(c != u'.' || b == '.', qPrintable(QString::number(b, 16)));
        }
        QCOMPARE(hexformat::displayChar(0x80, CharEncoding::Windows1252), QChar(u'€'));
        QCOMPARE(hexformat::displayChar(0x41, CharEncoding::Windows1252), QChar(u'A'));
    }

    void controlsShowAsDots_data() {
        QTest::addColumn<int>("byte");
        QTest::addColumn<QChar>("shown");
        QTest::newRow("tab") << 0x09 << QChar(u'.');
        QTest::newRow("LF") << 0x0A << QChar(u'.');
        QTest::newRow("CR") << 0x0D << QChar(u'.');
        QTest::newRow("NUL") << 0x00 << QChar(u'.');
        QTest::newRow("A") << 0x41 << QChar(u'A');
        QTest::newRow("blank") << 0x20 << QChar(u' ');
        QTest::newRow("DEL") << 0x7F << QChar(u'.');
        QTest::newRow("0x9F") << 0x9F << QChar(u'.');
        QTest::newRow("NBSP") << 0xA0 << QChar(0xA0);
    }
    void controlsShowAsDots() {
        QFETCH(int, byte);
        QFETCH(QChar, shown);
        QCOMPARE(hexformat::displayChar(uchar(byte), CharEncoding::Latin1), shown);
    }

    void utf8Column_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("column");
        QTest::newRow("ascii") << QByteArray("Ab\t1") << 0 << 4 << u"Ab.1"_s;
        QTest::newRow("e acute") << QByteArray("\xC3\xA9x") << 0 << 3 << u"é x"_s;
        QTest::newRow("euro") << QByteArray("\xE2\x82\xAC") << 0 << 3 << u"€  "_s;
        QTest::newRow("lone lead") << QByteArray("\xC3x") << 0 << 2 << u".x"_s;
        QTest::newRow("lone continuation") << QByteArray("\xA9x") << 0 << 2 << u".x"_s;
        QTest::newRow("overlong") << QByteArray("\xC0\x80") << 0 << 2 << u".."_s;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 0 << 3 << u"..."_s;
        QTest::newRow("cut off at the end") << QByteArray("a\xE2\x82") << 0 << 3 << u"a.."_s;
        QTest::newRow("continued from the line before") << QByteArray("\xE2\x82\xAC!") << 1 << 3 << u"  !"_s;
        QTest::newRow("continues into the next line") << QByteArray("a\xC3\xA9") << 0 << 2 << u"aé"_s;
        QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x98\x80") << 0 << 4 << u"\U0001F600  "_s;
        QTest::newRow("outside the BMP, no room") << QByteArray("\xF0\x9F\x98\x80") << 0 << 1 << u"."_s;
        QTest::newRow("control C1") << QByteArray("\xC2\x85") << 0 << 2 << u". "_s;
        QTest::newRow("combining mark") << QByteArray("\xCC\x81") << 0 << 2 << u". "_s;
    }
    void utf8Column() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, from);
        QFETCH(int, count);
        QFETCH(QString, column);
        const QString got = hexformat::charColumn(bytes, from, count, CharEncoding::Utf8);
        QCOMPARE(got, column);
        QCOMPARE(got.size(), count);
    }

    void copyText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("text");
        QTest::newRow("zeros become blanks")
            << QByteArray("a\0b\0", 4) << int(CharEncoding::Latin1) << u"a b "_s;
        QTest::newRow("latin-1 high byte")
            << QByteArray("\xE9\x80") << int(CharEncoding::Latin1) << u"é\u0080"_s;
        QTest::newRow("1252 euro") << QByteArray("\x80") << int(CharEncoding::Windows1252) << u"€"_s;
        QTest::newRow("utf-8") << QByteArray("\xC3\xA9\0", 3) << int(CharEncoding::Utf8) << u"é "_s;
    }
    void copyText() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(QString, text);
        QCOMPARE(hexformat::copyText(bytes, CharEncoding(encoding)), text);
    }

    void copyTextKeepsEveryByteInLatin1() {
        const QString text = hexformat::copyText(allBytes(), CharEncoding::Latin1);
        QCOMPARE(text.size(), 256);
        QCOMPARE(text[0], QChar(u' '));
        for (int b = 1; b < 256; ++b)
            QCOMPARE(text[b].unicode(), char16_t(b));
    }

    void offsetText_data() {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << 8 << u"00000000:"_s;
        QTest::newRow("0x10") << qint64(16) << 8 << u"00000010:"_s;
        QTest::newRow("upper case") << qint64(0xABCDEF0) << 8 << u"0ABCDEF0:"_s;
        QTest::newRow("ten digits") << (qint64(8) << 30) - 16 << 10 << u"01FFFFFFF0:"_s;
    }
    void offsetText() {
        QFETCH(qint64, offset);
        QFETCH(int, digits);
        QFETCH(QString, text);
        QCOMPARE(hexformat::offsetText(offset, digits), text);
    }

    void lineTextPlacesEveryCell() {
        const HexLayout l(17, 10);
        const QByteArray bytes = QByteArray("ABCDEFGHIJKLMNO\xE9");
        const QString line =
            hexformat::lineText(l, 0, bytes, hexformat::charColumn(bytes, 0, 16, CharEncoding::Latin1));
        QCOMPARE(line, u"00000000:  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F E9  ABCDEFGHIJKLMNOé"_s);
        QCOMPARE(line.indexOf(u"ABC"_s), l.charCell(0));
        const QString shortLine = hexformat::lineText(l, 16, "\x09", u"."_s);
        QCOMPARE(shortLine, u"00000010:  09" + QString(l.charCell(0) - 13, u' ') + u'.');
    }

    void words_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("length");
        QTest::newRow("middle of a word") << QByteArray("ab cd_9 e") << 4 << 3 << 4;
        QTest::newRow("on a blank") << QByteArray("ab cd") << 2 << 2 << 1;
        QTest::newRow("at the start") << QByteArray("abc.") << 0 << 0 << 3;
        QTest::newRow("latin-1 letters") << QByteArray("x caf\xE9 y") << 3 << 2 << 4;
    }
    void words() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, index);
        QFETCH(int, first);
        QFETCH(int, length);
        const auto [f, n] = hexformat::wordAround(bytes, index, CharEncoding::Latin1);
        QCOMPARE(int(f), first);
        QCOMPARE(int(n), length);
    }
};

QTEST_APPLESS_MAIN(TestHexFormatter)
#include "tst_hexformatter.moc"
