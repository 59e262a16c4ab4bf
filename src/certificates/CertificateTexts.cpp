#include "certificates/CertificateTexts.h"

namespace fiscora {

const QString CertificateTexts::keyTitle = QStringLiteral("Selecione o Certificado Digital (e-CNPJ)");
const QString CertificateTexts::keyText =
    QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave");
const QString CertificateTexts::transmissionTitle = QStringLiteral("Using CAPI to Select a certificate");
const QString CertificateTexts::transmissionText = QStringLiteral("Select a certificate using CAPI");
const QString CertificateTexts::contentRefused =
    QStringLiteral("O Certificado não possui informações da empresa selecionada ou contador.");
const QString CertificateTexts::invalidCertificate = QStringLiteral(
    "O Certificado escolhido é inválido. Verifique a validade e se o mesmo confere com os dados "
    "informados no cadastro do contador.");
const QString CertificateTexts::invalidTitle = QStringLiteral("Fiscora - Certificado Inválido");
const QString CertificateTexts::expired = QStringLiteral("Certificado expirado, contate seu fornecedor");
// On this platform the certificate components are OpenSSL's; Debian's page of its library.
const QString CertificateTexts::componentsDownload =
    QStringLiteral("https://packages.debian.org/bookworm/libssl3");

QString CertificateTexts::componentFailure() {
    return QStringLiteral("O programa não pode inicializar os componentes necessários.\r\n"
                          "Favor verificar com o suporte técnico da sua empresa se os componentes estão "
                          "instalados, é provável que o erro tenha ocorrido ao tentar inicializar o CAPICOM. "
                          "Alguns programas de antivirus podem afetar estas funções. \r\n\r\n"
                          "Maiores informações sobre a CAPICOM em ") +
           componentsDownload;
}

QString CertificateTexts::cdpFailure(quint32 code) {
    return QStringLiteral("Could not retrieve the URLs from the CDP extension: 0x") +
           QString::number(code, 16).toUpper();
}

} // namespace fiscora
