#include <QTest>

#include "outbound/framing.h"
#include "transport/base64.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString hexOf(const QString& s) {
    QStringList parts;
    for (const QChar c : s)
        parts << u"%1"_s.arg(unsigned(c.unicode()), 2, 16, QChar(u'0')).toUpper();
    return parts.join(u' ');
}

// The frame as a reader of the layout would assemble it by hand.
QString expectedFrame(const QString& payload, const framing::Options& o, bool lineForm) {
    const QString eol = lineForm ? u"\r\n"_s : QString();
    const QString body = o.base64 ? base64::encode(payload) : payload;
    QString f;
    if (o.soh)
        f += u"\x01"_s + eol;
    if (o.stx)
        f += QString::number(body.size()) + u"\x02"_s + eol;
    f += body;
    if (o.base64)
        f += eol;
    if (o.eot)
        f += u"\x04"_s + eol;
    return f;
}

} // namespace

class TestFraming : public QObject {
    Q_OBJECT
private slots:
    void examples() {
        const framing::Options o{true, true, true, false};
        QCOMPARE(hexOf(framing::compact(u"AB"_s, o)), u"01 32 02 41 42 04"_s);
        QCOMPARE(hexOf(framing::lines(u"A\r\nB\r\n"_s, o)),
                 u"01 0D 0A 36 02 0D 0A 41 0D 0A 42 0D 0A 04 0D 0A"_s);
    }

    void everyCombination_data() {
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("lineForm");
        QTest::addColumn<int>("bits");
        const QList<std::pair<const char*, QString>> payloads{
            {"empty", QString()},
            {"ten characters", u"0123456789"_s},
            {"control characters inside", u"a\x01"
                                          "b\x04"
                                          "c\x02"
                                          "d"_s},
            {"latin-1 and above", u"\u00e9\u20ac!"_s},
        };
        const QList<std::pair<const char*, QString>> linePayloads{
            {"empty", QString()},
            {"two lines", u"A\r\nB\r\n"_s},
            {"xml file", u"<?xml version=\"1.0\"?>\r\n<a>\u00e9</a>\r\n"_s},
        };
        for (int bits = 0; bits < 16; ++bits) {
            const QString name =
                u"%1%2%3%4"_s.arg(bits & 1 ? u"SOH "_s : QString(), bits & 2 ? u"STX "_s : QString(),
                                  bits & 4 ? u"EOT "_s : QString(), bits & 8 ? u"B64 "_s : QString());
            for (const auto& [what, p] : payloads)
                QTest::addRow("compact %s/%s", qPrintable(name), what) << p << false << bits;
            for (const auto& [what, p] : linePayloads)
                QTest::addRow("lines %s/%s", qPrintable(name), what) << p << true << bits;
        }
    }
    void everyCombination() {
        QFETCH(QString, payload);
        QFETCH(bool, lineForm);
        QFETCH(int, bits);
        const framing::Options o{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
        const QString frame = lineForm ? framing::lines(payload, o) : framing::compact(payload, o);
        QCOMPARE(frame, expectedFrame(payload, o, lineForm));
        // Each control character depends on its own option alone.
        QCOMPARE(frame.startsWith(u'\x01'), o.soh);
        QCOMPARE(frame.endsWith(lineForm ? u"\x04\r\n"_s : u"\x04"_s), o.eot);
        if (o.stx) {
            const qsizetype stx = frame.indexOf(u'\x02', o.soh ? (lineForm ? 3 : 1) : 0);
            const QString digits = frame.mid(o.soh ? (lineForm ? 3 : 1) : 0).section(u'\x02', 0, 0);
            QVERIFY(stx > 0);
            QVERIFY(digits == u"0"_s || !digits.startsWith(u'0'));
            const qsizetype length = digits.toLongLong();
            QCOMPARE(length, o.base64 ? base64::encode(payload).size() : payload.size());
            if (o.base64)
                QCOMPARE(length % 4, 0);
        }
    }

    void lineFormEndsEveryLine() {
        // A text that stops short of its last line end still goes out with one.
        const framing::Options plain{false, true, false, false};
        QCOMPARE(framing::lines(u"A\r\nB"_s, plain), u"6\x02\r\nA\r\nB\r\n"_s);
        const framing::Options b64{false, false, false, true};
        QCOMPARE(framing::lines(u"A\r\nB"_s, b64), base64::encode(u"A\r\nB\r\n"_s) + u"\r\n"_s);
    }

    void allOffIsThePayload() {
        QCOMPARE(framing::compact(u"<x/>"_s, {}), u"<x/>"_s);
        QCOMPARE(framing::lines(u"<x/>\r\n"_s, {}), u"<x/>\r\n"_s);
        QCOMPARE(framing::compact(QString(), {false, true, false, false}), u"0\x02"_s);
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
