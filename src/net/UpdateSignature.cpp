#include "net/UpdateSignature.h"

#include "net/LibCrypto.h"

#include <QFile>

#include <memory>

namespace fiscora {

const QString UpdateSignature::publicKeyFile = QStringLiteral("fiscora-atualizacao.pub");

namespace {

AppError failure(const QString& text) {
    return AppError{0, QStringLiteral("UpdateSignature"), text};
}

} // namespace

QByteArray UpdateSignature::signedMessage(const QByteArray& version, const QByteArray& updater) {
    static constexpr char prefix[] = "fiscora-atualizacao";
    QByteArray message;
    message.reserve(qsizetype(sizeof prefix) + version.size() + 1 + updater.size());
    message.append(prefix, qsizetype(sizeof prefix)); // with its NUL
    message.append(version);
    message.append('\0');
    message.append(updater);
    return message;
}

Status UpdateSignature::verify(const QByteArray& version, const QByteArray& updater,
                               const QByteArray& signature, const QByteArray& publicKeyPem) {
    const Result<const LibCrypto*>& crypto = libCrypto();
    if (!crypto)
        return crypto.error();
    const LibCrypto& c = **crypto;
    c.ERR_clear_error();
    const std::unique_ptr<BIO, decltype(LibCrypto::BIO_free)> bio(
        c.BIO_new_mem_buf(publicKeyPem.constData(), int(publicKeyPem.size())), c.BIO_free);
    const std::unique_ptr<EVP_PKEY, decltype(LibCrypto::EVP_PKEY_free)> key(
        bio ? c.PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr, c.EVP_PKEY_free);
    c.ERR_clear_error();
    if (!key || c.EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return failure(QStringLiteral("A chave pública de atualização não é uma chave Ed25519 válida."));
    if (signature.size() != 64)
        return failure(QStringLiteral("A assinatura da atualização não tem o formato esperado."));
    const std::unique_ptr<EVP_MD_CTX, decltype(LibCrypto::EVP_MD_CTX_free)> context(c.EVP_MD_CTX_new(),
                                                                                    c.EVP_MD_CTX_free);
    // Ed25519 signs the message itself: no digest is named, and the check is one call.
    const QByteArray data = signedMessage(version, updater);
    const bool valid =
        context && c.EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        c.EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                           std::size_t(signature.size()),
                           reinterpret_cast<const unsigned char*>(data.constData()),
                           std::size_t(data.size())) == 1;
    c.ERR_clear_error();
    if (!valid)
        return failure(QStringLiteral("A assinatura não confere com o arquivo da atualização e a versão "
                                      "anunciada (%1).")
                           .arg(QString::fromLatin1(version.left(64))));
    return {};
}

Status UpdateSignature::verifyWithKeyFile(const QByteArray& version, const QByteArray& updater,
                                          const QByteArray& signature, const QString& publicKeyPath) {
    QFile key(publicKeyPath);
    if (!key.open(QIODevice::ReadOnly))
        return failure(
            QStringLiteral("A chave pública de atualização (%1) não foi encontrada.").arg(publicKeyFile));
    return verify(version, updater, signature, key.read(64 * 1024));
}

} // namespace fiscora
