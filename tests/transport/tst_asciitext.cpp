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
};

QTEST_GUILESS_MAIN(TestAsciiText)
#include "tst_asciitext.moc"
