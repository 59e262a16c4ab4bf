// libcurl and OpenSSL's libcrypto, linked here and nowhere else: the windows and the
// transmissions load this module with their first exchange with the server or their first
// certificate read (net/NetworkLibrary, certificates/CertificateLibrary), so their start does not
// load these libraries.

#include "certificates/CertificateLibrary.h"
#include "certificates/OpenSslCertificates.h"
#include "net/CurlTransport.h"
#include "net/NetworkLibrary.h"
#include "net/OpenSslCrypto.h"

#include <curl/curl.h>

namespace {

class CurlOpenSslLibrary final : public fiscora::NetworkLibrary {
public:
    std::unique_ptr<fiscora::HttpTransfer> httpTransfer() const override {
        return fiscora::curlHttpTransfer();
    }
    std::unique_ptr<fiscora::Connection> connection() const override { return fiscora::curlConnection(); }
    std::unique_ptr<fiscora::Sha256> sha256() const override { return fiscora::openSslSha256(); }
    fiscora::SignatureCheck checkEd25519(const QByteArray& publicKeyPem, const QByteArray& message,
                                         const QByteArray& signature) const override {
        return fiscora::openSslCheckEd25519(publicKeyPem, message, signature);
    }
};

class OpenSslCertificateLibrary final : public fiscora::CertificateLibrary {
public:
    fiscora::Pkcs12Reader::Status readPkcs12(const QByteArray& container, const QString& password,
                                             QByteArray* certificateDer) const override {
        return fiscora::openSslReadPkcs12(container, password, certificateDer);
    }
    std::optional<fiscora::CertificateFields> fields(const QByteArray& der) const override {
        return fiscora::openSslCertificateFields(der);
    }
    QList<QByteArray> pemCertificates(const QByteArray& pem) const override {
        return fiscora::openSslPemCertificates(pem);
    }
    fiscora::CdpLookup crlDistributionPoints(const QByteArray& der) const override {
        return fiscora::openSslCrlDistributionPoints(der);
    }
};

} // namespace

// Null when libcurl cannot be initialised. Called once (the loader keeps the answer), before any
// transfer exists.
extern "C" __attribute__((visibility("default"))) const void* fiscora_rede() {
    static const CurlOpenSslLibrary library;
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return nullptr;
    return static_cast<const fiscora::NetworkLibrary*>(&library);
}

extern "C" __attribute__((visibility("default"))) const void* fiscora_rede_certificados() {
    static const OpenSslCertificateLibrary library;
    return static_cast<const fiscora::CertificateLibrary*>(&library);
}
