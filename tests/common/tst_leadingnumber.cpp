#include <QTest>

#include "common/leadingnumber.h"

using namespace Qt::Literals::StringLiterals;

// The lenient number of the port edit and of a frame's length field.
class TestLeadingNumber : public QObject {
    Q_OBJECT
private slots:
    void leadingNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << u"4000"_s << qint64(4000);
        QTest::newRow("leading blank") << u" 4000"_s << qint64(4000);
        QTest::newRow("trailing letters") << u"4000abc"_s << qint64(4000);
        QTest::newRow("letters only") << u"abc"_s << qint64(0);
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("above 16 bits") << u"70000"_s << qint64(70000);
        QTest::newRow("minus") << u"-5"_s << qint64(-5);
        QTest::newRow("plus") << u"+12"_s << qint64(12);
        QTest::newRow("dollar hex") << u"$FF"_s << qint64(255);
        QTest::newRow("x hex") << u"x1a"_s << qint64(26);
        QTest::newRow("0x hex") << u"0x10"_s << qint64(16);
        QTest::newRow("hex letters in decimal stop") << u"12ab"_s << qint64(12);
        QTest::newRow("ends at STX") << u"16\x02QUJD"_s << qint64(16);
        QTest::newRow("digits past 32 bits stop") << u"99999999999"_s << qint64(999999999);
    }
    void leadingNumbers() {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        QCOMPARE(leadingNumber(text), value);
    }
};

QTEST_GUILESS_MAIN(TestLeadingNumber)
#include "tst_leadingnumber.moc"
