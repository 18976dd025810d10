#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"
#include "testsigner.h"
#include "update/packagesignature.h"

using namespace Qt::Literals::StringLiterals;

// Signatures made by the real minisign program, checked with libsodium.
class TestPackageSignature : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_vendor.emplace();
        m_stranger.emplace();
        if (!m_vendor->ready() || !m_stranger->ready())
            QSKIP(qPrintable(m_vendor->errorString() + m_stranger->errorString()));
        m_package = m_dir.filePath(u"pkg.zip"_s);
        QVERIFY(writeFile(m_package, QByteArray(70000, 'p') + "end"));
    }

    void verdicts_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("fault"); // -1: verified
        QTest::newRow("prehashed (ED)") << u"good"_s << -1;
        QTest::newRow("legacy (Ed)") << u"legacy"_s << -1;
        QTest::newRow("version among other words") << u"words"_s << -1;
        QTest::newRow("tampered package") << u"tampered"_s << int(SignatureFault::Invalid);
        QTest::newRow("foreign key") << u"foreign"_s << int(SignatureFault::ForeignKey);
        QTest::newRow("older version replayed") << u"older"_s << int(SignatureFault::OtherVersion);
        QTest::newRow("version as a prefix only") << u"prefix"_s << int(SignatureFault::OtherVersion);
        QTest::newRow("trusted comment edited") << u"edited"_s << int(SignatureFault::Invalid);
        QTest::newRow("garbage") << u"garbage"_s << int(SignatureFault::Damaged);
        QTest::newRow("empty") << u"empty"_s << int(SignatureFault::Damaged);
    }
    void verdicts() {
        QFETCH(QString, kind);
        QFETCH(int, fault);
        const QByteArray bytes = readFile(m_package);
        QString comment = u"version:9.0.1.4"_s;
        if (kind == u"older"_s)
            comment = u"version:9.0.1.3"_s;
        if (kind == u"prefix"_s)
            comment = u"version:9.0.1.4a"_s;
        if (kind == u"words"_s)
            comment = u"timestamp:1 version:9.0.1.4 file:pkg.zip"_s;
        TestSigner& signer = kind == u"foreign"_s ? *m_stranger : *m_vendor;
        QByteArray signature = signer.sign(bytes, comment, kind == u"legacy"_s);
        QVERIFY(!signature.isEmpty());
        if (kind == u"edited"_s)
            signature.replace("version:9.0.1.4", "version:9.0.1.5");
        if (kind == u"garbage"_s)
            signature = "untrusted comment: x\nnot base64 at all\n";
        if (kind == u"empty"_s)
            signature.clear();
        QString path = m_package;
        if (kind == u"tampered"_s) {
            path = m_dir.filePath(u"tampered.zip"_s);
            QByteArray changed = bytes;
            changed[100] = 'q';
            QVERIFY(writeFile(path, changed));
        }
        const auto key = parseSigningKey(m_vendor->publicKey());
        QVERIFY(key);
        const auto verdict = verifyPackage(path, signature, key.value(), u"9.0.1.4"_s);
        if (fault < 0) {
            QVERIFY2(verdict, qPrintable(verdict.message()));
        } else {
            QVERIFY(!verdict);
            QCOMPARE(verdict.failure().code, fault);
            QCOMPARE(verdict.message(), signatureFaultText(SignatureFault(fault)));
        }
    }

    void keysAsTextOrFile() {
        QVERIFY(parseSigningKey(m_vendor->publicKey()));
        QVERIFY(parseSigningKey(
            QByteArray("untrusted comment: minisign public key\n" + m_vendor->publicKey() + "\n")));
        QVERIFY(!parseSigningKey("RWnotakey"));
        QVERIFY(!parseSigningKey(""));
        QVERIFY(!trustedCommentNamesVersion("version:", QString()));
    }

private:
    QTemporaryDir m_dir;
    QString m_package;
    std::optional<TestSigner> m_vendor;
    std::optional<TestSigner> m_stranger;
};

QTEST_GUILESS_MAIN(TestPackageSignature)
#include "tst_packagesignature.moc"
