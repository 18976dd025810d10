#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/hoofdscherm.h"
#include "outbound/ui/tfsms.h"
#include "scriptedprompts.h"
#include "windowfixture.h"

using namespace Qt::Literals::StringLiterals;

// The sending roads as an operator and an integrating program use them: the real window, a
// real host on loopback, real files in the outbox.
class TestOutboundWindow : public QObject, WindowFixture {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_received.clear();
        m_server = std::make_unique<QTcpServer>();
        QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
        connect(m_server.get(), &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server->nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { m_received += s->readAll(); });
        });
        m_config = testWindowConfig(m_dir->path() + u'/');
        m_config.generalInterval = std::chrono::milliseconds(50);
        m_config.fileCheckerInterval = std::chrono::milliseconds(50);
        m_window = std::make_unique<THoofdscherm>(m_config);
        edit(u"edtPoort"_s)->setText(QString::number(m_server->serverPort()));
        m_outbox = m_dir->path() + u"/outbox"_s;
        QVERIFY(QDir().mkdir(m_outbox));
        edit(u"AutoLocatie"_s)->setText(m_outbox);
    }
    void cleanup() {
        m_window.reset();
        m_server.reset();
        m_dir.reset();
    }

    void typedPacketGoesOutAndTheEditEmpties() {
        ScriptedPrompts prompts;
        option(u"SOH"_s)->setChecked(true);
        option(u"STX"_s)->setChecked(true);
        option(u"EOT"_s)->setChecked(true);
        edit(u"edtPakket"_s)->setText(u"AB"_s);
        button(u"Button1"_s)->click(); // link down: nothing happens
        QCOMPARE(edit(u"edtPakket"_s)->text(), u"AB"_s);
        button(u"aanUitButton"_s)->click();
        QTRY_VERIFY(m_window->linkReady() || !m_window->logs().incoming().lines().isEmpty());
        button(u"Button1"_s)->click();
        QTRY_COMPARE(m_received, QByteArray("\x01"
                                            "2\x02"
                                            "AB\x04"));
        QCOMPARE(edit(u"edtPakket"_s)->text(), QString());
    }

    void typedPacketUnderEveryOptionCombination_data() {
        QTest::addColumn<bool>("soh");
        QTest::addColumn<bool>("stx");
        QTest::addColumn<bool>("eot");
        QTest::addColumn<bool>("base64");
        for (int mask = 0; mask < 16; ++mask) {
            const bool soh = mask & 1, stx = mask & 2, eot = mask & 4, base64 = mask & 8;
            const QByteArray name = QByteArray(soh ? "SOH " : "") + (stx ? "STX " : "") +
                                    (eot ? "EOT " : "") + (base64 ? "Base64" : "plain");
            QTest::newRow(name.constData()) << soh << stx << eot << base64;
        }
    }
    void typedPacketUnderEveryOptionCombination() {
        QFETCH(bool, soh);
        QFETCH(bool, stx);
        QFETCH(bool, eot);
        QFETCH(bool, base64);
        option(u"SOH"_s)->setChecked(soh);
        option(u"STX"_s)->setChecked(stx);
        option(u"EOT"_s)->setChecked(eot);
        option(u"enc64verzenden"_s)->setChecked(base64);
        connectToServer();
        const QByteArray text = "<rit nr=\"12\">Dam 1</rit> \x01";
        const QByteArray payload = base64 ? text.toBase64() : text;
        const QByteArray expected = (soh ? QByteArray("\x01") : QByteArray()) +
                                    (stx ? QByteArray::number(payload.size()) + '\x02' : QByteArray()) +
                                    payload + (eot ? QByteArray("\x04") : QByteArray());
        edit(u"edtPakket"_s)->setText(QString::fromLatin1(text));
        button(u"Button1"_s)->click();
        QTRY_COMPARE(m_received, expected);
        QCOMPARE(m_window->logs().outgoing().lines(), QStringList{QString::fromLatin1(expected)});
        QCOMPARE(edit(u"edtPakket"_s)->text(), QString());
    }

    void emptyEditSendsNothingButBlanksAreAPacket() {
        connectToServer();
        const QStringList incomingBefore = m_window->logs().incoming().lines();
        button(u"Button1"_s)->click();
        QTest::qWait(100);
        QCOMPARE(m_received, QByteArray());
        QCOMPARE(m_window->logs().outgoing().lineCount(), 0);
        QCOMPARE(m_window->logs().incoming().lines(), incomingBefore);
        edit(u"edtPakket"_s)->setText(u"  "_s);
        button(u"Button1"_s)->click();
        QTRY_COMPARE(m_received, QByteArray("  "));
    }

    void failedTypedWriteKeepsTheEditAndLogsTheError() {
        // A host that stops reading: the test's own server runs on this thread and takes nothing
        // while the clicks below run back to back, so the socket buffers fill and a write stalls.
        HoofdschermConfig config = m_config;
        config.sendLimit = std::chrono::milliseconds(300);
        m_window = std::make_unique<THoofdscherm>(config);
        edit(u"edtPoort"_s)->setText(QString::number(m_server->serverPort()));
        button(u"aanUitButton"_s)->click(); // connects before it returns
        QVERIFY(m_window->tcpClient().Connected());
        const QString packet(32000, u'p');
        int sent = 0;
        for (; sent < 4000; ++sent) {
            edit(u"edtPakket"_s)->setText(packet);
            button(u"Button1"_s)->click();
            if (!edit(u"edtPakket"_s)->text().isEmpty())
                break;
        }
        QVERIFY2(sent < 4000, "the socket buffers never filled");
        QCOMPARE(edit(u"edtPakket"_s)->text(), packet);
        QCOMPARE(m_window->logs().incoming().lines().mid(1),
                 (QStringList{u"Socket Error # 10060"_s, u"Connection timed out."_s}));
        QCOMPARE(m_window->logs().outgoing().lineCount(), sent);
    }

    void chosenFileGoesOutInCrLfForm_data() {
        QTest::addColumn<bool>("base64");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray text = "A\r\nB\r\n<x/>\r\n";
        QTest::newRow("plain") << false << QByteArray("\x01\r\n12\x02\r\n" + text + "\x04\r\n");
        QTest::newRow("Base64") << true
                                << QByteArray("\x01\r\n16\x02\r\n" + text.toBase64() + "\r\n\x04\r\n");
    }
    void chosenFileGoesOutInCrLfForm() {
        QFETCH(bool, base64);
        QFETCH(QByteArray, expected);
        option(u"SOH"_s)->setChecked(true);
        option(u"STX"_s)->setChecked(true);
        option(u"EOT"_s)->setChecked(true);
        option(u"enc64verzenden"_s)->setChecked(base64);
        connectToServer();
        const QString path = m_dir->filePath(u"rit.txt"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("A\nB\n<x/>"); // lone LF, and no break after the last line
        f.close();
        ScriptedPrompts prompts;
        prompts.chooseNextFile(path);
        m_window->findChild<QAction*>(u"Bestandverzenden1"_s)->trigger();
        QCOMPARE(prompts.dialogTitles(), QStringList{u"Selecteer bestand"_s});
        QTRY_COMPARE(m_received, expected);
        // One entry; its CR LF line ends show as lines of the memo.
        QCOMPARE(m_window->logs().outgoing().lines().join(u"\r\n"_s), QString::fromLatin1(expected));
        QVERIFY(QFile::exists(path)); // the chosen file is neither changed nor deleted
    }

    void fileMenuWarnsWhileTheLinkIsDown() {
        ScriptedPrompts prompts;
        m_window->Bestandverzenden1Click();
        QCOMPARE(prompts.messageTexts(), QStringList{u"Open eerste de TCP/IP verbinding met de host"_s});
        QCOMPARE(prompts.dialogTitles(), QStringList());
    }

    void outboxFileReconnectsThenGoesOutAndIsDeleted() {
        option(u"AutoBestanden"_s)->setChecked(true);
        const QString path = m_outbox + u"/pakket.xml"_s;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<MSG/>\n");
        f.close();
        QTRY_VERIFY(!QFile::exists(path));
        QTRY_COMPARE(m_received, QByteArray("<MSG/>\r\n"));
        const QStringList lines = m_window->logs().incoming().lines();
        QVERIFY(lines.contains(u"Verbinding opgebouwd"_s));
        QVERIFY(lines.contains(u"Verbinding opbouwen"_s));
        QVERIFY(lines.contains(u"Origineel verwijderen"_s));
    }

    void ownSettingsFilesAreNeverSent() {
        // The program's folder is the outbox by default, and its settings files end in ".xml".
        const QString folder = m_dir->path() + u'/';
        edit(u"AutoLocatie"_s)->setText(folder);
        m_window->settings().Save();
        QVERIFY(m_window->settings().Flush());
        QVERIFY(QFile::exists(folder + u"RTCPIPCLIENT.xml"_s));
        QFile sms(folder + u"RTCPIPCLIENTSMS.xml"_s);
        QVERIFY(sms.open(QIODevice::WriteOnly));
        sms.write("<Configuration/>\r\n");
        sms.close();
        QFile packet(folder + u"pakket.xml"_s);
        QVERIFY(packet.open(QIODevice::WriteOnly));
        packet.write("<MSG/>");
        packet.close();
        option(u"AutoBestanden"_s)->setChecked(true);
        QTRY_VERIFY(!QFile::exists(folder + u"pakket.xml"_s));
        QTest::qWait(300); // several more ticks
        QCOMPARE(m_received, QByteArray("<MSG/>\r\n"));
        QVERIFY(QFile::exists(folder + u"RTCPIPCLIENT.xml"_s));
        QVERIFY(QFile::exists(folder + u"RTCPIPCLIENTSMS.xml"_s));
    }

    void smsRequestReachesTheHost() {
        ScriptedPrompts prompts;
        option(u"AutoBestanden"_s)->setChecked(true);
        TFSMS sms(m_dir->path() + u'/', [this] { return m_window->outboxFolder(); });
        sms.show();
        for (const auto& [name, text] : {std::pair{u"SMSnummer"_s, u"0612345678"_s},
                                         {u"SMSWachtwoord"_s, u"geheim"_s},
                                         {u"SMSInlognaam"_s, u"rit"_s},
                                         {u"SMSserver"_s, u"sms.example"_s}})
            sms.findChild<QLineEdit*>(name)->setText(text);
        sms.findChild<QPlainTextEdit*>(u"SMSbericht"_s)->setPlainText(u"Uw taxi staat klaar"_s);
        sms.BtnExecuteClick();
        QCOMPARE(prompts.messageTexts(), QStringList{u"SMS bericht werd aangeboden"_s});
        QTRY_VERIFY_WITH_TIMEOUT(m_received.contains("<sms_bericht>Uw taxi staat klaar</sms_bericht>"),
                                 10000);
        QVERIFY(m_received.contains("<sms_nummer>0612345678</sms_nummer>"));
        QTRY_COMPARE(QDir(m_outbox).entryList(QDir::Files), QStringList());
    }

private:
    void connectToServer() {
        button(u"aanUitButton"_s)->click();
        QTRY_VERIFY(m_window->tcpClient().Connected());
        QCOMPARE(m_window->logs().incoming().lines(), QStringList{u"Verbinding opgebouwd"_s});
    }

    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<QTcpServer> m_server;
    HoofdschermConfig m_config;
    QByteArray m_received;
    QString m_outbox;
};

RTCP_WINDOW_TEST_MAIN(TestOutboundWindow)

#include "tst_outboundwindow.moc"
