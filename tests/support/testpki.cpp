#include "testpki.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>

using namespace Qt::Literals::StringLiterals;

TestPki::TestPki() {
    const QString dir = m_dir.path() + u'/';
    QFile ext(dir + u"server.ext"_s);
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write("subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost\n"
                  "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n") < 0) {
        m_error = ext.errorString();
        return;
    }
    ext.close();
    m_ready = run({u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"2"_s,
                   u"-subj"_s, u"/CN=Test update authority"_s, u"-keyout"_s, dir + u"ca.key"_s, u"-out"_s,
                   dir + u"ca.pem"_s}) &&
              run({u"req"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-subj"_s, u"/CN=127.0.0.1"_s,
                   u"-keyout"_s, dir + u"server.key"_s, u"-out"_s, dir + u"server.csr"_s}) &&
              run({u"x509"_s, u"-req"_s, u"-in"_s, dir + u"server.csr"_s, u"-CA"_s, dir + u"ca.pem"_s,
                   u"-CAkey"_s, dir + u"ca.key"_s, u"-CAcreateserial"_s, u"-days"_s, u"2"_s, u"-extfile"_s,
                   dir + u"server.ext"_s, u"-out"_s, dir + u"server.pem"_s});
}

bool TestPki::run(const QStringList& arguments) {
    QProcess openssl;
    openssl.start(u"openssl"_s, arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        m_error = u"openssl %1: %2 %3"_s.arg(arguments.value(0), openssl.errorString(),
                                             QString::fromLocal8Bit(openssl.readAllStandardError()));
        return false;
    }
    return true;
}

QSslConfiguration TestPki::serverConfiguration() const {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    QFile cert(m_dir.filePath(u"server.pem"_s));
    QFile key(m_dir.filePath(u"server.key"_s));
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        return {};
    tls.setLocalCertificate(QSslCertificate(cert.readAll()));
    tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}
