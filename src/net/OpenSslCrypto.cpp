#include "net/OpenSslCrypto.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace fiscora {

namespace {

class OpenSslSha256 final : public Sha256 {
public:
    OpenSslSha256() {
        if (m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
            m_context.reset();
    }

    bool usable() const { return m_context != nullptr; }

    void add(QByteArrayView data) override {
        if (m_context)
            EVP_DigestUpdate(m_context.get(), data.data(), static_cast<size_t>(data.size()));
    }
    QByteArray result() override {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!m_context || EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1)
            return {};
        return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length));
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_context{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
};

} // namespace

std::unique_ptr<Sha256> openSslSha256() {
    auto hash = std::make_unique<OpenSslSha256>();
    if (!hash->usable())
        return nullptr;
    return hash;
}

SignatureCheck openSslCheckEd25519(const QByteArray& publicKeyPem, const QByteArray& message,
                                   const QByteArray& signature) {
    ERR_clear_error();
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(publicKeyPem.constData(), static_cast<int>(publicKeyPem.size())), &BIO_free);
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr, &EVP_PKEY_free);
    ERR_clear_error();
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return SignatureCheck::NotEd25519Key;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    // Ed25519 signs the message itself: no digest is named, and the check is one call.
    const bool valid =
        context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                         static_cast<size_t>(signature.size()),
                         reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<size_t>(message.size())) == 1;
    ERR_clear_error();
    return valid ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

} // namespace fiscora
