#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "common/result.h"

/// A vendor's public key in minisign's format: the text "RW..." (the base64 of "Ed", an 8-byte
/// key id and the 32-byte Ed25519 key), alone or as the key file with its comment line.
struct SigningKey {
    QByteArray keyId;     ///< 8 bytes
    QByteArray publicKey; ///< 32 bytes
};
Result<SigningKey> parseSigningKey(QByteArrayView text);

/// A signature file as `minisign -S` writes it: an untrusted comment line, the signature line
/// (algorithm "Ed" over the file, or "ED" over its BLAKE2b-512 hash; key id; 64 bytes), the
/// trusted comment line and the global signature over signature || trusted comment.
struct PackageSignature {
    QByteArray algorithm; ///< "Ed" or "ED"
    QByteArray keyId;
    QByteArray signature;
    QByteArray trustedComment;
    QByteArray globalSignature;
};

/// Why a package is refused, each with the text the operator reads.
enum class SignatureFault { Missing, Damaged, ForeignKey, Invalid, OtherVersion };
QString signatureFaultText(SignatureFault fault);

/// The most a signature file can hold: a few lines.
constexpr qint64 kMaxSignatureBytes = 16 * 1024;

Result<PackageSignature> parsePackageSignature(QByteArrayView text);

/// Whether the trusted comment names version: one of its blank-separated words is
/// "version:" + version, exactly.
bool trustedCommentNamesVersion(QByteArrayView comment, const QString& version);

/// Checks the file at path against the signature text, the key and the version the update
/// announced. The failure's code is a SignatureFault, its message that fault's text.
Result<void> verifyPackage(const QString& path, QByteArrayView signatureText, const SigningKey& key,
                           const QString& announcedVersion);
