#include <QTest>

#include "common/ansicodec.h"

using namespace Qt::Literals::StringLiterals;

class TestAnsiCodec : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTrips() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = ansi::toText(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(ansi::fromText(text), all);
    }

    void westernCharacters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("euro sign is 0x80") << u"€"_s << QByteArray("\x80");
        QTest::newRow("e acute is 0xE9") << u"é"_s << QByteArray("\xE9");
        QTest::newRow("left double quote") << u"\u201C"_s << QByteArray("\x93");
        QTest::newRow("Y diaeresis") << u"Ÿ"_s << QByteArray("\x9F");
        QTest::newRow("ascii unchanged") << u"AZ az 09\r\n\x01"_s << QByteArray("AZ az 09\r\n\x01");
        QTest::newRow("undefined byte 0x81 keeps its value") << u"\u0081"_s << QByteArray("\x81");
    }
    void westernCharacters() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ansi::fromText(text), bytes);
        QCOMPARE(ansi::toText(bytes), text);
    }

    void unrepresentableBecomesQuestionMark_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cyrillic") << u"a\u0416b"_s << QByteArray("a?b");
        QTest::newRow("C1 control without a byte") << u"\u0080"_s << QByteArray("?");
        QTest::newRow("surrogate pair gives one byte per unit") << u"\U0001F600"_s << QByteArray("??");
        QTest::newRow("A macron has no best fit here") << u"\u0100"_s << QByteArray("?");
    }
    void unrepresentableBecomesQuestionMark() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ansi::fromText(text), bytes);
    }

    void lengthIsPreserved() {
        const QString mixed = u"x€\u0416\U0001F600é"_s;
        QCOMPARE(ansi::fromText(mixed).size(), mixed.size());
    }
};

QTEST_GUILESS_MAIN(TestAnsiCodec)
#include "tst_ansicodec.moc"
