#include "net/UpdateSignature.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace fiscora {

const QString UpdateSignature::publicKeyFile = QStringLiteral("fiscora-atualizacao.pub");

namespace {

AppError failure(const QString& text) {
    return AppError{0, QStringLiteral("UpdateSignature"), text};
}

struct BioFree {
    void operator()(BIO* p) const { BIO_free(p); }
};
struct KeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};

} // namespace

Status UpdateSignature::verify(const QByteArray& data, const QByteArray& signature,
                               const QByteArray& publicKeyPem) {
    ERR_clear_error();
    const std::unique_ptr<BIO, BioFree> bio(
        BIO_new_mem_buf(publicKeyPem.constData(), int(publicKeyPem.size())));
    const std::unique_ptr<EVP_PKEY, KeyFree> key(
        bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return failure(QStringLiteral("A chave pública de atualização não é uma chave Ed25519 válida."));
    if (signature.size() != 64)
        return failure(QStringLiteral("A assinatura da atualização não tem o formato esperado."));
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    // Ed25519 signs the message itself: no digest is named, and the check is one call.
    const bool valid =
        context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                         std::size_t(signature.size()),
                         reinterpret_cast<const unsigned char*>(data.constData()),
                         std::size_t(data.size())) == 1;
    ERR_clear_error();
    if (!valid)
        return failure(QStringLiteral("A assinatura não confere com o arquivo da atualização."));
    return {};
}

Status UpdateSignature::verifyFile(const QString& path, const QByteArray& signature,
                                   const QString& publicKeyPath) {
    QFile key(publicKeyPath);
    if (!key.open(QIODevice::ReadOnly))
        return failure(
            QStringLiteral("A chave pública de atualização (%1) não foi encontrada.").arg(publicKeyFile));
    const QByteArray pem = key.read(64 * 1024);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("O arquivo da atualização não pôde ser lido."));
    return verify(file.readAll(), signature, pem);
}

} // namespace fiscora
