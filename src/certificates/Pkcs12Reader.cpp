#include "certificates/Pkcs12Reader.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <memory>

namespace fiscora {

namespace {

// Loaded once, on first use, and unloaded when the program ends. The holder is created after
// OpenSSL has initialised itself, so it is destroyed before OpenSSL's own clean-up runs.
class LegacyProvider {
public:
    LegacyProvider()
        // retain_fallbacks = 1: the default provider stays available to everything else.
        : m_provider(OSSL_PROVIDER_try_load(nullptr, "legacy", 1)) {}
    ~LegacyProvider() {
        if (m_provider)
            OSSL_PROVIDER_unload(m_provider);
    }
    LegacyProvider(const LegacyProvider&) = delete;
    LegacyProvider& operator=(const LegacyProvider&) = delete;

private:
    OSSL_PROVIDER* m_provider;
};

void loadLegacyProvider() {
    static const LegacyProvider provider;
}

struct Pkcs12Free {
    void operator()(PKCS12* p) const { PKCS12_free(p); }
};

} // namespace

Pkcs12Reader::Status Pkcs12Reader::read(const QByteArray& container, const QString& password,
                                        QByteArray* certificateDer) {
    loadLegacyProvider();
    ERR_clear_error();
    const auto* bytes = reinterpret_cast<const unsigned char*>(container.constData());
    std::unique_ptr<PKCS12, Pkcs12Free> p12(d2i_PKCS12(nullptr, &bytes, container.size()));
    if (!p12) {
        ERR_clear_error();
        return Status::NotPkcs12;
    }

    QByteArray secret = password.toUtf8();
    // An empty password is written either as an empty text or as no password at all.
    const char* pass = secret.constData();
    int passLength = static_cast<int>(secret.size());
    if (PKCS12_mac_present(p12.get())) {
        bool verified = PKCS12_verify_mac(p12.get(), pass, passLength) == 1;
        if (!verified && secret.isEmpty()) {
            pass = nullptr;
            passLength = 0;
            verified = PKCS12_verify_mac(p12.get(), nullptr, 0) == 1;
        }
        if (!verified) {
            secret.fill('\0');
            ERR_clear_error();
            return Status::WrongPassword;
        }
    }

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed = PKCS12_parse(p12.get(), pass, &key, &certificate, &chain) == 1;
    secret.fill('\0');
    EVP_PKEY_free(key);
    sk_X509_pop_free(chain, X509_free);
    ERR_clear_error();
    if (!parsed) {
        X509_free(certificate);
        return Status::Unsupported;
    }
    if (!certificate)
        return Status::NoCertificate;
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    X509_free(certificate);
    if (length <= 0)
        return Status::NoCertificate;
    *certificateDer = QByteArray(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return Status::Ok;
}

} // namespace fiscora
