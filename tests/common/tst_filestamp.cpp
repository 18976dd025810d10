#include <QTest>

#include "common/filestamp.h"
#include "common/hexrender.h"

using namespace Qt::Literals::StringLiterals;

// The two small formatters every file name and log line goes through.
class TestFileStamp : public QObject {
    Q_OBJECT
private slots:
    void stamp_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("dayFirst");
        QTest::addColumn<QString>("yearFirst");
        QTest::newRow("one-digit month and second") << QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9))
                                                    << u"0703202614050939"_s << u"2026030714050939"_s;
        QTest::newRow("SMS example") << QDateTime(QDate(2026, 3, 5), QTime(9, 7, 4)) << u"0503202609070434"_s
                                     << u"2026030509070434"_s;
        QTest::newRow("two-digit month and second") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))
                                                    << u"311220262359581258"_s << u"202612312359581258"_s;
        QTest::newRow("midnight, second zero")
            << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)) << u"0101202700000010"_s << u"2027010100000010"_s;
        QTest::newRow("milliseconds play no part") << QDateTime(QDate(2026, 10, 2), QTime(8, 30, 15, 999))
                                                   << u"021020260830151015"_s << u"202610020830151015"_s;
    }
    void stamp() {
        QFETCH(QDateTime, time);
        QFETCH(QString, dayFirst);
        QFETCH(QString, yearFirst);
        QCOMPARE(fileStamp(time, StampOrder::DayFirst), dayFirst);
        QCOMPARE(fileStamp(time, StampOrder::YearFirst), yearFirst);
    }

    void hex_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("SOH and A") << u"\x01"
                                      "A"_s
                                   << u"01 41 "_s;
        QTest::newRow("euro sign takes four digits") << u"€"_s << u"20AC "_s;
        QTest::newRow("e acute") << u"é"_s << u"E9 "_s;
        QTest::newRow("three-digit unit") << u"\u0416"_s << u"416 "_s;
        QTest::newRow("NUL and FF") << QString(QChar(0)) + QChar(0xFF) << u"00 FF "_s;
    }
    void hex() {
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QCOMPARE(hexRender(text), hex);
    }

    void hexOfEveryLatin1Unit() {
        for (int u = 0; u < 256; ++u) {
            const QString h = hexRender(QString(QChar(u)));
            QCOMPARE(h, u"%1 "_s.arg(u, 2, 16, QChar(u'0')).toUpper());
        }
    }
};

QTEST_GUILESS_MAIN(TestFileStamp)
#include "tst_filestamp.moc"
