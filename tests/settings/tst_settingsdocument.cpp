#include <QTest>

#include "settings/settingsdocument.h"
#include "settingsfiles.h"

using namespace Qt::Literals::StringLiterals;

class TestSettingsDocument : public QObject {
    Q_OBJECT
private slots:
    void writesTheExactLayout() {
        SettingsDocument doc;
        SettingsElement window{u"Hoofdscherm"_s, {}, {}, {}};
        window.children.append({u"FormVersion"_s, {}, u"0"_s, {}});
        window.children.append({u"edtHost_Text"_s, {}, {}, {}});
        window.children.append({u"edtPoort_Text"_s, {}, u"a&b<c>\"d'e"_s, {}});
        doc.root.children.append(window);
        QCOMPARE(doc.toBytes(),
                 QByteArray("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                            "<Configuration>\r\n"
                            "  <Hoofdscherm>\r\n"
                            "    <FormVersion>0</FormVersion>\r\n"
                            "    <edtHost_Text/>\r\n"
                            "    <edtPoort_Text>a&amp;b&lt;c&gt;&quot;d&apos;e</edtPoort_Text>\r\n"
                            "  </Hoofdscherm>\r\n"
                            "</Configuration>\r\n"));
    }

    void writesCharacters_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("latin-1 as one byte") << u"C:\\Cliënt\\"_s << QByteArray("C:\\Cli\xEBnt\\");
        QTest::newRow("U+20AB as itself is not in 1252") << u"\u20AB"_s << QByteArray("&#x20ab;");
        QTest::newRow("euro above U+20AB") << u"\u20AC"_s << QByteArray("&#x20ac;");
        QTest::newRow("1252 punctuation") << u"\u2018\u2019"_s << QByteArray("\x91\x92");
        QTest::newRow("not in 1252 kept as reference") << u"\u0100"_s << QByteArray("&#x100;");
        QTest::newRow("outside the BMP as one reference") << u"\U0001F600"_s << QByteArray("&#x1f600;");
    }
    void writesCharacters() {
        QFETCH(QString, value);
        QFETCH(QByteArray, bytes);
        SettingsDocument doc;
        doc.root.children.append({u"v"_s, {}, value, {}});
        const QByteArray written = doc.toBytes();
        QVERIFY2(written.contains(QByteArray("<v>" + bytes + "</v>\r\n")), written.constData());
        const auto back = SettingsDocument::parse(written);
        QVERIFY(back);
        QCOMPARE(back.value().root.child(u"v"_s)->value, value);
    }

    void keepsHeaderPrologAndUnknownElements() {
        const QByteArray file("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
                              "<!-- hand written -->\r\n"
                              "<?app mode=\"x\"?>\r\n"
                              "<Configuration>\r\n"
                              "  <Extra kind=\"a&amp;b\">\r\n"
                              "    <Inner>1</Inner>\r\n"
                              "  </Extra>\r\n"
                              "</Configuration>\r\n");
        const auto doc = SettingsDocument::parse(file);
        QVERIFY2(doc, qPrintable(doc ? QString() : doc.message()));
        QCOMPARE(doc.value().toBytes(), file);
    }

    void readsByByteOrderMark_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QString text =
            u"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><Configuration><v>Cliënt €</v></Configuration>"_s;
        QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF" + text.toUtf8());
        QByteArray utf16("\xFF\xFE");
        for (const QChar c : text)
            utf16 += char(c.unicode() & 0xFF), utf16 += char(c.unicode() >> 8);
        QTest::newRow("utf-16 le bom") << utf16;
        QTest::newRow("windows-1252, whatever the header says")
            << QByteArray("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><Configuration><v>Cli\xEBnt "
                          "\x80</v></Configuration>");
    }
    void readsByByteOrderMark() {
        QFETCH(QByteArray, bytes);
        const auto doc = SettingsDocument::parse(bytes);
        QVERIFY(doc);
        QCOMPARE(doc.value().root.child(u"v"_s)->value, u"Cliënt €"_s);
    }

    void headerWithoutEncodingIsWrittenWithout() {
        const auto doc = SettingsDocument::parse("<?xml version=\"1.0\"?><Configuration/>");
        QVERIFY(doc);
        QCOMPARE(doc.value().toBytes(), QByteArray("<?xml version=\"1.0\"?>\r\n<Configuration/>\r\n"));
    }

    void readsReferences() {
        const auto doc =
            SettingsDocument::parse("<Configuration><v>&#65;&#x42;&lt;&amp;</v></Configuration>");
        QVERIFY(doc);
        QCOMPARE(doc.value().root.child(u"v"_s)->value, u"AB<&"_s);
    }

    // What the reader accepts, the writer writes so that it reads back the same: characters a
    // reader would change are written as references, names and prolog items never are.
    void readBackAsRead_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("CR in a value") << QByteArray("<Configuration><v>a&#13;b&#13;</v></Configuration>")
                                       << QByteArray("<v>a&#x0d;b&#x0d;</v>");
        QTest::newRow("CR LF in a value") << QByteArray("<Configuration><v>a&#13;&#10;b</v></Configuration>")
                                          << QByteArray("<v>a&#x0d;\nb</v>");
        QTest::newRow("line breaks and tab in an attribute")
            << QByteArray("<Configuration><v a=\"x&#10;y&#13;z&#9;\"/></Configuration>")
            << QByteArray("<v a=\"x&#x0a;y&#x0d;z&#x09;\"/>");
        QTest::newRow("namespace prefixes and declarations")
            << QByteArray("<x:Configuration xmlns:x=\"urn:a\" xmlns:y=\"urn:b\"><x:v "
                          "y:k=\"1\">2</x:v></x:Configuration>")
            << QByteArray(
                   "<x:Configuration xmlns:x=\"urn:a\" xmlns:y=\"urn:b\">\r\n  <x:v y:k=\"1\">2</x:v>\r\n");
        // The reader takes it in an attribute's name, not in an element's.
        QTest::newRow("euro sign in a name")
            << QByteArray("<Configuration><v k\x80=\"\x80\"/></Configuration>")
            << QByteArray("<v k\x80=\"&#x20ac;\"/>");
    }
    void readBackAsRead() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, written);
        const auto read = SettingsDocument::parse(file);
        QVERIFY2(read, qPrintable(read ? QString() : read.message()));
        const QByteArray bytes = read.value().toBytes();
        QVERIFY2(bytes.contains(written), bytes.constData());
        const auto back = SettingsDocument::parse(bytes);
        QVERIFY2(back, qPrintable(back ? QString() : back.message()));
        QCOMPARE(back.value(), read.value());
    }

    // Only a file with a byte-order mark can bring markup that the Windows-1252 file cannot hold.
    // Such a character becomes "_": the file we write must stay readable.
    void markupOutside1252IsWrittenReadable() {
        const QString file =
            u"<?app x\u0100>y?><!--\u0100--><Configuration><n\u0100 k\u0100=\"\u0100\"/></Configuration>"_s;
        const auto read = SettingsDocument::parse(QByteArray("\xEF\xBB\xBF" + file.toUtf8()));
        QVERIFY(read);
        const QByteArray bytes = read.value().toBytes();
        const auto back = SettingsDocument::parse(bytes);
        QVERIFY2(back, bytes.constData());
        QCOMPARE(back.value().prolog, (QStringList{u"<?app x_>y?>"_s, u"<!--_-->"_s}));
        const SettingsElement* n = back.value().root.child(u"n_"_s);
        QVERIFY(n);
        QCOMPARE(n->attributes, (QList<QPair<QString, QString>>{{u"k_"_s, u"\u0100"_s}}));
        QCOMPARE(back.value().toBytes(), bytes);
    }

    // A value from an edit can hold what no XML file can carry; the file must stay readable, or
    // the next start would find every setting gone.
    void valuesXmlCannotCarry_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("control character") << u"a\u0002b"_s << u"a?b"_s;
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b", 3) << u"a?b"_s;
        QTest::newRow("U+FFFE and U+FFFF") << u"\uFFFE\uFFFF"_s << u"??"_s;
        QTest::newRow("half a surrogate pair") << QString(QChar(0xD800)) + u'x' << u"\uFFFDx"_s;
        QTest::newRow("tab, LF and CR are kept") << u"\t\n\r"_s << u"\t\n\r"_s;
    }
    void valuesXmlCannotCarry() {
        QFETCH(QString, value);
        QFETCH(QString, readBack);
        SettingsDocument doc;
        doc.root.children.append({u"v"_s, {{u"a"_s, value}}, value, {}});
        const auto back = SettingsDocument::parse(doc.toBytes());
        QVERIFY2(back, qPrintable(back ? QString() : back.message()));
        const SettingsElement* v = back.value().root.child(u"v"_s);
        QVERIFY(v);
        QCOMPARE(v->value, readBack);
        QCOMPARE(v->attributes.value(0).second, readBack);
    }

    void rejectsDamagedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cut short") << QByteArray("<Configuration><Hoofdscherm>");
        QTest::newRow("mismatched tag") << QByteArray("<Configuration></Config>");
        QTest::newRow("not xml") << QByteArray("host=1.2.3.4");
    }
    void rejectsDamagedFiles() {
        QFETCH(QByteArray, bytes);
        QVERIFY(!SettingsDocument::parse(bytes));
    }

    // Read level by level without recursion: a file of any depth is read or refused, never the
    // end of the program; the deepest one kept is written and read back as it was.
    void boundsTheDepth_data() {
        QTest::addColumn<int>("levels");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("as deep as allowed") << SettingsDocument::maxDepth << true;
        QTest::newRow("one level more") << SettingsDocument::maxDepth + 1 << false;
        QTest::newRow("30,000 levels, 210 KB") << 30000 << false;
    }
    void boundsTheDepth() {
        QFETCH(int, levels);
        QFETCH(bool, accepted);
        const QByteArray file = settingsfiles::nested(levels);
        const auto doc = SettingsDocument::parse(file);
        QCOMPARE(bool(doc), accepted);
        if (!accepted) {
            QVERIFY2(doc.message().contains(u"256 niveaus"_s), qPrintable(doc.message()));
            return;
        }
        int depth = 0;
        for (const SettingsElement* e = &doc.value().root; e;
             e = e->children.isEmpty() ? nullptr : &e->children[0])
            ++depth;
        QCOMPARE(depth, levels);
        const auto back = SettingsDocument::parse(doc.value().toBytes());
        QVERIFY(back);
        QCOMPARE(back.value(), doc.value());
    }
};

QTEST_GUILESS_MAIN(TestSettingsDocument)
#include "tst_settingsdocument.moc"
