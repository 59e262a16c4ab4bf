#include "net/UpdateSignature.h"

#include "net/NetworkLibrary.h"

#include <QFile>

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
    const Result<const NetworkLibrary*>& library = networkLibrary();
    if (!library)
        return library.error();
    const SignatureCheck check =
        (*library)->checkEd25519(publicKeyPem, signedMessage(version, updater), signature);
    if (check == SignatureCheck::NotEd25519Key)
        return failure(QStringLiteral("A chave pública de atualização não é uma chave Ed25519 válida."));
    if (signature.size() != 64)
        return failure(QStringLiteral("A assinatura da atualização não tem o formato esperado."));
    if (check != SignatureCheck::Valid)
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
