#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QTemporaryDir>

/// A certificate authority of a test's own and a server certificate it issued for 127.0.0.1,
/// ::1 and localhost, made with the openssl program. Nothing outside the test trusts it.
class TestPki {
public:
    TestPki();
    /// False, with the reason in errorString(), when openssl is missing or failed.
    bool ready() const { return m_ready; }
    QString errorString() const { return m_error; }

    /// The authority's certificate, PEM.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    /// What a TLS server of the test presents.
    QSslConfiguration serverConfiguration() const;

private:
    bool run(const QStringList& arguments);

    QTemporaryDir m_dir;
    bool m_ready = false;
    QString m_error;
};
