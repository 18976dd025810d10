#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/// A vendor's signing key made with the minisign program, and the signatures it makes: what
/// `minisign -G` and `minisign -S` give a real vendor.
class TestSigner {
public:
    TestSigner();
    /// False, with the reason in errorString(), when minisign is missing or failed.
    bool ready() const { return m_ready; }
    QString errorString() const { return m_error; }

    /// The public key's text, "RW...".
    QByteArray publicKey() const { return m_publicKey; }
    /// The signature file for bytes with this trusted comment; legacy signs the bytes
    /// themselves ("Ed") instead of their hash ("ED"). Empty on failure.
    QByteArray sign(const QByteArray& bytes, const QString& trustedComment, bool legacy = false);

private:
    bool run(const QStringList& arguments);

    QTemporaryDir m_dir;
    bool m_ready = false;
    QString m_error;
    QByteArray m_publicKey;
};
