#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "outbound/smsrequest.h"

using namespace Qt::Literals::StringLiterals;

class TestSmsRequest : public QObject {
    Q_OBJECT
private slots:
    void exactBytes() {
        SmsRequest r{42,      u"rov"_s,        u"host"_s,    u"gw.example"_s, u"user"_s,
                     u"pw"_s, u"0612345678"_s, u"Rovenka"_s, u"a\nb <&>"_s};
        QCOMPARE(smsrequest::lines(r).size(), 22);
        QCOMPARE(smsrequest::bytes(r),
                 QByteArray("<?xml version=\"1.0\" ?>\r\n"
                            "<MSG tag=\"42\" type=\"COM\" protocol=\"CON_RV\" versie=\"1.0\">\r\n"
                            "<Verzender>rov</Verzender>\r\n"
                            "<Ontvanger>host</Ontvanger>\r\n"
                            "<Rovenka>\r\n"
                            "<Gebruikersnaam>tavu</Gebruikersnaam>\r\n"
                            "<Paswoord>tavu</Paswoord>\r\n"
                            "<PakketSoort>SMS_SMSHOSTING_SEND</PakketSoort>\r\n"
                            "<smspakketten>\r\n"
                            "<smspakket>\r\n"
                            "<sms_server>gw.example</sms_server>\r\n"
                            "<sms_actie>/isms/send.php?</sms_actie>\r\n"
                            "<sms_inlognaam>user</sms_inlognaam>\r\n"
                            "<sms_wachtwoord>pw</sms_wachtwoord>\r\n"
                            "<sms_nummer>0612345678</sms_nummer>\r\n"
                            "<sms_afzender>Rovenka</sms_afzender>\r\n"
                            "<sms_bericht>a\r\nb <&></sms_bericht>\r\n"
                            "</smspakket>\r\n"
                            "</smspakketten>\r\n"
                            "</RovenkaPakket>\r\n"
                            "</Rovenka>\r\n"
                            " </MSG>\r\n"));
    }

    void messageLineBreaks_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("two lines") << u"a\nb"_s << QByteArray("<sms_bericht>a\r\nb</sms_bericht>\r\n");
        QTest::newRow("already CR LF") << u"a\r\nb"_s << QByteArray("<sms_bericht>a\r\nb</sms_bericht>\r\n");
        QTest::newRow("typed final break") << u"a\n"_s << QByteArray("<sms_bericht>a\r\n</sms_bericht>\r\n");
        QTest::newRow("not in 1252") << u"\u0100\u20AC"_s
                                     << QByteArray("<sms_bericht>?\x80</sms_bericht>\r\n");
    }
    void messageLineBreaks() {
        QFETCH(QString, message);
        QFETCH(QByteArray, line);
        SmsRequest r;
        r.bericht = message;
        QVERIFY(smsrequest::bytes(r).contains(QByteArray("\r\n" + line)));
    }

    void twoRequestsInOneSecondBothKept() {
        QTemporaryDir dir;
        const QDateTime now(QDate(2026, 3, 5), QTime(9, 7, 4));
        SmsRequest first;
        first.tag = 1;
        SmsRequest second;
        second.tag = 2;
        const auto a = smsrequest::write(dir.path(), first, now);
        const auto b = smsrequest::write(dir.path(), second, now);
        QVERIFY(a && b);
        QCOMPARE(QFileInfo(a.value()).fileName(), u"sms_2026030509070434.xml"_s);
        QCOMPARE(QFileInfo(b.value()).fileName(), u"sms_2026030509070434_2.xml"_s);
        QFile fa(a.value());
        QVERIFY(fa.open(QIODevice::ReadOnly));
        QCOMPARE(fa.readAll(), smsrequest::bytes(first));
    }

    void missingFolderFails() {
        QTemporaryDir dir;
        QVERIFY(!smsrequest::write(dir.filePath(u"missing"_s), SmsRequest{}, QDateTime::currentDateTime()));
    }
};

QTEST_GUILESS_MAIN(TestSmsRequest)
#include "tst_smsrequest.moc"
