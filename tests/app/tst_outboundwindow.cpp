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

using namespace Qt::Literals::StringLiterals;

// The sending roads as an operator and an integrating program use them: the real window, a
// real host on loopback, real files in the outbox.
class TestOutboundWindow : public QObject {
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
        HoofdschermConfig config;
        config.executableFolder = m_dir->path() + u'/';
        config.executableFile = QCoreApplication::applicationFilePath();
        config.generalInterval = std::chrono::milliseconds(50);
        config.fileCheckerInterval = std::chrono::milliseconds(50);
        config.trayIcon = false;
        m_window = std::make_unique<THoofdscherm>(config);
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
    QLineEdit* edit(const QString& name) { return m_window->findChild<QLineEdit*>(name); }
    QCheckBox* option(const QString& name) { return m_window->findChild<QCheckBox*>(name); }
    QPushButton* button(const QString& name) { return m_window->findChild<QPushButton*>(name); }

    std::optional<QTemporaryDir> m_dir;
    std::unique_ptr<QTcpServer> m_server;
    std::unique_ptr<THoofdscherm> m_window;
    QByteArray m_received;
    QString m_outbox;
};

int main(int argc, char** argv) {
    Application app(argc, argv);
    TestOutboundWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_outboundwindow.moc"
