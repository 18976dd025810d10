#include "update/packagesignature.h"

#include <QFile>

#include <sodium.h>

using namespace Qt::Literals::StringLiterals;

namespace {

Failure fault(SignatureFault f) {
    return Failure{static_cast<int>(f), signatureFaultText(f)};
}

std::optional<QByteArray> base64(QByteArrayView text) {
    auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed().toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

// The data the signature line signs: the file itself ("Ed") or its BLAKE2b-512 hash ("ED"),
// read in pieces so a package of any size fits.
std::optional<QByteArray> signedData(const QString& path, const QByteArray& algorithm) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (algorithm == "Ed")
        return file.readAll();
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES_MAX);
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(buffer.constData()),
                                  static_cast<unsigned long long>(n));
    }
    QByteArray hash(crypto_generichash_BYTES_MAX, Qt::Uninitialized);
    crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(hash.data()), hash.size());
    return hash;
}

bool verified(const QByteArray& signature, const QByteArray& message, const QByteArray& publicKey) {
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                       reinterpret_cast<const unsigned char*>(message.constData()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char*>(publicKey.constData())) == 0;
}

} // namespace

QString signatureFaultText(SignatureFault f) {
    switch (f) {
    case SignatureFault::Missing:
        return u"De handtekening van de download ontbreekt. De download is verwijderd."_s;
    case SignatureFault::Damaged:
        return u"De handtekening van de download is beschadigd. De download is verwijderd."_s;
    case SignatureFault::ForeignKey:
        return u"De download is niet door de leverancier ondertekend. De download is verwijderd."_s;
    case SignatureFault::Invalid:
        return u"De download klopt niet met zijn handtekening. De download is verwijderd."_s;
    case SignatureFault::OtherVersion:
        return u"De handtekening hoort niet bij de aangekondigde versie. De download is verwijderd."_s;
    }
    return {};
}

Result<SigningKey> parseSigningKey(QByteArrayView text) {
    QByteArray keyLine;
    for (const QByteArray& line : text.toByteArray().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith("untrusted comment:"))
            keyLine = trimmed;
    }
    const auto raw = base64(keyLine);
    if (!raw || raw->size() != 42 || !raw->startsWith("Ed"))
        return Failure{0, u"Not a minisign public key"_s};
    return SigningKey{raw->mid(2, 8), raw->mid(10, 32)};
}

Result<PackageSignature> parsePackageSignature(QByteArrayView text) {
    if (text.size() > kMaxSignatureBytes)
        return fault(SignatureFault::Damaged);
    QList<QByteArray> lines = text.toByteArray().split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    static const QByteArray untrusted("untrusted comment:");
    static const QByteArray trusted("trusted comment: ");
    if (lines.size() != 4 || !lines[0].startsWith(untrusted) || !lines[2].startsWith(trusted))
        return fault(SignatureFault::Damaged);
    const auto signatureLine = base64(lines[1]);
    const auto global = base64(lines[3]);
    if (!signatureLine || signatureLine->size() != 74 || !global || global->size() != 64)
        return fault(SignatureFault::Damaged);
    PackageSignature s;
    s.algorithm = signatureLine->left(2);
    if (s.algorithm != "Ed" && s.algorithm != "ED")
        return fault(SignatureFault::Damaged);
    s.keyId = signatureLine->mid(2, 8);
    s.signature = signatureLine->mid(10, 64);
    s.trustedComment = lines[2].sliced(trusted.size());
    s.globalSignature = *global;
    return s;
}

bool trustedCommentNamesVersion(QByteArrayView comment, const QString& version) {
    if (version.isEmpty())
        return false;
    const QByteArray wanted = "version:" + version.toUtf8();
    for (const QByteArray& word : comment.toByteArray().simplified().split(' '))
        if (word == wanted)
            return true;
    return false;
}

Result<void> verifyPackage(const QString& path, QByteArrayView signatureText, const SigningKey& key,
                           const QString& announcedVersion) {
    if (sodium_init() < 0)
        return fault(SignatureFault::Invalid);
    const auto parsed = parsePackageSignature(signatureText);
    if (!parsed)
        return parsed.failure();
    const PackageSignature& s = parsed.value();
    if (s.keyId != key.keyId)
        return fault(SignatureFault::ForeignKey);
    const auto data = signedData(path, s.algorithm);
    if (!data || !verified(s.signature, *data, key.publicKey))
        return fault(SignatureFault::Invalid);
    // The trusted comment is signed too, with the signature it follows.
    if (!verified(s.globalSignature, s.signature + s.trustedComment, key.publicKey))
        return fault(SignatureFault::Invalid);
    if (!trustedCommentNamesVersion(s.trustedComment, announcedVersion))
        return fault(SignatureFault::OtherVersion);
    return {};
}
