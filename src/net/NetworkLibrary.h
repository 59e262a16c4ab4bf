#pragma once

#include "core/ProgramModule.h"
#include "core/Result.h"
#include "net/Transport.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace fiscora {

// An incremental SHA-256.
class Sha256 {
public:
    virtual ~Sha256() = default;
    virtual void add(QByteArrayView data) = 0;
    // The digest's 32 bytes; once, at the end.
    virtual QByteArray result() = 0;
};

enum class SignatureCheck { Valid, NotEd25519Key, Invalid };

// What the program does with libcurl and OpenSSL's libcrypto. They sit, linked, in the module
// fiscora-rede.so, which is loaded with the first exchange with the server or the first reading
// of a certificate: the start-up window does not pay for loading them.
class NetworkLibrary {
public:
    static constexpr char kModule[] = "fiscora-rede.so";
    static constexpr char kEntry[] = "fiscora_rede";

    virtual ~NetworkLibrary() = default;
    virtual std::unique_ptr<HttpTransfer> httpTransfer() const = 0;
    virtual std::unique_ptr<Connection> connection() const = 0;
    virtual std::unique_ptr<Sha256> sha256() const = 0;
    // Whether `signature` is an Ed25519 signature of `message` under the PEM public key
    // (SubjectPublicKeyInfo); a key that is not Ed25519 is told apart.
    virtual SignatureCheck checkEd25519(const QByteArray& publicKeyPem, const QByteArray& message,
                                        const QByteArray& signature) const = 0;
};

// The module's library, loaded and initialised on the first call (from any thread), or why it
// could not be.
inline const Result<const NetworkLibrary*>& networkLibrary() {
    return programModuleObject<NetworkLibrary>();
}

} // namespace fiscora
