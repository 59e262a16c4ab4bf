#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace fiscora {

// The updater is downloaded over plain HTTP, so before it is started it must carry the vendor's
// Ed25519 signature: a detached signature (the 64 raw bytes that `openssl pkeyutl -sign -rawin`
// writes) checked against the public key installed with the program (PEM, SubjectPublicKeyInfo).
// What is signed binds the updater to the version the server announces with it, so an old
// signed updater cannot be passed off as a newer version.
class UpdateSignature final {
public:
    static constexpr qint64 kMaxSignatureBytes = 1024;
    static const QString publicKeyFile; // beside the program

    // The signed message: "fiscora-atualizacao", NUL, the announced version (the version file's
    // text without white space at either end), NUL, the updater's bytes.
    static QByteArray signedMessage(const QByteArray& version, const QByteArray& updater);

    // Success when signature is a valid Ed25519 signature of signedMessage(version, updater)
    // under publicKeyPem.
    static Status verify(const QByteArray& version, const QByteArray& updater, const QByteArray& signature,
                         const QByteArray& publicKeyPem);
    // The same with the key read from a file.
    static Status verifyWithKeyFile(const QByteArray& version, const QByteArray& updater,
                                    const QByteArray& signature, const QString& publicKeyPath);
};

} // namespace fiscora
