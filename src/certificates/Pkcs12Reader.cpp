#include "certificates/Pkcs12Reader.h"

#include "net/LibCrypto.h"

#include <memory>

namespace fiscora {

namespace {

// Loaded once, on first use, and unloaded when the program ends. The holder is created after
// OpenSSL has initialised itself, so it is destroyed before OpenSSL's own clean-up runs.
class LegacyProvider {
public:
    explicit LegacyProvider(const LibCrypto& c)
        : m_unload(c.OSSL_PROVIDER_unload)
        // retain_fallbacks = 1: the default provider stays available to everything else.
        , m_provider(c.OSSL_PROVIDER_try_load(nullptr, "legacy", 1)) {}
    ~LegacyProvider() {
        if (m_provider)
            m_unload(m_provider);
    }
    LegacyProvider(const LegacyProvider&) = delete;
    LegacyProvider& operator=(const LegacyProvider&) = delete;

private:
    decltype(LibCrypto::OSSL_PROVIDER_unload) m_unload;
    OSSL_PROVIDER* m_provider;
};

void loadLegacyProvider(const LibCrypto& c) {
    static const LegacyProvider provider(c);
}

} // namespace

Pkcs12Reader::Status Pkcs12Reader::read(const QByteArray& container, const QString& password,
                                        QByteArray* certificateDer) {
    const Result<const LibCrypto*>& crypto = libCrypto();
    if (!crypto)
        return Status::Unsupported;
    const LibCrypto& c = **crypto;
    loadLegacyProvider(c);
    c.ERR_clear_error();
    const auto* bytes = reinterpret_cast<const unsigned char*>(container.constData());
    std::unique_ptr<PKCS12, decltype(LibCrypto::PKCS12_free)> p12(
        c.d2i_PKCS12(nullptr, &bytes, container.size()), c.PKCS12_free);
    if (!p12) {
        c.ERR_clear_error();
        return Status::NotPkcs12;
    }

    QByteArray secret = password.toUtf8();
    // An empty password is written either as an empty text or as no password at all.
    const char* pass = secret.constData();
    int passLength = static_cast<int>(secret.size());
    if (c.PKCS12_mac_present(p12.get())) {
        bool verified = c.PKCS12_verify_mac(p12.get(), pass, passLength) == 1;
        if (!verified && secret.isEmpty()) {
            pass = nullptr;
            passLength = 0;
            verified = c.PKCS12_verify_mac(p12.get(), nullptr, 0) == 1;
        }
        if (!verified) {
            secret.fill('\0');
            c.ERR_clear_error();
            return Status::WrongPassword;
        }
    }

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed = c.PKCS12_parse(p12.get(), pass, &key, &certificate, &chain) == 1;
    secret.fill('\0');
    c.EVP_PKEY_free(key);
    while (c.stackSize(chain) > 0)
        c.X509_free(static_cast<X509*>(c.OPENSSL_sk_pop(reinterpret_cast<OPENSSL_STACK*>(chain))));
    c.OPENSSL_sk_free(reinterpret_cast<OPENSSL_STACK*>(chain));
    c.ERR_clear_error();
    if (!parsed) {
        c.X509_free(certificate);
        return Status::Unsupported;
    }
    if (!certificate)
        return Status::NoCertificate;
    unsigned char* der = nullptr;
    const int length = c.i2d_X509(certificate, &der);
    c.X509_free(certificate);
    if (length <= 0)
        return Status::NoCertificate;
    *certificateDer = QByteArray(reinterpret_cast<const char*>(der), length);
    c.CRYPTO_free(der, OPENSSL_FILE, OPENSSL_LINE);
    return Status::Ok;
}

} // namespace fiscora
