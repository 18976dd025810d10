#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include "app/extrasettingsdialog.h"
#include "app/frameswindow.h"
#include "frames/framelog.h"
#include "hostframe.h"
#include "scriptedprompts.h"
#include "testfiles.h"
#include "windowfixture.h"

using namespace Qt::Literals::StringLiterals;

// What the window adds around the design to see every frame: the status bar, the frame
// inspector with its filter and resend, and the extra settings, against a real host.
class TestFramesWindow : public QObject, public WindowFixture {
    Q_OBJECT
private slots:
    void init() {
        m_dir.emplace();
        m_peer = std::make_unique<LoopbackPeer>();
        HoofdschermConfig config = testWindowConfig(m_dir->path() + u'/');
        config.generalInterval = std::chrono::milliseconds(40);
        config.reconnectInterval = std::chrono::milliseconds(300);
        config.fileCheckerInterval = std::chrono::milliseconds(40);
        m_window = std::make_unique<THoofdscherm>(config);
        edit(u"edtPoort"_s)->setText(QString::number(m_peer->port()));
        for (const char* name : {"SOH", "STX", "EOT", "enc64verzenden"})
            option(QString::fromLatin1(name))->setChecked(false);
    }
    void cleanup() {
        m_window.reset();
        m_peer.reset();
        m_dir.reset();
    }

    // Down with the countdown to the next attempt and the error of the last one, then up with
    // where and since when.
    void statusBarFollowsTheLink() {
        const QString port = edit(u"edtPoort"_s)->text();
        edit(u"edtPoort"_s)->setText(u"1"_s); // nothing listens there
        option(u"AutoConnect"_s)->setChecked(true);
        auto* link = m_window->findChild<QLabel*>(u"verbindingStatusLabel"_s);
        QTRY_VERIFY2(link->text().contains(u"Connection refused."_s), qPrintable(link->text()));
        QVERIFY2(link->text().startsWith(u"verbroken 127.0.0.1:1 sinds "_s), qPrintable(link->text()));
        QVERIFY2(link->text().contains(u"opnieuw over"_s), qPrintable(link->text()));
        QVERIFY2(link->text().contains(u" poging"_s), qPrintable(link->text()));
        QVERIFY2(link->toolTip().contains(u"Socket Error # 10061"_s), qPrintable(link->toolTip()));
        edit(u"edtPoort"_s)->setText(port);
        QTRY_VERIFY2(link->text().startsWith(u"verbonden 127.0.0.1:"_s + port + u" sinds "_s),
                     qPrintable(link->text()));
        QVERIFY(!link->text().contains(u"opnieuw over"_s));
        QVERIFY(!link->text().contains(u"refused"_s));
    }

    // A file that cannot go (the link is down) is counted and, past the set time, warned about
    // with its reason; once it has gone, the warning is gone too.
    void outboxWarningAppearsAndClears() {
        const QString outbox = m_dir->filePath(u"uit"_s);
        QVERIFY(QDir().mkpath(outbox));
        edit(u"AutoLocatie"_s)->setText(outbox);
        m_window->extraSettings().findChild<QLineEdit*>(u"WachtWaarschuwing"_s)->setText(u"0"_s);
        const QString port = edit(u"edtPoort"_s)->text();
        edit(u"edtPoort"_s)->setText(u"1"_s);
        QVERIFY(writeFile(outbox + u"/rit.xml"_s, "<rit/>"));
        option(u"AutoBestanden"_s)->setChecked(true);
        auto* label = m_window->findChild<QLabel*>(u"uitgaandStatusLabel"_s);
        QTRY_VERIFY2(label->text().contains(u"rit.xml"_s), qPrintable(label->text()));
        QVERIFY2(label->text().contains(u"geen verbinding"_s), qPrintable(label->text()));
        edit(u"edtPoort"_s)->setText(port);
        QTRY_COMPARE(m_peer->received(), QByteArray("<rit/>\r\n"));
        QTRY_COMPARE(label->text(), u"Uitgaand: 0"_s);
    }

