#include <QTest>

#include "transport/asciitext.h"

using namespace Qt::Literals::StringLiterals;

// The wire narrowing takes fast runs over ASCII; whatever the run length and wherever a
// character outside ASCII falls, the result must be the one-unit-at-a-time answer.
class TestAsciiText : public QObject {
    Q_OBJECT
private slots:
    void everyUnitInEveryPosition() {
        const QString ascii = u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL"_s; // 48 units
        for (const char16_t odd : {u'\x80', u'\xe9', u'\xff', u'\u0100', u'\u20ac', u'\xd83d'}) {
            for (qsizetype at = 0; at < ascii.size(); ++at) {
                QString text = ascii;
                text[at] = QChar(odd);
                QByteArray expected = ascii.toLatin1();
                expected[at] = ascii::byteOf(odd);
                QCOMPARE(ascii::fromText(text), expected);
            }
        }
    }

    void allCodeUnitsMatchTheirOwnNarrowing() {
        QString all(0x10000, Qt::Uninitialized);
        for (int u = 0; u < 0x10000; ++u)
            all[u] = QChar(char16_t(u));
        const QByteArray bytes = ascii::fromText(all);
        QCOMPARE(bytes.size(), all.size());
        for (int u = 0; u < 0x10000; ++u)
            QCOMPARE(bytes[u], ascii::byteOf(char16_t(u)));
        QCOMPARE(bytes.left(0x80), all.left(0x80).toLatin1());
        QCOMPARE(ascii::byteOf(u'\xe9'), 'e');
        QCOMPARE(ascii::byteOf(u'\u20ac'), '?');
    }

    void lengthsAroundTheRunSize() {
        for (qsizetype n = 0; n <= 40; ++n) {
            const QString text(n, u'x');
            QCOMPARE(ascii::fromText(text), QByteArray(n, 'x'));
        }
    }

    // Into a caller's buffer: every code unit value, in every lane of the 32- and 8-unit runs and the tail,
    // gives its own byte, and nothing is written past the text.
    void narrowEveryUnitInEveryLane() {
        constexpr qsizetype kLength = 79; // two 32-unit runs, one 8-unit run, a tail of 7
        constexpr char kGuard = '\x5a';
        QString text(kLength, u'a');
        QByteArray buffer(kLength + 8, kGuard);
        for (int u = 0; u < 0x10000; ++u) {
            const qsizetype at = u % kLength;
            text[at] = QChar(char16_t(u));
            ascii::narrow(text, buffer.data());
            QByteArray expected = QByteArray(kLength, 'a') + QByteArray(8, kGuard);
            expected[at] = ascii::byteOf(char16_t(u));
            if (buffer != expected)
                QFAIL(qPrintable(u"unit %1 at %2"_s.arg(u, 4, 16, QChar(u'0')).arg(at)));
            text[at] = u'a';
        }
    }

    void narrowSurrogatePairs_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("pair inside a run") << QString(30, u'x') + u"\U0001F600"_s + QString(30, u'y');
        QTest::newRow("pair across two runs") << QString(31, u'x') + u"\U0001F600"_s + QString(31, u'y');
        QTest::newRow("lone high at the end") << QString(39, u'x') + QChar(u'\xd83d');
        QTest::newRow("lone low at the start") << QChar(u'\xde00') + QString(40, u'x');
    }
    void narrowSurrogatePairs() {
        QFETCH(QString, text);
        QByteArray expected;
        for (const QChar c : text)
            expected.append(ascii::byteOf(c.unicode()));
        QByteArray buffer(text.size(), '\0');
        ascii::narrow(text, buffer.data());
        QCOMPARE(buffer, expected);
        // One byte per unit, also for each half of a pair: the count never changes.
        QCOMPARE(buffer.size() - buffer.count('x') - buffer.count('y'),
                 text.size() - text.count(u'x') - text.count(u'y'));
    }

    void narrowLengthsAroundVectorWidths() {
        for (qsizetype n = 0; n <= 100; ++n) {
            for (const qsizetype odd : {qsizetype(0), n / 2, n - 1}) {
                QString text(n, u'x');
                QByteArray expected(n, 'x');
                if (n > 0) {
                    text[odd] = QChar(u'\xe9');
                    expected[odd] = 'e';
                }
                QByteArray buffer(n + 1, '#');
                ascii::narrow(text, buffer.data());
                QCOMPARE(buffer, expected + '#');
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestAsciiText)
#include "tst_asciitext.moc"
