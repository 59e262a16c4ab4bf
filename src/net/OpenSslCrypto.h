#pragma once

#include "net/NetworkLibrary.h"

#include <memory>

namespace fiscora {

// The network library's uses of libcrypto, called directly (in the module only). The hash is null
// when libcrypto cannot make one.
std::unique_ptr<Sha256> openSslSha256();
SignatureCheck openSslCheckEd25519(const QByteArray& publicKeyPem, const QByteArray& message,
                                   const QByteArray& signature);

} // namespace fiscora