    // Every frame in the inspector with its verdicts; the filter keeps what matches; the
    // selected frame whole; and its payload sent again after a Yes.
    void inspectorShowsFiltersAndResends() {
        connectToPeer();
        m_window->findChild<QAction*>(u"FrameInspecteurTonen"_s)->trigger();
        FramesWindow& inspector = m_window->frameInspector();
        QVERIFY(QTest::qWaitForWindowExposed(&inspector));
        auto* table = inspector.findChild<QTableView*>(u"framesTableView"_s);
        QAbstractItemModel* rows = table->model();

        m_peer->send(frame("<rit nr=\"1\"/>"));
        QTRY_COMPARE(rows->rowCount(), 1);
        m_peer->send("\x01"
                     "99\x02PHJpdC8+!\x04"); // length wrong, a bad Base64 character
        QTRY_COMPARE(rows->rowCount(), 2);
        const auto cell = [rows](int row, int column) {
            return rows->index(row, column).data().toString();
        };
        QCOMPARE(cell(0, 1), cell(1, 1));
        QVERIFY2(cell(0, 5).contains(u"<rit nr=\"1\"/>"_s), qPrintable(cell(0, 5)));
        QVERIFY2(cell(1, 4) != cell(0, 4), qPrintable(cell(1, 4)));
        QVERIFY2(cell(1, 3).contains(u"99"_s), qPrintable(cell(1, 3)));

        auto* filter = inspector.findChild<QLineEdit*>(u"inspectorFilterLineEdit"_s);
        filter->setText(u"nr=\"1\""_s);
        QCOMPARE(rows->rowCount(), 1);
        table->selectRow(0);
        auto* hex = inspector.findChild<QPlainTextEdit*>(u"Bytes (hex)"_s);
        auto* payload = inspector.findChild<QPlainTextEdit*>(u"Inhoud"_s);
        QVERIFY2(hex->toPlainText().startsWith(u"01 "_s), qPrintable(hex->toPlainText().left(40)));
        QVERIFY2(payload->toPlainText().contains(u"<rit nr=\"1\"/>"_s), qPrintable(payload->toPlainText()));

        ScriptedPrompts prompts;
        prompts.answerNext(prompts::Answer::No);
        inspector.findChild<QPushButton*>(u"resendButton"_s)->click();
        QCOMPARE(prompts.messages().size(), 1);
        QTest::qWait(100);
        QCOMPARE(m_peer->received(), QByteArray());
        prompts.answerNext(prompts::Answer::Yes);
        inspector.findChild<QPushButton*>(u"resendButton"_s)->click();
        // As a typed packet goes, with the text the archive wrote for it.
        QTRY_COMPARE(m_peer->received(), QByteArray("<rit nr=\"1\"/>\r\n"));
        filter->clear();
        QTRY_COMPARE(rows->rowCount(), 3); // the resend is a frame too
    }

    // With the table full, every frame that arrives while the question is open moves the rows
    // by one; the frame chosen before the question is the one sent all the same. One that has
    // left the table meanwhile is not sent, and the operator is told why.
    void resendSendsTheChosenFrameWhileFramesArrive() {
        m_window->extraSettings().findChild<QLineEdit*>(u"InspecteurAantal"_s)->setText(u"3"_s);
        connectToPeer();
        m_window->findChild<QAction*>(u"FrameInspecteurTonen"_s)->trigger();
        FramesWindow& inspector = m_window->frameInspector();
        QVERIFY(QTest::qWaitForWindowExposed(&inspector));
        auto* table = inspector.findChild<QTableView*>(u"framesTableView"_s);
        QAbstractItemModel* rows = table->model();
        const auto newest = [rows] {
            return rows->index(rows->rowCount() - 1, FrameLog::FirstLineColumn).data().toString();
        };
        // Each in a tick of its own: the next goes once the last has its row.
        const auto arrive = [&](int nr) {
            const QByteArray xml = "<rit nr=\"" + QByteArray::number(nr) + "\"/>";
            m_peer->send(frame(xml));
            QTRY_COMPARE(newest(), QString::fromLatin1(xml));
        };
        for (int nr = 1; nr <= 3; ++nr)
            arrive(nr);
        QCOMPARE(rows->rowCount(), 3);
        table->selectRow(1);
        auto* resend = inspector.findChild<QPushButton*>(u"resendButton"_s);

        ScriptedPrompts prompts;
        prompts.whileNextIsOpen([&] {
            arrive(4);
            QCOMPARE(rows->index(1, FrameLog::FirstLineColumn).data().toString(), u"<rit nr=\"3\"/>"_s);
        });
        prompts.answerNext(prompts::Answer::Yes);
        resend->click();
        QTRY_COMPARE(m_peer->received(), QByteArray("<rit nr=\"2\"/>\r\n"));
        QCOMPARE(prompts.messages().size(), 1);

        table->selectRow(0); // nr 3
        prompts.whileNextIsOpen([&] {
            for (int nr = 5; nr <= 7; ++nr)
                arrive(nr);
        });
        prompts.answerNext(prompts::Answer::Yes);
        resend->click();
        QCOMPARE(prompts.messages().size(), 3);
        QCOMPARE(prompts.messages().last().text,
                 u"Dit frame staat niet meer in de frame-inspecteur: het is intussen door nieuwere frames "
                 u"verdrongen. Er is niets verzonden."_s);
        // Nothing went between the first resend and a packet typed now.
        edit(u"edtPakket"_s)->setText(u"einde"_s);
        button(u"Button1"_s)->click();
        QTRY_COMPARE(m_peer->received(), QByteArray("<rit nr=\"2\"/>\r\neinde"));
    }

private:
    std::optional<QTemporaryDir> m_dir;
};

RTCP_WINDOW_TEST_MAIN(TestFramesWindow)
#include "tst_frameswindow.moc"
