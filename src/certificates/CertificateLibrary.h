#pragma once

#include "certificates/CertificateExtensions.h"
#include "certificates/Pkcs12Reader.h"
#include "core/ProgramModule.h"
#include "core/Result.h"
#include "net/NetworkLibrary.h"

namespace fiscora {

// The readers of certificates that need OpenSSL's libcrypto, which sits, linked, in the module
// fiscora-rede.so (net/NetworkLibrary): loaded with the first certificate read, not with the
// program.
class CertificateLibrary {
public:
    static constexpr const char* kModule = NetworkLibrary::kModule;
    static constexpr char kEntry[] = "fiscora_rede_certificados";

    virtual ~CertificateLibrary() = default;
    virtual Pkcs12Reader::Status readPkcs12(const QByteArray& container, const QString& password,
                                            QByteArray* certificateDer) const = 0;
    virtual std::optional<CertificateFields> fields(const QByteArray& der) const = 0;
    virtual QList<QByteArray> pemCertificates(const QByteArray& pem) const = 0;
    virtual CdpLookup crlDistributionPoints(const QByteArray& der) const = 0;
};

// The module's library, loaded on the first call (from any thread), or why it could not be.
inline const Result<const CertificateLibrary*>& certificateLibrary() {
    return programModuleObject<CertificateLibrary>();
}

} // namespace fiscora
