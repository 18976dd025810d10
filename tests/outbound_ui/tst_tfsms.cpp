#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "common/apperror.h"
#include "outbound/smsrequest.h"
#include "outbound/ui/tfsms.h"
#include "tests/support/scriptedprompts.h"

using namespace Qt::Literals::StringLiterals;

class TestTFSMS : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_outbox = m_dir->filePath(u"outbox"_s);
        QVERIFY(QDir().mkpath(m_outbox));
        m_dialog = std::make_unique<TFSMS>(
            m_dir->path(), [this] { return m_outbox; },
            [] { return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 4)); });
    }
    void cleanup() {
        m_dialog.reset();
        m_dir.reset();
    }

    void defaults() {
        QCOMPARE(m_dialog->windowTitle(), u"SMS bericht verzenden"_s);
        QCOMPARE(edit(u"SMSafzender")->text(), u"Rovenka"_s);
        QCOMPARE(edit(u"rovverzender")->text(), u"rov"_s);
        QCOMPARE(edit(u"rovontvanger")->text(), u"rov"_s);
        QCOMPARE(edit(u"SMSWachtwoord")->echoMode(), QLineEdit::Password);
        QCOMPARE(m_dialog->findChild<QToolButton*>(u"BtnExecute"_s)->toolTip(), u"Verzenden"_s);
        QCOMPARE(m_dialog->findChild<QToolButton*>(u"BtnCancel"_s)->toolTip(), u"Sluiten"_s);
    }

    void validatesInOrder_data() {
        QTest::addColumn<int>("filled");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << 0 << u"Vul een GSM nummer in en probeer opnieuw"_s;
        QTest::newRow("number") << 1 << u"Vul een bericht in en probeer opnieuw"_s;
        QTest::newRow("and message") << 2 << u"Vul een wachtwoord in en probeer opnieuw"_s;
        QTest::newRow("and password") << 3 << u"Vul een inlognaam in en probeer opnieuw"_s;
        QTest::newRow("and user") << 4 << u"Vul een server in en probeer opnieuw"_s;
    }
    void validatesInOrder() {
        QFETCH(int, filled);
        QFETCH(QString, message);
        fill(filled);
        ScriptedPrompts prompts;
        m_dialog->show();
        QTest::mouseClick(m_dialog->findChild<QToolButton*>(u"BtnExecute"_s), Qt::LeftButton);
        QCOMPARE(prompts.messageTexts(), QStringList{message});
        QCOMPARE(prompts.messages().first().icon, prompts::Icon::Warning);
        QVERIFY(m_dialog->isVisible());
        QVERIFY(QDir(m_outbox).entryList(QDir::Files).isEmpty());
    }

    void spacesCountAsText() {
        fill(5);
        edit(u"SMSserver")->setText(u" "_s);
        ScriptedPrompts prompts;
        m_dialog->BtnExecuteClick();
        QCOMPARE(prompts.messageTexts(), QStringList{u"SMS bericht werd aangeboden"_s});
    }

    void writesTheRequestAndCloses() {
        fill(5);
        for (const char16_t* optional : {u"SMSafzender", u"rovverzender", u"rovontvanger"})
            edit(optional)->clear();
        m_dialog->findChild<QPlainTextEdit*>(u"SMSbericht"_s)->setPlainText(u"a\nb"_s);
        ScriptedPrompts prompts;
        m_dialog->show();
        QTest::mouseClick(m_dialog->findChild<QToolButton*>(u"BtnExecute"_s), Qt::LeftButton);
        QCOMPARE(prompts.messageTexts(), QStringList{u"SMS bericht werd aangeboden"_s});
        QCOMPARE(prompts.messages().first().icon, prompts::Icon::Information);
        QVERIFY(!m_dialog->isVisible());
        QFile file(m_outbox + u"/sms_2026030509070434.xml"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto tag = QRegularExpression(u"<MSG tag=\"(\\d+)\""_s).match(QString::fromLatin1(bytes));
        QVERIFY(tag.hasMatch());
        SmsRequest expected{
            tag.captured(1).toInt(), {}, {}, u"srv"_s, u"user"_s, u"pw"_s, u"06"_s, {}, u"a\nb"_s};
        QVERIFY(expected.tag >= 0 && expected.tag <= 9999);
        QCOMPARE(bytes, smsrequest::bytes(expected));
        QVERIFY(bytes.contains("<Verzender></Verzender>\r\n<Ontvanger></Ontvanger>"));
        QVERIFY(bytes.contains("<sms_bericht>a\r\nb</sms_bericht>\r\n"));
    }

    void cancelWritesNothing() {
        fill(5);
        m_dialog->show();
        QTest::mouseClick(m_dialog->findChild<QToolButton*>(u"BtnCancel"_s), Qt::LeftButton);
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(QDir(m_outbox).entryList(QDir::Files).isEmpty());
    }

    void unwritableFolderThrowsAndStaysOpen() {
        fill(5);
        m_outbox = m_dir->filePath(u"missing"_s);
        ScriptedPrompts prompts;
        m_dialog->show();
        QVERIFY_THROWS_EXCEPTION(AppError, m_dialog->BtnExecuteClick());
        QVERIFY(prompts.messages().isEmpty());
        QVERIFY(m_dialog->isVisible());
    }

    void ownSettingsFile_data() {
        QTest::addColumn<bool>("shown");
        QTest::newRow("never shown") << false;
        QTest::newRow("shown and closed") << true;
    }
    void ownSettingsFile() {
        QFETCH(bool, shown);
        if (shown) {
            m_dialog->show();
            fill(5);
            m_dialog->BtnCancelClick();
        }
        m_dialog.reset();
        QFile file(m_dir->filePath(u"RTCPIPCLIENTSMS.xml"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray head(
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <FSMS>\r\n"
            "    <FormVersion>0</FormVersion>\r\n");
        const QByteArray tail("  </FSMS>\r\n</Configuration>\r\n");
        const QByteArray values = shown ? QByteArray("    <SMSafzender_Text>Rovenka</SMSafzender_Text>\r\n"
                                                     "    <SMSnummer_Text>06</SMSnummer_Text>\r\n"
                                                     "    <SMSInlognaam_Text>user</SMSInlognaam_Text>\r\n"
                                                     "    <SMSWachtwoord_Text>pw</SMSWachtwoord_Text>\r\n"
                                                     "    <SMSserver_Text>srv</SMSserver_Text>\r\n"
                                                     "    <rovontvanger_Text>rov</rovontvanger_Text>\r\n"
                                                     "    <rovverzender_Text>rov</rovverzender_Text>\r\n")
                                        : QByteArray();
        QCOMPARE(file.readAll(), head + values + tail);
        if (!shown)
            return;
        m_dialog = std::make_unique<TFSMS>(m_dir->path(), [this] { return m_outbox; });
        QCOMPARE(edit(u"SMSnummer")->text(), QString()); // restored only at the first show
        m_dialog->show();
        QCOMPARE(edit(u"SMSnummer")->text(), u"06"_s);
        QCOMPARE(edit(u"SMSWachtwoord")->text(), u"pw"_s);
        QCOMPARE(m_dialog->findChild<QPlainTextEdit*>(u"SMSbericht"_s)->toPlainText(), QString());
    }

private:
    QLineEdit* edit(const char16_t* name) {
        return m_dialog->findChild<QLineEdit*>(QString::fromUtf16(name));
    }
    // The first n required fields, in the order they are checked.
    void fill(int n) {
        if (n > 0)
            edit(u"SMSnummer")->setText(u"06"_s);
        if (n > 1)
            m_dialog->findChild<QPlainTextEdit*>(u"SMSbericht"_s)->setPlainText(u"hallo"_s);
        if (n > 2)
            edit(u"SMSWachtwoord")->setText(u"pw"_s);
        if (n > 3)
            edit(u"SMSInlognaam")->setText(u"user"_s);
        if (n > 4)
            edit(u"SMSserver")->setText(u"srv"_s);
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_outbox;
    std::unique_ptr<TFSMS> m_dialog;
};

QTEST_MAIN(TestTFSMS)
#include "tst_tfsms.moc"
