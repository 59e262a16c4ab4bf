#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

namespace fiscora {

// The updater is downloaded over plain HTTP, so before it is started its bytes must carry the
// vendor's Ed25519 signature: a detached signature (the 64 raw bytes that
// `openssl pkeyutl -sign -rawin` writes) checked against the public key installed with the
// program (PEM, SubjectPublicKeyInfo).
class UpdateSignature final {
public:
    static constexpr qint64 kMaxSignatureBytes = 1024;
    static const QString publicKeyFile; // in the program folder

    // Success when signature is a valid Ed25519 signature of data under publicKeyPem.
    static Status verify(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKeyPem);
    // The same with the key read from a file.
    static Status verifyWithKeyFile(const QByteArray& data, const QByteArray& signature,
                                    const QString& publicKeyPath);
};

} // namespace fiscora
