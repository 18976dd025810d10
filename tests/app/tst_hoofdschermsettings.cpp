#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/application.h"
#include "app/extrasettingsdialog.h"
#include "app/hoofdscherm.h"
#include "outbound/ui/tfsms.h"
#include "tests/support/scriptedprompts.h"
#include "tests/support/settingsfiles.h"
#include "tests/support/testfiles.h"
#include "windowfixture.h"

using namespace Qt::Literals::StringLiterals;

// The settings and the SMS dialog as the operator meets them: through the real window.
class TestHoofdschermSettings : public QObject, WindowFixture {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_folder = m_dir->path() + u'/';
    }
    void cleanup() {
        qobject_cast<Application*>(qApp)->setErrorHook({});
        m_dir.reset();
    }

    void firstStartWritesTheDefaultsAtTheEnd() {
        open();
        QVERIFY(!QFile::exists(settingsFile()));
        m_window.reset();
        const QByteArray folder = m_folder.toLatin1();
        QCOMPARE(read(settingsFile()),
                 QByteArray("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                            "<Configuration>\r\n"
                            "  <Hoofdscherm>\r\n"
                            "    <FormVersion>0</FormVersion>\r\n"
                            "    <edtHost_Text>127.0.0.1</edtHost_Text>\r\n"
                            "    <edtPoort_Text>4000</edtPoort_Text>\r\n"
                            "    <EOT_Checked>FALSE</EOT_Checked>\r\n"
                            "    <SOH_Checked>FALSE</SOH_Checked>\r\n"
                            "    <STX_Checked>FALSE</STX_Checked>\r\n"
                            "    <ToonHex_Checked>FALSE</ToonHex_Checked>\r\n"
                            "    <enc64ontvangst_Checked>FALSE</enc64ontvangst_Checked>\r\n"
                            "    <enc64verzenden_Checked>FALSE</enc64verzenden_Checked>\r\n"
                            "    <AutoConnect_Checked>FALSE</AutoConnect_Checked>\r\n"
                            "    <AutoBestanden_Checked>FALSE</AutoBestanden_Checked>\r\n"
                            "    <AutoLocatie_Text>" +
                            folder +
                            "</AutoLocatie_Text>\r\n"
                            "    <ACKDisconnect_Checked>FALSE</ACKDisconnect_Checked>\r\n"
                            "    <Logbewaren_Checked>FALSE</Logbewaren_Checked>\r\n"
                            "    <XMLBestandenBewaren_Checked>TRUE</XMLBestandenBewaren_Checked>\r\n"
                            "  </Hoofdscherm>\r\n"
                            "</Configuration>\r\n"));
        // The options beside the design's, in a file of their own at their defaults.
        QCOMPARE(read(extraFile()), settingsfiles::extraFile({{"BevestigdAfleveren_Checked", "FALSE"},
                                                              {"BevestigingsTijd_Text", "30"},
                                                              {"PakketIsBevestiging_Checked", "FALSE"},
                                                              {"MaxBestandsGrootte_Text", "64"},
                                                              {"WachtWaarschuwing_Text", "60"},
                                                              {"InspecteurAantal_Text", "1000"},
                                                              {"TijdInLogboeken_Checked", "FALSE"},
                                                              {"TijdInLogbestanden_Checked", "FALSE"}}));
    }

    void changedOptionsSurviveARestart() {
        open();
        m_window->findChild<QCheckBox*>(u"SOH"_s)->click();
        m_window->findChild<QLineEdit*>(u"edtHost"_s)->setText(u"dispatch&co"_s);
        m_window->findChild<QLineEdit*>(u"AutoLocatie"_s)->setText(u"/srv/outbox/"_s);
        m_window->close();
        // A change after the allowed close is not saved again at destruction.
        m_window->findChild<QLineEdit*>(u"edtPoort"_s)->setText(u"1"_s);
        m_window.reset();
        open();
        QVERIFY(m_window->findChild<QCheckBox*>(u"SOH"_s)->isChecked());
        QVERIFY(m_window->findChild<QCheckBox*>(u"XMLBestandenBewaren"_s)->isChecked());
        QCOMPARE(m_window->findChild<QLineEdit*>(u"edtHost"_s)->text(), u"dispatch&co"_s);
        QCOMPARE(m_window->findChild<QLineEdit*>(u"edtPoort"_s)->text(), u"4000"_s);
        QCOMPARE(m_window->findChild<QLineEdit*>(u"AutoLocatie"_s)->text(), u"/srv/outbox/"_s);
    }

    // The options of the extra dialog and the "Beeld" menu are stored whether or not the dialog
    // was ever opened, in their own file, and come back into the dialog, the menu and what the
    // link reads.
    void extraOptionsSurviveARestartWithoutTheirDialog() {
        open();
        m_window->extraSettings().warningSeconds()->setText(u"5"_s);
        m_window->extraSettings().confirmedDelivery()->setChecked(true);
        m_window->findChild<QAction*>(u"TijdInLogbestanden"_s)->setChecked(true);
        m_window->close();
        m_window.reset();
        QVERIFY(read(extraFile()).contains("<WachtWaarschuwing_Text>5</WachtWaarschuwing_Text>"));
        QCOMPARE(read(settingsFile()), settingsfiles::firstStart(m_folder.toLatin1()));
        open();
        QCOMPARE(m_window->parameters().wachtWaarschuwing, u"5"_s);
        QVERIFY(m_window->parameters().bevestigdAfleveren);
        QVERIFY(m_window->parameters().tijdInLogbestanden);
        QVERIFY(!m_window->parameters().tijdInLogboeken);
        m_window.reset(); // closed without opening the dialog: still stored
        QVERIFY(read(extraFile()).contains("<BevestigdAfleveren_Checked>TRUE</BevestigdAfleveren_Checked>"));
        open();
        QCOMPARE(m_window->extraSettings().warningSeconds()->text(), u"5"_s);
        QVERIFY(m_window->extraSettings().confirmedDelivery()->isChecked());
        QVERIFY(m_window->findChild<QAction*>(u"TijdInLogbestanden"_s)->isChecked());
    }

    // A main file of the version that kept the six extra options in it: their values come over
    // into the extra file, and the main file is written as ever, its own layout kept.
    void extraOptionsOfAnOlderFileAreCarriedOver() {
        const QByteArray folder = m_folder.toLatin1();
        QByteArray old = settingsfiles::withExtrasInside(folder, {{"BevestigdAfleveren_Checked", "TRUE"},
                                                                  {"BevestigingsTijd_Text", "12"},
                                                                  {"WachtWaarschuwing_Text", "7"},
                                                                  {"InspecteurAantal_Text", "20"},
                                                                  {"TijdInLogboeken_Checked", "yes"},
                                                                  {"TijdInLogbestanden_Checked", "TRUE"}});
        old.replace("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n",
                    "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- site 4 -->\r\n");
        old.replace("    <FormVersion>0</FormVersion>\r\n",
                    "    <Handmatig>keep me</Handmatig>\r\n    <FormVersion>0</FormVersion>\r\n");
        QVERIFY(writeFile(settingsFile(), old));
        open();
        const LinkParameters carried = m_window->parameters();
        QVERIFY(carried.bevestigdAfleveren);
        QCOMPARE(carried.bevestigingsTijd, u"12"_s);
        QCOMPARE(carried.wachtWaarschuwing, u"7"_s);
        QCOMPARE(carried.inspecteurAantal, u"20"_s);
        QVERIFY(carried.tijdInLogboeken);
        QVERIFY(carried.tijdInLogbestanden);
        m_window->close();
        m_window.reset();

        QByteArray expected = settingsfiles::firstStart(folder);
        expected.replace("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n",
                         "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- site 4 -->\r\n");
        expected.replace("    <FormVersion>0</FormVersion>\r\n",
                         "    <Handmatig>keep me</Handmatig>\r\n    <FormVersion>0</FormVersion>\r\n");
        QCOMPARE(read(settingsFile()), expected);
        QCOMPARE(read(extraFile()), settingsfiles::extraFile({{"BevestigdAfleveren_Checked", "TRUE"},
                                                              {"BevestigingsTijd_Text", "12"},
                                                              {"PakketIsBevestiging_Checked", "FALSE"},
                                                              {"MaxBestandsGrootte_Text", "64"},
                                                              {"WachtWaarschuwing_Text", "7"},
                                                              {"InspecteurAantal_Text", "20"},
                                                              {"TijdInLogboeken_Checked", "TRUE"},
                                                              {"TijdInLogbestanden_Checked", "TRUE"}}));
        open();
        QCOMPARE(m_window->parameters().wachtWaarschuwing, u"7"_s);
        QVERIFY(m_window->findChild<QAction*>(u"TijdInLogboeken"_s)->isChecked());
    }

    // Where both files hold an option, the extra file's value counts.
    void theExtraFileWinsOverAnOlderEntry() {
        QVERIFY(writeFile(settingsFile(), settingsfiles::withExtrasInside(
                                              m_folder.toLatin1(), {{"WachtWaarschuwing_Text", "7"},
                                                                    {"InspecteurAantal_Text", "20"}})));
        QVERIFY(writeFile(extraFile(), settingsfiles::extraFile({{"WachtWaarschuwing_Text", "9"}})));
        open();
        QCOMPARE(m_window->parameters().wachtWaarschuwing, u"9"_s);
        QCOMPARE(m_window->parameters().inspecteurAantal, u"20"_s);
    }

    void damagedFileIsReportedAndKept_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("damaged");
        QTest::newRow("cut short") << u"RTCPIPCLIENT.xml"_s << QByteArray("<Configuration><Hoofdscherm>");
        QTest::newRow("30,000 levels deep") << u"RTCPIPCLIENT.xml"_s << settingsfiles::nested(30000);
        QTest::newRow("extra file cut short")
            << u"RTCPIPCLIENT.extra"_s << QByteArray("<Configuration><Hoof");
        QTest::newRow("extra file deep") << u"RTCPIPCLIENT.extra"_s << settingsfiles::nested(257);
    }
    void damagedFileIsReportedAndKept() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, damaged);
        QVERIFY(writeFile(m_folder + fileName, damaged));
        open();
        auto* memo = m_window->findChild<QPlainTextEdit*>(u"Inkomend"_s);
        QTRY_VERIFY(!memo->toPlainText().isEmpty()); // the memo follows on the next pass of the loop
        const QString incoming = memo->toPlainText();
        QVERIFY2(incoming.contains(fileName + u".bad"_s), qPrintable(incoming));
        QCOMPARE(incoming.count(u'\n'), 0);
        QCOMPARE(read(m_folder + fileName + u".bad"_s), damaged);
        QCOMPARE(m_window->findChild<QLineEdit*>(u"edtHost"_s)->text(), u"127.0.0.1"_s);
        QCOMPARE(m_window->parameters().inspecteurAantal, u"1000"_s);
        m_window.reset();
        QCOMPARE(read(settingsFile()), settingsfiles::firstStart(m_folder.toLatin1()));
    }

    void smsMenusShowTheDialogModally_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("main menu") << u"SMSberichtverzenden1"_s;
        QTest::newRow("tray menu") << u"SMSverzenden1"_s;
    }
    void smsMenusShowTheDialogModally() {
        QFETCH(QString, action);
        open();
        const QString outbox = m_folder + u"outbox/"_s;
        QVERIFY(QDir().mkpath(outbox));
        m_window->findChild<QLineEdit*>(u"AutoLocatie"_s)->setText(outbox);
        TFSMS dialog(m_folder, [w = m_window.get()] { return w->outboxFolder(); });
        m_window->setSmsDialog(&dialog);
        fill(dialog);
        ScriptedPrompts prompts;
        bool wasModal = false;
        QTimer::singleShot(0, &dialog, [&] {
            wasModal = QApplication::activeModalWidget() == &dialog;
            QTest::mouseClick(dialog.findChild<QToolButton*>(u"BtnExecute"_s), Qt::LeftButton);
        });
        m_window->findChild<QAction*>(action)->trigger();
        QVERIFY(wasModal);
        QCOMPARE(prompts.messageTexts(), QStringList{u"SMS bericht werd aangeboden"_s});
        QCOMPARE(QDir(outbox).entryList({u"sms_*.xml"_s}, QDir::Files).size(), 1);
    }

    void smsWriteErrorReachesTheErrorHook() {
        open();
        m_window->findChild<QLineEdit*>(u"AutoLocatie"_s)->setText(m_folder + u"missing/"_s);
        TFSMS dialog(m_folder, [w = m_window.get()] { return w->outboxFolder(); });
        m_window->setSmsDialog(&dialog);
        fill(dialog);
        ScriptedPrompts prompts;
        bool stayedOpen = false;
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(dialog.findChild<QToolButton*>(u"BtnExecute"_s), Qt::LeftButton);
            stayedOpen = dialog.isVisible();
            dialog.reject();
        });
        m_window->SMSberichtverzenden1Click();
        QVERIFY(stayedOpen);
        QVERIFY(prompts.messages().isEmpty());
        auto* memo = m_window->findChild<QPlainTextEdit*>(u"Inkomend"_s);
        QTRY_VERIFY2(memo->toPlainText().contains(u"missing"_s), qPrintable(memo->toPlainText()));
    }

private:
    void open() {
        m_window = std::make_unique<THoofdscherm>(testWindowConfig(m_folder));
        qobject_cast<Application*>(qApp)->setErrorHook(
            [w = m_window.get()](const QString& m) { w->reportUncaught(m); });
    }
    static void fill(TFSMS& dialog) {
        for (const auto& [name, text] :
             {std::pair{u"SMSnummer"_s, u"06"_s}, std::pair{u"SMSWachtwoord"_s, u"pw"_s},
              std::pair{u"SMSInlognaam"_s, u"user"_s}, std::pair{u"SMSserver"_s, u"srv"_s}})
            dialog.findChild<QLineEdit*>(name)->setText(text);
        dialog.findChild<QPlainTextEdit*>(u"SMSbericht"_s)->setPlainText(u"hallo"_s);
    }
    QString settingsFile() const { return m_folder + u"RTCPIPCLIENT.xml"_s; }
    QString extraFile() const { return m_folder + u"RTCPIPCLIENT.extra"_s; }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
};

RTCP_WINDOW_TEST_MAIN(TestHoofdschermSettings)

#include "tst_hoofdschermsettings.moc"
