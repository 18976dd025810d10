#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "settings/settingsstore.h"
#include "settingsfiles.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The values a window would hold, reached the way the store reaches controls.
struct Values {
    QString host = u"127.0.0.1"_s;
    bool soh = false;

    QList<StoredProp> props() {
        return {
            {u"edtHost"_s, u"Text"_s, StoredProp::Kind::Text, [this] { return QVariant(host); },
             [this](const QVariant& v) {
                 host = v.toString();
             }},
            {u"SOH"_s, u"Checked"_s, StoredProp::Kind::Boolean, [this] { return QVariant(soh); },
             [this](const QVariant& v) {
                 soh = v.toBool();
             }},
        };
    }
};

QByteArray fileWith(const QByteArray& inner) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n" +
           inner + "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_path = m_dir->filePath(u"RTCPIPCLIENT.xml"_s);
    }

    void readsBooleans_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("yes") << u"yes"_s << true;
        QTest::newRow("y") << u"y"_s << true;
        QTest::newRow("TRUE") << u"TRUE"_s << true;
        QTest::newRow("0") << u"0"_s << false;
        QTest::newRow("no") << u"no"_s << false;
        QTest::newRow("N") << u"N"_s << false;
        QTest::newRow("false") << u"false"_s << false;
        QTest::newRow("maybe") << u"maybe"_s << true;
        QTest::newRow("5") << u"5"_s << true;
    }
    void readsBooleans() {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        write(fileWith("    <SOH_Checked>" + text.toLatin1() + "</SOH_Checked>\r\n"));
        Values values;
        values.soh = !expected;
        SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
        store.setStoredProps(values.props());
        store.Restore();
        QCOMPARE(values.soh, expected);
    }

    void textsRoundTrip_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QByteArray>("element");
        QTest::newRow("entities") << u"a&b<c"_s
                                  << QByteArray("    <edtHost_Text>a&amp;b&lt;c</edtHost_Text>\r\n");
        QTest::newRow("empty") << QString() << QByteArray("    <edtHost_Text/>\r\n");
        QTest::newRow("spaces kept") << u" x "_s << QByteArray("    <edtHost_Text> x </edtHost_Text>\r\n");
    }
    void textsRoundTrip() {
        QFETCH(QString, host);
        QFETCH(QByteArray, element);
        {
            Values values;
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            store.setStoredProps(values.props());
            store.Restore();
            values.host = host;
            store.Save();
        }
        QCOMPARE(read(), fileWith("    <FormVersion>0</FormVersion>\r\n" + element +
                                  "    <SOH_Checked>FALSE</SOH_Checked>\r\n"));
        Values values;
        SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
        store.setStoredProps(values.props());
        store.Restore();
        QCOMPARE(values.host, host);
    }

    void wordInFormVersionRestoresNothing() {
        write(fileWith("    <FormVersion>abc</FormVersion>\r\n    <edtHost_Text>10.0.0.1</edtHost_Text>\r\n"
                       "    <SOH_Checked>TRUE</SOH_Checked>\r\n"));
        Values values;
        SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
        store.setStoredProps(values.props());
        store.Restore();
        QCOMPARE(values.host, u"127.0.0.1"_s);
        QCOMPARE(values.soh, false);
        QVERIFY(!store.restored());
    }

    void unknownElementsAndPlacesSurvive() {
        write("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- mine -->\r\n<Configuration>\r\n"
              "  <Other>\r\n    <x>1</x>\r\n  </Other>\r\n  <Hoofdscherm>\r\n"
              "    <SOH_Checked>yes</SOH_Checked>\r\n    <Handmatig>keep me</Handmatig>\r\n"
              "  </Hoofdscherm>\r\n</Configuration>\r\n");
        {
            Values values;
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            store.setStoredProps(values.props());
            store.Restore();
            QVERIFY(values.soh);
            store.Save();
        }
        QCOMPARE(read(),
                 QByteArray("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- mine -->\r\n"
                            "<Configuration>\r\n  <Other>\r\n    <x>1</x>\r\n  </Other>\r\n"
                            "  <Hoofdscherm>\r\n    <SOH_Checked>TRUE</SOH_Checked>\r\n"
                            "    <Handmatig>keep me</Handmatig>\r\n    <FormVersion>0</FormVersion>\r\n"
                            "    <edtHost_Text>127.0.0.1</edtHost_Text>\r\n  </Hoofdscherm>\r\n"
                            "</Configuration>\r\n"));
    }

    void saveWithoutRestoreWritesFormVersionAlone() {
        {
            Values values;
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENTSMS.xml"_s, u"FSMS"_s);
            store.setStoredProps(values.props());
            store.saveIfNeeded();
        }
        QCOMPARE(
            read(m_dir->filePath(u"RTCPIPCLIENTSMS.xml"_s)),
            QByteArray("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <FSMS>\r\n"
                       "    <FormVersion>0</FormVersion>\r\n  </FSMS>\r\n</Configuration>\r\n"));
    }

    void readOnlyFileIsNeverWritten() {
        const QByteArray before = fileWith("    <edtHost_Text>1.2.3.4</edtHost_Text>\r\n");
        write(before);
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ReadUser);
        {
            Values values;
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            QVERIFY(store.readOnly());
            store.setStoredProps(values.props());
            store.Restore();
            QCOMPARE(values.host, u"1.2.3.4"_s);
            values.host = u"changed"_s;
            store.Save();
        }
        QCOMPARE(read(), before);
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void damagedFileIsKeptAside_data() {
        QTest::addColumn<bool>("earlierBadExists");
        QTest::addColumn<QString>("keptAs");
        QTest::newRow("first time") << false << u"RTCPIPCLIENT.xml.bad"_s;
        QTest::newRow("an earlier one kept too") << true << u"RTCPIPCLIENT.xml_2.bad"_s;
    }
    void damagedFileIsKeptAside() {
        QFETCH(bool, earlierBadExists);
        QFETCH(QString, keptAs);
        const QByteArray damaged("<Configuration><Hoofdscherm><edtHost_Text>9.9");
        write(damaged);
        if (earlierBadExists)
            write("older", m_dir->filePath(u"RTCPIPCLIENT.xml.bad"_s));
        {
            Values values;
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            QVERIFY(store.problem().contains(keptAs));
            store.setStoredProps(values.props());
            store.Restore();
            QCOMPARE(values.host, u"127.0.0.1"_s);
            store.Save();
        }
        QCOMPARE(read(m_dir->filePath(keptAs)), damaged);
        if (earlierBadExists)
            QCOMPARE(read(m_dir->filePath(u"RTCPIPCLIENT.xml.bad"_s)), QByteArray("older"));
        QVERIFY(read().contains("<edtHost_Text>127.0.0.1</edtHost_Text>"));
    }

    // Entries that moved to another file: applied where the old file has them, then gone from
    // it at the next write, the rest of its layout as it was; the other store's own value wins.
    void movedEntriesAreTakenOut_data() {
        QTest::addColumn<QByteArray>("formVersion");
        QTest::addColumn<bool>("applied");
        QTest::newRow("restorable") << QByteArray("0") << true;
        QTest::newRow("FormVersion a word") << QByteArray("abc") << false;
    }
    void movedEntriesAreTakenOut() {
        QFETCH(QByteArray, formVersion);
        QFETCH(bool, applied);
        write(fileWith("    <FormVersion>" + formVersion +
                       "</FormVersion>\r\n    <SOH_Checked>Y</SOH_Checked>\r\n"
                       "    <Mine>1</Mine>\r\n    <edtHost_Text>10.0.0.9</edtHost_Text>\r\n"
                       "    <SOH_Checked>N</SOH_Checked>\r\n"));
        write(fileWith("    <edtHost_Text>10.0.0.1</edtHost_Text>\r\n"), m_dir->filePath(u"other"_s));
        Values values;
        {
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            store.Restore();
            store.takeMoved(values.props());
            SettingsStore other(m_dir->path(), u"other"_s, u"Hoofdscherm"_s, SettingsStore::Access::ReadOnly);
            other.setStoredProps(values.props());
            other.Restore();
            store.Save();
        }
        QCOMPARE(values.soh, applied);
        QCOMPARE(values.host, u"10.0.0.1"_s);
        QCOMPARE(read(), fileWith("    <FormVersion>0</FormVersion>\r\n    <Mine>1</Mine>\r\n"));
    }

    void tooDeepAFileIsKeptAside() {
        const QByteArray deep = settingsfiles::nested(30000);
        write(deep);
        {
            Values values;
            SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            QVERIFY2(store.problem().contains(u"RTCPIPCLIENT.xml.bad"_s), qPrintable(store.problem()));
            store.setStoredProps(values.props());
            store.Restore();
            QCOMPARE(values.host, u"127.0.0.1"_s);
            store.Save();
        }
        QCOMPARE(read(m_dir->filePath(u"RTCPIPCLIENT.xml.bad"_s)), deep);
        QCOMPARE(read(),
                 fileWith("    <FormVersion>0</FormVersion>\r\n    <edtHost_Text>127.0.0.1</edtHost_Text>\r\n"
                          "    <SOH_Checked>FALSE</SOH_Checked>\r\n"));
    }

    void flushCreatesAMissingFolder() {
        const QString folder = m_dir->filePath(u"sub/deeper"_s);
        {
            SettingsStore store(folder, u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
            store.Save();
        }
        QVERIFY(QFile::exists(folder + u"/RTCPIPCLIENT.xml"_s));
    }

    void failedWriteLeavesTheOldFile() {
        const QByteArray before = fileWith("    <edtHost_Text>1.2.3.4</edtHost_Text>\r\n");
        write(before);
        SettingsStore store(m_dir->path(), u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s);
        store.Save();
        // A folder we may not write into stands for a full disk: the new file cannot be made.
        QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool enforced = !QFile(m_dir->filePath(u"probe"_s)).open(QIODevice::WriteOnly);
        const auto flushed = store.Flush();
        QFile::setPermissions(m_dir->path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (!enforced)
            QSKIP("running with rights that ignore folder permissions");
        QVERIFY(!flushed);
        QCOMPARE(read(), before);
    }

    void cleansElementNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("clean");
        QTest::addColumn<bool>("ok");
        QTest::newRow("allowed") << u"a-Z.0:_"_s << u"a-Z.0:_"_s << true;
        QTest::newRow("others replaced") << u"a/b#ë"_s << u"a_b__"_s << true;
        QTest::newRow("white space") << u"a b"_s << QString() << false;
    }
    void cleansElementNames() {
        QFETCH(QString, name);
        QFETCH(QString, clean);
        QFETCH(bool, ok);
        const auto result = SettingsStore::cleanName(name);
        QCOMPARE(bool(result), ok);
        if (ok)
            QCOMPARE(result.value(), clean);
        else
            QVERIFY(result.message().startsWith(u"XML Node names cannot contain white space"_s));
    }

private:
    void write(const QByteArray& bytes, QString path = {}) {
        QFile file(path.isEmpty() ? m_path : path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read(QString path = {}) {
        QFile file(path.isEmpty() ? m_path : path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
