#include <QRandomGenerator>
#include <QTest>

#include "transport/base64.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString bytesAsText(const QByteArray& b) {
    return QString::fromLatin1(b);
}

} // namespace

class TestBase64 : public QObject {
    Q_OBJECT
private slots:
    void rfcVectors_data() {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("f") << u"f"_s << u"Zg=="_s;
        QTest::newRow("fo") << u"fo"_s << u"Zm8="_s;
        QTest::newRow("foo") << u"foo"_s << u"Zm9v"_s;
        QTest::newRow("foob") << u"foob"_s << u"Zm9vYg=="_s;
        QTest::newRow("fooba") << u"fooba"_s << u"Zm9vYmE="_s;
        QTest::newRow("foobar") << u"foobar"_s << u"Zm9vYmFy"_s;
        QTest::newRow("e acute is one byte") << u"\u00e9"_s << u"6Q=="_s;
        QTest::newRow("all high bits") << bytesAsText(QByteArray("\xff\xff\xff")) << u"////"_s;
        QTest::newRow("62 and 63") << bytesAsText(QByteArray("\xfb\xef\xbe")) << u"++++"_s;
        QTest::newRow("NUL bytes encode") << QString(3, QChar(0)) << u"AAAA"_s;
    }
    void rfcVectors() {
        QFETCH(QString, plain);
        QFETCH(QString, encoded);
        QCOMPARE(base64::encode(plain), encoded);
        const auto back = base64::decode(encoded);
        QVERIFY(back.ok());
        QCOMPARE(back.value(), plain);
    }

    void lowByteOnly() {
        QCOMPARE(base64::encode(u"\u20ac"_s), base64::encode(u"\u00ac"_s));
        QCOMPARE(base64::encode(u"\u20ac"_s), u"rA=="_s);
        QCOMPARE(base64::decode(u"rA=="_s).value(), u"\u00ac"_s);
    }

    void noLineBreaksAtAnyLength() {
        const QString text(10000, u'a');
        const QString e = base64::encode(text);
        QCOMPARE(e.size(), 4 * ((text.size() + 2) / 3));
        QVERIFY(!e.contains(u'\n') && !e.contains(u'\r'));
    }

    void decodeRules_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("six characters: the first four") << u"Zm9vYm"_s << u"foo"_s;
        QTest::newRow("one left over") << u"Zm9vY"_s << u"foo"_s;
        QTest::newRow("three only") << u"Zm9"_s << QString();
        QTest::newRow("CR LF take places")
            << u"Zm9v\r\nYmFy"_s << u"foo"_s + bytesAsText(QByteArray::fromHex("000626"));
        QTest::newRow("pad third ends decoding") << u"Zg==Zm9v"_s << u"f"_s;
        QTest::newRow("pad fourth ends decoding") << u"Zm8=Zm9v"_s << u"fo"_s;
        QTest::newRow("outside the alphabet is zero")
            << u"Z!9v"_s << bytesAsText(QByteArray::fromHex("64 0f 6f"));
        QTest::newRow("non-ASCII is not raised")
            << u"\u00e9\u00e9\u00e9\u00e9"_s << bytesAsText(QByteArray::fromHex("79e79e"));
        QTest::newRow("multi-byte UTF-8 stays bytes") << u"w6k="_s << u"\u00c3\u00a9"_s;
    }
    void decodeRules() {
        QFETCH(QString, input);
        QFETCH(QString, output);
        const auto r = base64::decode(input);
        QVERIFY(r.ok());
        QCOMPARE(r.value(), output);
    }

    void nulRaises_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("alone") << QString(QChar(0));
        QTest::newRow("in a group") << u"Zm9v"_s + QChar(0) + u"Zm9v"_s;
        QTest::newRow("in the left-over") << u"Zm9vY"_s + QChar(0);
    }
    void nulRaises() {
        QFETCH(QString, input);
        const auto r = base64::decode(input);
        QVERIFY(!r.ok());
        QVERIFY(!r.message().isEmpty());
    }

    void roundTripEveryLengthAndByte() {
        QRandomGenerator rng(4648);
        for (int length = 0; length <= 300; ++length) {
            QByteArray bytes(length, Qt::Uninitialized);
            for (char& b : bytes)
                b = static_cast<char>(rng.bounded(256));
            const QString plain = bytesAsText(bytes);
            const QString e = base64::encode(plain);
            QCOMPARE(e.size(), 4 * ((length + 2) / 3));
            QCOMPARE(base64::decode(e).value(), plain);
            // Our encoding is the standard one.
            QCOMPARE(e.toLatin1(), bytes.toBase64());
        }
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = static_cast<char>(i);
        QCOMPARE(base64::decode(base64::encode(bytesAsText(all))).value(), bytesAsText(all));
    }
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
